// The game's pure rules, without a window: stanza candidates, the reveal
// walk, the draw, cell geometry and click zones, hint masks, answer lines,
// history records, the sentence cutting of the poem panel, and the geometry
// of the window's frame, ornaments and command buttons.
#include "app/layout.h"
#include "app/painting.h"
#include "game/answers.h"
#include "game/grid.h"
#include "game/puzzle.h"
#include "support/rules_support.h"
#include "viewer/sentences.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <deque>
#include <iterator>
#include <set>
#include <stdexcept>

namespace {

// A verse line of `chars` double-byte characters, varied by `seed`.
std::string Line(int chars, int seed = 0)
{
    static const std::string pool = G("春眠不觉晓处闻啼鸟夜来风雨声花落知多少床前明月光疑是地上霜举");
    std::string line;
    for (int i = 0; i < chars; ++i)
        line += pool.substr(static_cast<std::size_t>((seed * 3 + i) % 30) * 2, 2);
    return line;
}

TPoemRecord PoemOfLengths(const std::string& title, std::initializer_list<int> lengths)
{
    TPoemRecord poem;
    poem.Title = title;
    int seed = 0;
    for (int n : lengths)
        poem.Lines.push_back(Line(n, seed++));
    return poem;
}

std::vector<int> Starts(const std::vector<TStanzaCandidate>& candidates)
{
    std::vector<int> starts;
    for (const TStanzaCandidate& c : candidates)
        starts.push_back(c.Start);
    return starts;
}

// A draw that answers from a script and records each n it was asked for.
struct TScriptedDraw {
    std::deque<int> Values;
    std::vector<int> Asked;
    TRandomDraw Draw()
    {
        return [this](int n) {
            Asked.push_back(n);
            const int value = Values.front();
            Values.pop_front();
            return value;
        };
    }
};

// Guards against missed, extra or non-overlapping stanzas for the line-length
// patterns a poem can have, a stray odd byte counted as a character, poems
// taken out of library order or past the count, and solved titles not skipped.
TEST(StanzaCandidates, RegularRunsInLibraryOrder)
{
    struct Case {
        const char* name;
        std::initializer_list<int> lengths;
        std::vector<int> starts;
    };
    const Case cases[] = {
        {"exactly four sevens", {7, 7, 7, 7}, {0}},
        {"three lines", {7, 7, 7}, {}},
        {"four fives then four sevens", {5, 5, 5, 5, 7, 7, 7, 7}, {0, 4}},
        {"five sevens overlap", {7, 7, 7, 7, 7}, {0, 1}},
        {"a seven breaks the fives", {5, 5, 7, 5, 5}, {}},
        {"eight fives", {5, 5, 5, 5, 5, 5, 5, 5}, {0, 1, 2, 3, 4}},
        {"six characters are no verse", {6, 6, 6, 6}, {}},
        {"run at the end only", {7, 5, 5, 5, 5}, {1}},
        {"no lines", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const TPoemRecord poem = PoemOfLengths(G("诗"), c.lengths);
        const auto candidates = StanzaCandidates({poem}, 1);
        EXPECT_EQ(Starts(candidates), c.starts);
        EXPECT_EQ(CountStanzas(poem.Lines), static_cast<int>(c.starts.size()));
        for (const TStanzaCandidate& candidate : candidates)
            EXPECT_EQ(candidate.Poem, 0);
    }

    TPoemRecord odd = PoemOfLengths(G("诗"), {5, 5, 5, 5});
    TStrArray oddLines = odd.Lines.ToStrings();
    oddLines[2] += 'x';  // 11 bytes still count as five characters
    odd.Lines = TVerseLines::From(oddLines);
    EXPECT_EQ(Starts(StanzaCandidates({odd}, 1)), std::vector<int>{0});
    EXPECT_EQ(CountStanzas(odd.Lines), 1);

    const std::vector<TPoemRecord> poems{PoemOfLengths(G("甲"), {5, 5, 5, 5, 5}), PoemOfLengths(G("乙"), {7, 7}),
                                         PoemOfLengths(G("丙"), {7, 7, 7, 7})};
    const std::vector<TStanzaCandidate> all{{0, 0}, {0, 1}, {2, 0}};
    EXPECT_EQ(StanzaCandidates(poems, 3), all);
    EXPECT_EQ(StanzaCandidates(poems, 99), all);  // the count never reaches past the array
    EXPECT_EQ(StanzaCandidates(poems, 1), (std::vector<TStanzaCandidate>{{0, 0}, {0, 1}}));
    EXPECT_TRUE(StanzaCandidates(poems, 0).empty());
    EXPECT_TRUE(StanzaCandidates(poems, -5).empty());
    const TTitleFilter solvedFirst = [&](const std::string& title) { return title == G("甲"); };
    EXPECT_EQ(StanzaCandidates(poems, 3, solvedFirst), (std::vector<TStanzaCandidate>{{2, 0}}));
}

// Guards against a pick that draws over the wrong range, takes another stanza
// than the k-th candidate, fills the wrong fields or lines, uncovers another
// character than the walk over the lines gives, more or less than one, or
// leaves flags of an earlier puzzle behind.
TEST(PickStanza, FillsTheTaskFromTheDrawnCandidate)
{
    std::vector<TPoemRecord> poems{PoemOfLengths(G("甲"), {5, 5, 5, 5, 5, 7}), PoemOfLengths(G("乙"), {7, 7}),
                                   PoemOfLengths(G("丙"), {7, 7, 7, 7, 7, 5, 5, 5, 5})};
    for (TPoemRecord& poem : poems) {
        poem.Author = poem.Title + G("翁");
        poem.Dynasty = poem.Title + G("朝");
        poem.Content = poem.Title + G("全文");
    }
    struct Case {
        int k;  // the candidate drawn, and the poem, start and line length it stands for
        std::size_t poem;
        int start, chars, r;  // r: the character drawn, which lies at `shown`
        TCharPos shown;
    };
    const Case cases[] = {{0, 0, 0, 5, 4, {0, 4}},
                          {1, 0, 1, 5, 5, {1, 0}},
                          {2, 2, 0, 7, 7, {1, 0}},
                          {3, 2, 1, 7, 27, {3, 6}},
                          {4, 2, 5, 5, 12, {2, 2}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.k);
        const TPoemRecord& poem = poems[c.poem];
        TGuessTask task;
        task.Lines[0].Revealed = {1, 1, 1};  // leftovers of an earlier puzzle
        TScriptedDraw draw{{c.k, c.r}, {}};
        ASSERT_TRUE(PickStanzaFrom(poems, 3, {}, draw.Draw(), task));
        EXPECT_EQ(draw.Asked, (std::vector<int>{5, 4 * c.chars}));
        EXPECT_EQ(task.Title, poem.Title);
        EXPECT_EQ(task.Author, poem.Author);
        EXPECT_EQ(task.Dynasty, poem.Dynasty);
        EXPECT_EQ(task.Content, poem.Content);
        EXPECT_EQ(task.TotalChars, 4 * c.chars);
        EXPECT_EQ(task.RevealedCount, 1);
        for (int i = 0; i < 4; ++i) {
            const TLineState& line = task.Lines[static_cast<std::size_t>(i)];
            EXPECT_EQ(line.Text, poem.Lines[static_cast<std::size_t>(c.start + i)]);
            EXPECT_EQ(line.CharCount, c.chars);
            std::vector<std::uint8_t> flags(static_cast<std::size_t>(c.chars), 0);
            if (i == c.shown.Line)
                flags[static_cast<std::size_t>(c.shown.Index)] = 1;
            EXPECT_EQ(line.Revealed, flags) << "line " << i;
        }
        // Draws outside the stanza fall on no character.
        for (int r : {-1, 4 * c.chars})
            EXPECT_EQ(RevealWalk(task, r), TCharPos{}) << r;
    }
}

// Guards against the candidate encoding overflowing in large libraries,
// filling the puzzle from the wrong poem, and stanza counts kept with the
// records leading elsewhere than counting the lines.
TEST(PickStanza, LargeLibraryPicksTheDrawnPoem)
{
    std::vector<TPoemRecord> poems(40000);
    for (int p = 0; p < 40000; ++p) {
        poems[static_cast<std::size_t>(p)].Title = G("诗") + std::to_string(p);
        for (int i = 0; i < 4; ++i)
            poems[static_cast<std::size_t>(p)].Lines.push_back(Line(5, p + i));
        if (p % 2 == 0)  // counted as a load counts them; the others are counted by the pick
            poems[static_cast<std::size_t>(p)].StanzaCount = CountStanzas(poems[static_cast<std::size_t>(p)].Lines);
    }
    for (int drawn : {39999, 32768, 32767}) {
        SCOPED_TRACE(drawn);
        TGuessTask task;
        TScriptedDraw draw{{drawn, 0}, {}};
        ASSERT_TRUE(PickStanzaFrom(poems, 40000, {}, draw.Draw(), task));
        EXPECT_EQ(draw.Asked.front(), 40000);
        EXPECT_EQ(task.Title, poems[static_cast<std::size_t>(drawn)].Title);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(task.Lines[i].Text, poems[static_cast<std::size_t>(drawn)].Lines[i]);
    }
}

// Guards against a failed pick (no candidate, or a bad draw) changing the
// current puzzle.
TEST(PickStanza, NoCandidateOrBadDrawLeavesTheTaskAlone)
{
    TGuessTask task;
    task.Title = G("旧题");
    task.RevealedCount = 3;
    TScriptedDraw unused{{}, {}};
    EXPECT_FALSE(PickStanzaFrom({}, 0, {}, unused.Draw(), task));
    EXPECT_FALSE(PickStanzaFrom({PoemOfLengths(G("诗"), {5, 5, 7, 5, 5})}, 1, {}, unused.Draw(), task));
    EXPECT_TRUE(unused.Asked.empty());
    EXPECT_EQ(task.Title, G("旧题"));

    const std::vector<TPoemRecord> poems{PoemOfLengths(G("诗"), {5, 5, 5, 5})};
    for (std::deque<int> values : {std::deque<int>{1, 0}, std::deque<int>{0, 20}, std::deque<int>{0, -1}}) {
        TScriptedDraw bad{values, {}};
        EXPECT_THROW(PickStanzaFrom(poems, 1, {}, bad.Draw(), task), std::out_of_range);
        EXPECT_EQ(task.Title, G("旧题"));
        EXPECT_EQ(task.RevealedCount, 3);
    }
}

// Guards against the clock draw leaving its range or sticking to a few values.
TEST(ClockSeededDraw, StaysInRangeAndReachesEveryValue)
{
    EXPECT_EQ(ClockSeededDraw(1), 0);
    std::set<int> seen;
    for (int i = 0; i < 2000; ++i) {
        const int value = ClockSeededDraw(7);
        ASSERT_GE(value, 0);
        ASSERT_LT(value, 7);
        seen.insert(value);
    }
    EXPECT_EQ(seen.size(), 7u);
}

struct TZoneCase {
    int width, chars, x, index;
};
// Positions in line boxes and the click zone of GridGeometry.CellsAndClickZones they fall in.
const TZoneCase kZoneCases[] = {
    {510, 5, 0, 0},
    {510, 5, 101, 0},
    {510, 5, 102, 1},
    {510, 5, 103, 1},
    {510, 5, 203, 1},
    {510, 5, 204, 2},
    {510, 5, 305, 2},
    {510, 5, 306, 3},
    {510, 5, 405, 3},
    {510, 5, 407, 3},
    {510, 5, 408, 4},
    {510, 5, 509, 4},
    {510, 5, -1, 0},
    {510, 5, -400, 0},
    {510, 5, 2000, 4},
    {510, 7, 0, 0},
    {510, 7, 71, 0},
    {510, 7, 72, 1},
    {510, 7, 430, 5},
    {510, 7, 503, 6},
    {510, 7, 504, 6},
    {510, 7, 509, 6},
    {3, 7, 2, 2},
    {0, 5, 3, 3},  // zones narrower than a pixel count as one
                   // pixel
    {510, 0, 10, -1},  // no characters, no zone
};

// Guards against cells and tiles in the wrong place or of the wrong size in
// the 510 x 46 line box, narrow boxes shrinking cells below 20, clicks mapped
// through the painted cells instead of the whole width, and positions outside
// the zones not clamped.
TEST(GridGeometry, CellsAndClickZones)
{
    struct Case {
        int width, chars, k, x, cw;
    };
    const Case cases[] = {
        {510, 5, 0, 8, 98},   {510, 5, 1, 106, 98}, {510, 5, 2, 204, 98}, {510, 5, 3, 302, 98}, {510, 5, 4, 400, 98},
        {510, 7, 0, 8, 70},   {510, 7, 1, 78, 70},  {510, 7, 6, 428, 70},  // both rows end at x = 498
        {100, 7, 6, 128, 20},  // runs past the box's right edge
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " wide, " << c.chars << " chars, cell " << c.k);
        const TCellGeometry cell = CellGeometry(c.width, 46, c.chars, c.k);
        EXPECT_EQ(cell.X, c.x);
        EXPECT_EQ(cell.Y, 8);
        EXPECT_EQ(cell.Width, c.cw);
        EXPECT_EQ(cell.Height, 30);
        EXPECT_EQ(cell.Tile, (TGdiRect{c.x + 2, 10, c.x + c.cw - 2, 36}));
    }

    for (const TZoneCase& z : kZoneCases) {
        SCOPED_TRACE(testing::Message() << z.width << " wide, " << z.chars << " chars, x = " << z.x);
        EXPECT_EQ(ZoneIndex(z.width, z.chars, z.x), z.index);
        // The point a screen reader's press clicks lies in the zone of its character.
        if (z.index >= 0) {
            EXPECT_EQ(ZoneIndex(z.width, z.chars, ZoneCentre(z.width, z.chars, z.index)), z.index);
        }
    }
}

// Guards against hints that show too much, cut the title wrongly, or reveal
// a trailing odd byte.
TEST(AnswerRules, HintMasks)
{
    const std::string title4 = G("春晓夜思");  // 8 bytes
    const std::string odd = G("春晓") + "X";  // 5 bytes
    struct Case {
        std::string title;
        int hints;
        std::string shown;
    };
    const Case cases[] = {
        {title4, 1, G("春") + "******"},
        {title4, 2, G("春晓") + "****"},
        {title4, 3, G("春晓夜") + "**"},
        {title4, 4, title4},
        {title4, 9, title4},
        {title4, INT_MAX, title4},
        {odd, 1, G("春") + "***"},
        {odd, 2, G("春晓") + "*"},
        {odd, 7, G("春晓") + "*"},
        {"X", 1, "*"},
        {"X", 5, "*"},
        {G("春"), 1, G("春")},
        {"", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.title.size() << " bytes, hint " << c.hints);
        EXPECT_EQ(HintMask(c.title, c.hints), c.shown);
    }
}

// Guards against brackets or names appearing when the poem lacks them, a
// history record with other separators, and the author left out of the
// give-up message when empty or the dynasty slipping into it.
TEST(AnswerRules, AnswerLinesRecordsAndGiveUpMessage)
{
    struct Case {
        const char *author, *dynasty, *line;
    };
    const Case cases[] = {{"李白", "唐", "《静夜思》【唐】李白"},
                          {"李白", "", "《静夜思》李白"},
                          {"", "唐", "《静夜思》【唐】"},
                          {"", "", "《静夜思》"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(AnswerLine(G("静夜思"), G(c.author), G(c.dynasty)), G(c.line));
    }
    EXPECT_EQ(HistoryRecord(G("用户"), G("静夜思"), G("《静夜思》")), G("用户\t静夜思\t《静夜思》"));
    EXPECT_EQ(HistoryRecord("", "", ""), "\t\t");
    EXPECT_EQ(GiveUpMessage(G("静夜思"), G("李白"), 0), G("答案是：《静夜思》 （李白），共猜对了 0 首！"));
    EXPECT_EQ(GiveUpMessage(G("静夜思"), "", 3), G("答案是：《静夜思》 （），共猜对了 3 首！"));
    EXPECT_EQ(GiveUpMessage("", "", 0), G("答案是：《》 （），共猜对了 0 首！"));
}

// Guards against sentences cut at the wrong places, marks moved off their
// sentence, empty lines, a torn double-byte character, and a joined text with
// a trailing or missing break or CR LF shown as two breaks (or none).
TEST(Sentences, CuttingJoiningAndLabelText)
{
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> sentences;
    };
    const std::string lead = G("春").substr(0, 1);
    const Case cases[] = {
        {"couplet with full-width marks",
         G("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。"),
         {G("床前明月光，"), G("疑是地上霜。"), G("举头望明月，"), G("低头思故乡。")}},
        {"line breaks without marks",
         G("春眠不觉晓\r\n处处闻啼鸟\r\n\r\n\r\n夜来风雨声\r\n"),
         {G("春眠不觉晓"), G("处处闻啼鸟"), G("夜来风雨声")}},
        {"lone LF and CR", G("春眠\n不觉\r晓"), {G("春眠"), G("不觉"), G("晓")}},
        {"ASCII comma then space", G("春眠, 不觉晓"), {G("春眠,"), G(" 不觉晓")}},
        {"every ASCII mark", "a!b,c.d:e;f?g-h", {"a!", "b,", "c.", "d:", "e;", "f?", "g-h"}},
        {"other double-byte marks",
         G("问君何能尔？心远地自偏！采菊、东篱"),
         {G("问君何能尔？"), G("心远地自偏！"), G("采菊、"), G("东篱")}},
        {"ends in a lone lead byte", G("春眠") + lead, {G("春眠")}},
        {"lone lead byte only", lead, {}},
        {"lead byte takes a CR", G("春") + lead + "\r" + G("眠"), {G("春") + lead + "\r" + G("眠")}},
        {"lead byte takes an LF at the end", lead + "\n", {lead + "\n"}},
        {"only line breaks", "\r\n\r\n\n\r", {}},
        {"empty", "", {}},
        {"marks only", G("，。"), {G("，"), G("。")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CutSentences(c.content), c.sentences);
    }
    EXPECT_EQ(JoinSentences({G("床前明月光，"), G("疑是地上霜。")}), G("床前明月光，\r\n疑是地上霜。"));
    EXPECT_EQ(JoinSentences({G("独句")}), G("独句"));
    EXPECT_EQ(JoinSentences({}), "");
    EXPECT_EQ(LabelText(JoinSentences(CutSentences(G("春眠不觉晓，处处闻啼鸟。")))),
              QStringLiteral("春眠不觉晓，\n处处闻啼鸟。"));
    EXPECT_EQ(LabelText(""), QString());
}

// Guards against command buttons placed by a rounding other than toward
// zero or by a wrong span.
TEST(LayoutGeometry, CommandButtonsFollowTheBarWidth)
{
    const int cases[][3] = {{510, 78, 200}, {511, 78, 200}, {356, 1, 123}, {354, 0, 122},
                            {353, 0, 122},  {351, -1, 121}, {0, -177, -55}};  // bar width, left edges
    for (const auto& c : cases) {
        SCOPED_TRACE(c[0]);
        EXPECT_EQ(CommandButtonLeft(c[0], 0), c[1]);
        EXPECT_EQ(CommandButtonLeft(c[0], 1), c[2]);
    }
}

// Guards against frame and ornament coordinates that are off by one, fixed
// to one window size, or that draw the last point of a segment.
TEST(PaintingGeometry, GeometryFollowsTheClientSize)
{
    EXPECT_EQ(FrameRect(800, 715), QRect(QPoint(4, 4), QPoint(795, 710)));
    EXPECT_EQ(FrameRect(300, 200), QRect(QPoint(4, 4), QPoint(295, 195)));
    const std::array<QLine, 8> expected = {QLine{8, 8, 8, 28},   {8, 8, 28, 8},       {291, 8, 291, 28},
                                           {291, 8, 271, 8},     {8, 191, 8, 171},    {8, 191, 28, 191},
                                           {291, 191, 291, 171}, {291, 191, 271, 191}};
    EXPECT_EQ(OrnamentSegments(300, 200), expected);

    struct Case {
        QLine segment;
        int penWidth;
        QRect pixels;
    };
    const Case cases[] = {
        {{8, 8, 8, 28}, 2, QRect(QPoint(7, 8), QPoint(8, 27))},  // down
        {{8, 706, 8, 686}, 2, QRect(QPoint(7, 687), QPoint(8, 706))},  // up
        {{8, 8, 28, 8}, 2, QRect(QPoint(8, 7), QPoint(27, 8))},  // right
        {{791, 8, 771, 8}, 2, QRect(QPoint(772, 7), QPoint(791, 8))},  // left
        {{8, 8, 8, 28}, 1, QRect(QPoint(8, 8), QPoint(8, 27))},
        {{8, 8, 8, 28}, 3, QRect(QPoint(7, 8), QPoint(9, 27))},
        {{8, 8, 8, 9}, 2, QRect(QPoint(7, 8), QPoint(8, 8))},  // one point long
        {{8, 8, 8, 8}, 2, QRect()},  // nothing to draw
        {{8, 8, 20, 20}, 2, QRect()},  // slanted
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(SegmentPixels(cases[i].segment, cases[i].penWidth), cases[i].pixels) << "case " << i;
}

}  // namespace
