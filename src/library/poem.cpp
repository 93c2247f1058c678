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

int LineCharCount(std::string_view line)
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

namespace {

// Calls line(bytes) for each verse line of `content`, in order. A line is
// mostly a run of the content's own bytes, passed as it stands; only a line
// with a dropped ASCII byte inside it has its bytes gathered apart.
template <typename TOnLine> void CutVerseLines(std::string_view content, TOnLine&& line)
{
    thread_local std::string gathered;  // the segment's bytes once it is no single run of `content`
    std::size_t start = 0;  // the segment's run while it is one
    std::size_t end = 0;
    bool isRun = true;
    int chars = 0;
    const auto closeSegment = [&] {
        if (IsVerseLength(chars))
            line(isRun ? content.substr(start, end - start) : std::string_view(gathered));
        isRun = true;
        chars = 0;
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
            return;
        }
        const auto at = static_cast<std::size_t>(ch.data() - content.data());
        if (chars == 0) {
            start = end = at;
        } else if (isRun && at != end) {
            gathered.assign(content.substr(start, end - start));
            isRun = false;
        }
        if (isRun)
            end = at + ch.size();
        else
            gathered.append(ch);
        ++chars;
    });
    closeSegment();
}

}  // namespace

int SplitVerseLines(std::string_view content, TStrArray& lines)
{
    lines.clear();
    CutVerseLines(content, [&lines](std::string_view line) { lines.emplace_back(line); });
    return static_cast<int>(lines.size());
}

int SplitVerseLines(std::string_view content, TVerseLines& lines)
{
    // Gathered in scratch buffers, then copied once into the lines' block.
    thread_local std::string lengths;
    thread_local std::string bytes;
    lengths.clear();
    bytes.clear();
    CutVerseLines(content, [](std::string_view line) {
        lengths.push_back(static_cast<char>(line.size()));
        bytes.append(line);
    });
    lines.AssignPacked(lengths, bytes);
    return static_cast<int>(lengths.size());
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
