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

    ForEachGbkChar(content, [&](std::string_view ch) {
        const auto lead = static_cast<unsigned char>(ch[0]);
        if (ch.size() == 1 && (lead == '\r' || lead == '\n')) {
            endSentence();
            return;
        }
        current.append(ch);
        const bool mark =
            ch.size() == 1 ? IsAsciiPunctuation(lead) : IsGbkPunctuation(lead, static_cast<unsigned char>(ch[1]));
        if (mark)
            endSentence();
    });
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
