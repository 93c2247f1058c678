#include "viewer/sentences.h"

TStrArray CutSentences(std::string_view content)
{
    TStrArray sentences;
    std::string current;
    auto endSentence = [&] {
        if (!current.empty())
            sentences.push_back(std::move(current));
        current.clear();
    };

    const std::size_t size = content.size();
    std::size_t i = 0;
    while (i < size) {
        const auto byte = static_cast<unsigned char>(content[i]);
        if (byte < 0x80) {
            if (byte == '\r' || byte == '\n') {
                endSentence();
            } else {
                current.push_back(static_cast<char>(byte));
                if (IsAsciiPunctuation(byte))
                    endSentence();
            }
            ++i;
            continue;
        }
        if (i + 1 == size)
            break;  // a lone lead byte at the very end is dropped
        const auto trail = static_cast<unsigned char>(content[i + 1]);
        current.push_back(static_cast<char>(byte));
        current.push_back(static_cast<char>(trail));
        if (IsGbkPunctuation(byte, trail))
            endSentence();
        i += 2;
    }
    endSentence();
    return sentences;
}

std::string JoinSentences(const TStrArray& sentences)
{
    std::string joined;
    for (std::size_t i = 0; i < sentences.size(); ++i) {
        if (i > 0)
            joined += "\r\n";
        joined += sentences[i];
    }
    return joined;
}

QString LabelText(std::string_view gbk)
{
    QString text = AnsiToWide(gbk);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}
