#include "library/poem.h"

#include "library/gbk_codec.h"

namespace {

// Trail bytes 0xA0..0xBF after lead byte 0xA3 that are punctuation; bit n
// stands for trail 0xA0 + n: ！（），４５：；？
constexpr quint32 kA3PunctuationMask = (1u << 0x01) | (1u << 0x08) | (1u << 0x09) | (1u << 0x0C) | (1u << 0x14) |
                                       (1u << 0x15) | (1u << 0x1A) | (1u << 0x1B) | (1u << 0x1F);

// A verse line also ends at a tab, a line break and a space.
bool IsAsciiDelimiter(unsigned char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || IsAsciiPunctuation(c);
}

}  // namespace

int LineCharCount(const std::string& line)
{
    return static_cast<int>(line.size() / 2);
}

bool IsAsciiPunctuation(unsigned char c)
{
    switch (c) {
    case '!':
    case ',':
    case '.':
    case ':':
    case ';':
    case '?':
        return true;
    default:
        return false;
    }
}

bool IsGbkPunctuation(unsigned char lead, unsigned char trail)
{
    if (lead == 0xA1) {
        switch (trail) {
        case 0xA2:
        case 0xA3:
        case 0xA4:
        case 0xAD:
        case 0xB0:
        case 0xB1:
            return true;
        default:
            return false;
        }
    }
    if (lead == 0xA3) {
        if (trail < 0xA0 || trail > 0xBF)
            return false;
        return (kA3PunctuationMask >> (trail - 0xA0)) & 1u;
    }
    return false;
}

int SplitVerseLines(std::string_view content, TStrArray& lines)
{
    lines.clear();
    std::string segment;
    int segmentChars = 0;
    auto closeSegment = [&] {
        if (IsVerseLength(segmentChars))
            lines.push_back(segment);
        segment.clear();
        segmentChars = 0;
    };

    ForEachGbkChar(content, [&](std::string_view ch) {
        const auto lead = static_cast<unsigned char>(ch[0]);
        if (ch.size() == 1) {
            if (IsAsciiDelimiter(lead))
                closeSegment();
            return;  // any other ASCII byte is dropped without closing the segment
        }
        if (IsGbkPunctuation(lead, static_cast<unsigned char>(ch[1]))) {
            closeSegment();
        } else {
            segment.append(ch);
            ++segmentChars;
        }
    });
    closeSegment();
    return static_cast<int>(lines.size());
}

std::int32_t CountStanzas(const TStrArray& lines)
{
    std::int32_t count = 0;
    VisitStanzaStarts(lines, [&count](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string WideToAnsi(QStringView text)
{
    std::string gbk;
    AppendGbk(text, gbk);
    return gbk;
}

QString AnsiToWide(std::string_view gbk)
{
    if (gbk.empty())
        return {};
    return TextFromGbk(QByteArrayView(gbk.data(), static_cast<qsizetype>(gbk.size())));
}

std::string GbkFromUtf8(std::string_view utf8)
{
    std::string gbk;
    if (!AppendGbkFromUtf8(utf8, gbk))
        return WideToAnsi(QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())));
    return gbk;
}

std::string TrimGbk(std::string_view text)
{
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= 0x20)
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= 0x20)
        --last;
    return std::string(text.substr(first, last - first));
}
