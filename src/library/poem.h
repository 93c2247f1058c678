#pragma once
// Poem records and the GBK text rules they rest on. Text inside the program is
// GBK (code page 936) held in std::string; a Chinese character is two bytes, a
// lead byte >= 0x80 and the byte after it. QtCore only: no widgets here.

#include "library/verse_lines.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using TStrArray = std::vector<std::string>;

struct TPoemRecord {
    std::string Title;  // never empty in the library (untitled rows get label + number)
    std::string Author;  // may be empty
    std::string Dynasty;  // trimmed of bytes <= 0x20 at both ends; may be empty
    std::string Content;  // the whole text exactly as read
    TVerseLines Lines;  // the verse lines of Content, in order
    // How many stanzas start in Lines, counted when the record is made from a row so that a stanza pick
    // need not walk every line of a large library; -1 when not counted.
    std::int32_t StanzaCount = -1;
};

// A verse line holds five or seven characters; a stanza is four verse lines
// of one length in a row.
constexpr int kShortLineChars = 5;
constexpr int kLongLineChars = 7;
constexpr int kStanzaLines = 4;

constexpr bool IsVerseLength(int chars)
{
    return chars == kShortLineChars || chars == kLongLineChars;
}

// Characters of a verse line: its byte length div 2.
int LineCharCount(std::string_view line);

// True for the six ASCII marks ! , . : ; ? that end a verse line and a
// sentence alike.
bool IsAsciiPunctuation(unsigned char c);

// True for the fifteen double-byte characters counted as punctuation
// (、。·…“” and ！（），４５：；？ in their full-width forms).
bool IsGbkPunctuation(unsigned char lead, unsigned char trail);

// Walks GBK text a character at a time as the game counts characters: an
// ASCII byte alone, a byte >= 0x80 together with the byte after it, whatever
// that is; a lone lead byte at the very end is dropped. Calls visit(ch) with
// the character's one or two bytes.
template <typename TVisit> void ForEachGbkChar(std::string_view text, TVisit&& visit)
{
    const std::size_t size = text.size();
    std::size_t i = 0;
    while (i < size) {
        const std::size_t width = static_cast<unsigned char>(text[i]) < 0x80 ? 1 : 2;
        if (i + width > size)
            break;
        visit(text.substr(i, width));
        i += width;
    }
}

// Calls visit(start) for each stanza start of `lines` (a TVerseLines or a
// TStrArray) in order (overlapping stanzas all count) until it returns false;
// false when it was stopped.
template <typename TLines, typename TVisit> bool VisitStanzaStarts(const TLines& lines, TVisit&& visit)
{
    // A start counts when the run of equal verse lines ending three lines
    // after it is four long at least.
    int run = 0;
    int runChars = 0;
    std::size_t i = 0;
    for (auto line = lines.begin(); line != lines.end(); ++line, ++i) {
        const int chars = LineCharCount(*line);
        if (!IsVerseLength(chars)) {
            run = 0;
            continue;
        }
        run = run > 0 && chars == runChars ? run + 1 : 1;
        runChars = chars;
        if (run >= kStanzaLines && !visit(i + 1 - kStanzaLines))
            return false;
    }
    return true;
}

// The number of stanza starts in `lines`.
template <typename TLines> std::int32_t CountStanzas(const TLines& lines)
{
    std::int32_t count = 0;
    VisitStanzaStarts(lines, [&count](std::size_t) {
        ++count;
        return true;
    });
    return count;
}

// Cuts a poem's text into its verse lines: runs of exactly five or seven
// double-byte characters between delimiters. Replaces the contents of `lines`
// and returns their number. Malformed GBK is tolerated.
int SplitVerseLines(std::string_view content, TStrArray& lines);
// The same into the library's compact form.
int SplitVerseLines(std::string_view content, TVerseLines& lines);

// UTF-16 -> GBK. Characters GBK cannot hold become '?'.
std::string WideToAnsi(QStringView text);
// GBK -> UTF-16, for display. A lone lead byte at the end is dropped.
QString AnsiToWide(std::string_view gbk);
// Convenience for literals written in this UTF-8 source: UTF-8 -> GBK.
std::string GbkFromUtf8(std::string_view utf8);

// Removes every byte of value 0x20 or below from both ends. A full-width
// space (two bytes >= 0x80) is not touched.
std::string TrimGbk(std::string_view text);
