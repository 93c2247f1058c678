// GBK text rules: punctuation, verse-line cutting, conversion, trimming.
#include "library/gbk_codec.h"
#include "library/poem.h"
#include "library/string_list.h"
#include "support/rules_support.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

std::string Bytes(std::initializer_list<unsigned char> bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

// Guards against a wrong bit in the 0xA3 mask or a missing range check.
TEST(GbkPunctuation, AcceptsExactlyTheFifteenMarks)
{
    struct Case {
        unsigned char lead, trail;
        bool punctuation;
    };
    const Case cases[] = {
        {0xA1, 0xA2, true},  {0xA1, 0xA3, true},  {0xA1, 0xA4, true},  {0xA1, 0xAD, true},
        {0xA1, 0xB0, true},  {0xA1, 0xB1, true},  {0xA3, 0xA1, true},  {0xA3, 0xA8, true},
        {0xA3, 0xA9, true},  {0xA3, 0xAC, true},  {0xA3, 0xB4, true},  {0xA3, 0xB5, true},
        {0xA3, 0xBA, true},  {0xA3, 0xBB, true},  {0xA3, 0xBF, true},  {0xA3, 0xB3, false},  // full-width three
        {0xA1, 0xA1, false},  // ideographic space
        {0xA1, 0xB6, false},  // 《
        {0xA1, 0xB7, false},  // 》
        {0xA1, 0xAA, false},  // em dash
        {0xA3, 0xAE, false},  // full-width full stop
        {0xA3, 0xA0, false}, {0xA3, 0xC0, false}, {0xA3, 0x81, false}, {0xA3, 0xFF, false},
        {0xA2, 0xA3, false}, {0xB0, 0xA1, false},
    };
    int accepted = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.lead) << " " << int(c.trail));
        EXPECT_EQ(IsGbkPunctuation(c.lead, c.trail), c.punctuation);
    }
    // No pair outside the two lead bytes is ever punctuation, and exactly
    // fifteen pairs are in all.
    for (int lead = 0x80; lead <= 0xFF; ++lead)
        for (int trail = 0; trail <= 0xFF; ++trail)
            accepted += IsGbkPunctuation(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
    EXPECT_EQ(accepted, 15);
}

// Guards against segments kept at the wrong length, delimiters that do not
// cut, dropped letters that cut, and a last line without a mark being lost.
TEST(SplitVerseLines, WorkedExamples)
{
    struct Case {
        std::string content;
        std::vector<const char*> lines;
    };
    const Case cases[] = {
        {G("床前明月光，疑是地上霜。举头望明月，低头思故乡。"),
         {"床前明月光", "疑是地上霜", "举头望明月", "低头思故乡"}},
        {G("两个黄鹂鸣翠柳，一行白鹭上青天。"), {"两个黄鹂鸣翠柳", "一行白鹭上青天"}},
        {G("天苍苍，野茫茫，风吹草低见牛羊。"), {"风吹草低见牛羊"}},
        {G("白日依山尽\r\n黄河入海流"), {"白日依山尽", "黄河入海流"}},
        {G("白日依山尽\n黄河入海流\t欲穷千里目"), {"白日依山尽", "黄河入海流", "欲穷千里目"}},
        {G("白日A依山尽"), {"白日依山尽"}},
        {G("两个黄鹂A鸣翠柳"), {"两个黄鹂鸣翠柳"}},
        {G("A白日依山尽B，两个黄A鹂B鸣翠柳C"), {"白日依山尽", "两个黄鹂鸣翠柳"}},
        {G("白日依山尽　"), {}},  // the ideographic space is a sixth character
        {G("《静夜思》"), {"《静夜思》"}},
        {"", {}},
        {G("，。！？ abc, 123."), {}},
        {G("白日依山尽黄河入海流"), {}},  // ten characters without a mark
        {G("一二三四五六，一二三四五六七八。"), {}},
        {G("春眠不觉晓 处处闻啼鸟,夜来风雨声.花落知多少?"), {"春眠不觉晓", "处处闻啼鸟", "夜来风雨声", "花落知多少"}},
        {G("白日依山尽：黄河入海流；欲穷千里目４更上一层楼５"),
         {"白日依山尽", "黄河入海流", "欲穷千里目", "更上一层楼"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(AnsiToWide(c.content).toStdString());
        TStrArray lines{"stale"};
        const int count = SplitVerseLines(c.content, lines);
        ASSERT_EQ(count, static_cast<int>(c.lines.size()));
        ASSERT_EQ(lines.size(), c.lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_EQ(lines[i], G(c.lines[i])) << "line " << i;
        // The library's compact lines are the same lines.
        TVerseLines compact{"stale"};
        EXPECT_EQ(SplitVerseLines(c.content, compact), count);
        EXPECT_EQ(compact, lines) << compact;
        EXPECT_EQ(compact.ToStrings(), lines);
        if (!lines.empty()) {
            EXPECT_EQ(compact.at(lines.size() - 1), lines.back());
        }
        EXPECT_THROW(compact.at(lines.size()), std::out_of_range);
    }
}

// Guards against reading past the end or losing lines on malformed GBK.
TEST(SplitVerseLines, MalformedGbkIsTolerated)
{
    TStrArray clean, dirty;
    const std::string content = G("床前明月光，疑是地上霜");
    SplitVerseLines(content, clean);
    SplitVerseLines(content + "\xB4", dirty);  // lone lead byte at the end
    EXPECT_EQ(dirty, clean);
    EXPECT_EQ(dirty.size(), 2u);

    // A lead byte followed by a delimiter takes it as its trail byte, so the
    // delimiter does not close the segment.
    TStrArray lines;
    const std::string glued = G("白日依山") + "\xB0\n" + G("黄河入海流");
    EXPECT_EQ(SplitVerseLines(glued, lines), 0);

    EXPECT_EQ(SplitVerseLines(std::string("\xB0"), lines), 0);
    EXPECT_EQ(SplitVerseLines(std::string(1000, '\xFF'), lines), 0);  // 500 chars in one run
}

// Guards against a broken conversion table or a stray terminator byte.
TEST(WideToAnsi, ConvertsToGbkBytes)
{
    EXPECT_EQ(WideToAnsi(QString()), "");
    EXPECT_EQ(WideToAnsi(QStringLiteral("床前明月光")),
              Bytes({0xB4, 0xB2, 0xC7, 0xB0, 0xC3, 0xF7, 0xD4, 0xC2, 0xB9, 0xE2}));
    EXPECT_EQ(WideToAnsi(QStringLiteral("A，")), Bytes({'A', 0xA3, 0xAC}));
    // A character outside GBK becomes the default character.
    EXPECT_EQ(WideToAnsi(QString::fromUtf8("月\xF0\x9F\x98\x80")).substr(2), "?");
    EXPECT_EQ(AnsiToWide(WideToAnsi(QStringLiteral("静夜思·李白"))), QStringLiteral("静夜思·李白"));
    EXPECT_EQ(AnsiToWide(G("静") + "\xB4"), QStringLiteral("静"));
}

// Guards against the fast conversions parting from the system's GBK encoder on
// any character (dropped, single-byte, unencodable, beyond the BMP), and
// damaged UTF-8 converted silently instead of refused.
TEST(WideToAnsi, TableMatchesTheEncoderForEveryCharacter)
{
    QString valid;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c > 0xDFFF)
            valid.append(QChar(static_cast<char16_t>(c)));
    valid += QString::fromUtf8("\xF0\x9F\x98\x80\xF0\xA0\x80\x80");  // beyond the BMP
    const QString all = valid + QChar(0xD800) + u'x' + QChar(0xDC00);  // lone surrogates
    EXPECT_EQ(WideToAnsi(all), SystemGbk(all).toStdString());
    std::string fromUtf8;
    ASSERT_TRUE(AppendGbkFromUtf8(valid.toStdString(), fromUtf8));
    EXPECT_EQ(fromUtf8, SystemGbk(valid).toStdString());

    for (const char* damaged : {"\xE4\xB8", "a\xFF", "\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"}) {
        std::string gbk = "kept";
        EXPECT_FALSE(AppendGbkFromUtf8(damaged, gbk)) << damaged;
        EXPECT_EQ(gbk, "kept");
    }
    // What a poem may hold: ASCII and double-byte characters only.
    EXPECT_TRUE(GbkHolds(QStringLiteral("床前明月光，A·")));
    for (const QString& text : {QString::fromUtf8("\xF0\xA0\x80\x80"), QString(QChar(0x20AC)), QString(QChar(0x200B)),
                                QString(QChar(0x30FB)), QString(QChar(0xD800))})
        EXPECT_FALSE(GbkHolds(text)) << text.toStdString();
}

// Guards against trimming the full-width space or inner bytes.
TEST(TrimGbk, RemovesOnlyLowBytesAtTheEnds)
{
    EXPECT_EQ(TrimGbk(" \t\r\n" + G("唐 朝") + "\x01 "), G("唐 朝"));
    EXPECT_EQ(TrimGbk(G("　唐　")), G("　唐　"));
    EXPECT_EQ(TrimGbk("   "), "");
    EXPECT_EQ(TrimGbk(""), "");
}

// Guards against duplicates entering the sorted list or a case-sensitive lookup.
TEST(StringList, SortedListIgnoresDuplicatesAndCase)
{
    TStringList list(true);
    list.Add(G("静夜思"));
    list.Add("Abc");
    list.Add("abc");
    list.Add(G("静夜思"));
    EXPECT_EQ(list.Count(), 2);
    EXPECT_TRUE(list.Contains("ABC"));
    EXPECT_TRUE(list.Contains(G("静夜思")));
    EXPECT_FALSE(list.Contains(G("春晓")));
    TStringList plain;
    plain.Add("b");
    plain.Add("a");
    plain.Add("b");
    EXPECT_EQ(plain.Count(), 3);
    EXPECT_EQ(plain[0], "b");
}

}  // namespace
