// The game's pure rules, without a window: stanza candidates, the reveal
// walk, the draw, cell geometry and click zones, hint masks, answer lines,
// history records, trimming, and the sentence cutting of the poem panel.
#include "game/answers.h"
#include "game/grid.h"
#include "game/puzzle.h"
#include "support/test_support.h"
#include "viewer/sentences.h"

#include <gtest/gtest.h>

#include <climits>
#include <deque>
#include <set>
#include <stdexcept>

namespace {

// A verse line of `chars` distinct double-byte characters.
std::string Line(int chars, int seed = 0)
{
    static const char* const kPool = "春眠不觉晓处闻啼鸟夜来风雨声花落知多少床前明月光疑是地上霜举";
    const std::string pool = G(kPool);
    std::string line;
    for (int i = 0; i < chars; ++i) {
        const std::size_t at = static_cast<std::size_t>((seed * 3 + i) % 30) * 2;
        line += pool.substr(at, 2);
    }
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
// patterns a poem can have.
TEST(StanzaCandidates, RegularRunsOfFourFiveOrSevenCharacterLines)
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
        const std::vector<TPoemRecord> poems{PoemOfLengths(G("诗"), c.lengths)};
        const auto candidates = StanzaCandidates(poems, 1);
        EXPECT_EQ(Starts(candidates), c.starts);
        for (const TStanzaCandidate& candidate : candidates)
            EXPECT_EQ(candidate.Poem, 0);
    }
}

// Guards against a line of odd byte length being miscounted: its stray byte
// does not make it a sixth character.
TEST(StanzaCandidates, CharacterCountDiscardsAnOddByte)
{
    TPoemRecord poem = PoemOfLengths(G("诗"), {5, 5, 5, 5});
    poem.Lines[2] += 'x';  // 11 bytes still count as five characters
    EXPECT_EQ(LineCharCount(poem.Lines[2]), 5);
    EXPECT_EQ(Starts(StanzaCandidates({poem}, 1)), std::vector<int>{0});
}

// Guards against poems taken out of library order, poems past the count being
// read, and solved titles not being skipped.
TEST(StanzaCandidates, LibraryOrderCountAndSolvedTitles)
{
    const std::vector<TPoemRecord> poems{
        PoemOfLengths(G("甲"), {5, 5, 5, 5, 5}),
        PoemOfLengths(G("乙"), {7, 7}),
        PoemOfLengths(G("丙"), {7, 7, 7, 7}),
    };
    const std::vector<TStanzaCandidate> all{{0, 0}, {0, 1}, {2, 0}};
    EXPECT_EQ(StanzaCandidates(poems, 3), all);
    EXPECT_EQ(StanzaCandidates(poems, 99), all);  // the count never reaches past the array
    EXPECT_EQ(StanzaCandidates(poems, 1), (std::vector<TStanzaCandidate>{{0, 0}, {0, 1}}));
    EXPECT_TRUE(StanzaCandidates(poems, 0).empty());
    EXPECT_TRUE(StanzaCandidates(poems, -5).empty());

    const TTitleFilter solvedFirst = [&](const std::string& title) { return title == G("甲"); };
    EXPECT_EQ(StanzaCandidates(poems, 3, solvedFirst), (std::vector<TStanzaCandidate>{{2, 0}}));
}

// Guards against the walk uncovering the wrong character for a draw.
TEST(RevealWalk, DrawMapsToLineAndCharacter)
{
    struct Case {
        int chars;
        int r;
        TCharPos expected;
    };
    const Case cases[] = {
        {5, 0, {0, 0}},  {5, 4, {0, 4}},  {5, 5, {1, 0}},  {5, 19, {3, 4}}, {5, 12, {2, 2}},
        {7, 0, {0, 0}},  {7, 7, {1, 0}},  {7, 27, {3, 6}}, {7, 20, {2, 6}},
        {5, 20, {-1, -1}}, {7, 28, {-1, -1}}, {5, -1, {-1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.chars << " chars, r = " << c.r);
        TGuessTask task;
        FillTask(task, PoemOfLengths(G("诗"), {c.chars, c.chars, c.chars, c.chars}), 0);
        EXPECT_EQ(RevealWalk(task, c.r), c.expected);
    }
}

// Guards against a pick that draws over the wrong range, fills the wrong
// lines, uncovers more or less than one character, or leaves flags behind.
TEST(PickStanza, FillsTheTaskFromTheDrawnCandidate)
{
    TPoemRecord first = PoemOfLengths(G("甲"), {5, 5, 5, 5});
    TPoemRecord second = PoemOfLengths(G("乙"), {5, 7, 7, 7, 7, 7});
    second.Author = G("李白");
    second.Dynasty = G("唐");
    second.Content = G("全文");
    const std::vector<TPoemRecord> poems{first, second};

    TGuessTask task;
    task.Lines[0].Revealed = {1, 1, 1};  // leftovers of an earlier puzzle
    TScriptedDraw draw{{2, 10}, {}};     // candidate 2 of 3: second poem, start 2; r = 10
    ASSERT_TRUE(PickStanzaFrom(poems, 2, {}, draw.Draw(), task));
    EXPECT_EQ(draw.Asked, (std::vector<int>{3, 28}));

    EXPECT_EQ(task.Title, second.Title);
    EXPECT_EQ(task.Author, second.Author);
    EXPECT_EQ(task.Dynasty, second.Dynasty);
    EXPECT_EQ(task.Content, second.Content);
    EXPECT_EQ(task.TotalChars, 28);
    EXPECT_EQ(task.RevealedCount, 1);
    int flags = 0;
    for (int i = 0; i < 4; ++i) {
        const TLineState& line = task.Lines[static_cast<std::size_t>(i)];
        EXPECT_EQ(line.Text, second.Lines[static_cast<std::size_t>(2 + i)]);
        EXPECT_EQ(line.CharCount, 7);
        ASSERT_EQ(line.Revealed.size(), 7u);
        for (std::size_t k = 0; k < 7; ++k) {
            flags += line.Revealed[k];
            if (line.Revealed[k]) {
                EXPECT_TRUE(i == 1 && k == 3) << "line " << i << " char " << k;
            }
        }
    }
    EXPECT_EQ(flags, 1);
}

// Guards against the pick and the candidate list disagreeing about which
// stanza a draw stands for.
TEST(PickStanza, DrawKTakesTheKthCandidate)
{
    const std::vector<TPoemRecord> poems{
        PoemOfLengths(G("甲"), {5, 5, 5, 5, 5, 7}),
        PoemOfLengths(G("乙"), {7, 7}),
        PoemOfLengths(G("丙"), {7, 7, 7, 7, 7, 5, 5, 5, 5}),
    };
    const auto candidates = StanzaCandidates(poems, 3);
    ASSERT_EQ(candidates.size(), 5u);
    for (int k = 0; k < 5; ++k) {
        SCOPED_TRACE(k);
        const TStanzaCandidate& c = candidates[static_cast<std::size_t>(k)];
        const TPoemRecord& poem = poems[static_cast<std::size_t>(c.Poem)];
        TScriptedDraw draw{{k, 0}, {}};
        TGuessTask task;
        ASSERT_TRUE(PickStanzaFrom(poems, 3, {}, draw.Draw(), task));
        EXPECT_EQ(draw.Asked.front(), 5);
        EXPECT_EQ(task.Title, poem.Title);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(task.Lines[i].Text, poem.Lines[static_cast<std::size_t>(c.Start) + i]);
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

// Guards against cells and tiles in the wrong place or of the wrong size in
// the 510 x 46 line box, and against narrow boxes shrinking cells below 20.
TEST(Grid, CellGeometry)
{
    struct Case {
        int width, chars, k;
        int x, cw;
    };
    const Case cases[] = {
        {510, 5, 0, 8, 98},   {510, 5, 1, 106, 98}, {510, 5, 2, 204, 98}, {510, 5, 3, 302, 98},
        {510, 5, 4, 400, 98}, {510, 7, 0, 8, 70},   {510, 7, 1, 78, 70},  {510, 7, 6, 428, 70},
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
        EXPECT_EQ(cell.Tile.Shrunk(5).Height(), 16);
    }
    EXPECT_EQ(CellGeometry(510, 46, 5, 4).Tile.Shrunk(5).Width(), 84);
    EXPECT_EQ(CellGeometry(510, 46, 7, 6).Tile.Shrunk(5).Width(), 56);
    // Both rows end at x = 498.
    const TCellGeometry last5 = CellGeometry(510, 46, 5, 4);
    const TCellGeometry last7 = CellGeometry(510, 46, 7, 6);
    EXPECT_EQ(last5.X + last5.Width, 498);
    EXPECT_EQ(last7.X + last7.Width, 498);
}

// Guards against clicks mapped through the painted cells instead of the
// whole width, and against positions outside the zones not being clamped.
TEST(Grid, ClickZones)
{
    struct Case {
        int width, chars, x, index;
    };
    const Case cases[] = {
        {510, 5, 0, 0},   {510, 5, 101, 0}, {510, 5, 102, 1}, {510, 5, 103, 1}, {510, 5, 203, 1},
        {510, 5, 204, 2}, {510, 5, 305, 2}, {510, 5, 306, 3}, {510, 5, 405, 3}, {510, 5, 407, 3},
        {510, 5, 408, 4}, {510, 5, 509, 4}, {510, 5, -1, 0},  {510, 5, -400, 0}, {510, 5, 2000, 4},
        {510, 7, 0, 0},   {510, 7, 71, 0},  {510, 7, 72, 1},  {510, 7, 430, 5}, {510, 7, 503, 6},
        {510, 7, 504, 6}, {510, 7, 509, 6},
        {3, 7, 2, 2},     // zones narrower than a pixel count as one pixel
        {0, 5, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " wide, " << c.chars << " chars, x = " << c.x);
        EXPECT_EQ(ZoneIndex(c.width, c.chars, c.x), c.index);
    }
    EXPECT_EQ(ZoneIndex(510, 0, 10), -1);
}

// Guards against hints that show too much, cut the title wrongly, or reveal
// a trailing odd byte.
TEST(Answers, HintMasks)
{
    const std::string title4 = G("春晓夜思");  // 8 bytes
    const std::string odd = G("春晓") + "X";   // 5 bytes
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
        const std::string mask = HintMask(c.title, c.hints);
        EXPECT_EQ(mask, c.shown);
        EXPECT_EQ(mask.size(), c.title.size());
    }
}

// Guards against brackets or names appearing when the poem lacks them.
TEST(Answers, AnswerLinesAndHistoryRecords)
{
    struct Case {
        const char* author;
        const char* dynasty;
        const char* line;
    };
    const Case cases[] = {
        {"李白", "唐", "《静夜思》【唐】李白"},
        {"李白", "", "《静夜思》李白"},
        {"", "唐", "《静夜思》【唐】"},
        {"", "", "《静夜思》"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(AnswerLine(G("静夜思"), G(c.author), G(c.dynasty)), G(c.line));
    }
    EXPECT_EQ(HistoryRecord(G("用户"), G("静夜思"), G("《静夜思》")),
              G("用户") + "\t" + G("静夜思") + "\t" + G("《静夜思》"));
    EXPECT_EQ(HistoryRecord("", "", ""), "\t\t");
}

// Guards against the author being left out when empty, or the dynasty
// slipping into the give-up message.
TEST(Answers, GiveUpMessage)
{
    EXPECT_EQ(GiveUpMessage(G("静夜思"), G("李白"), 0), G("答案是：《静夜思》 （李白），共猜对了 0 首！"));
    EXPECT_EQ(GiveUpMessage(G("静夜思"), "", 3), G("答案是：《静夜思》 （），共猜对了 3 首！"));
    EXPECT_EQ(GiveUpMessage("", "", 0), G("答案是：《》 （），共猜对了 0 首！"));
}

// Guards against sentences cut at the wrong places, marks moved off their
// sentence, empty lines, and a torn double-byte character.
TEST(Sentences, CuttingTable)
{
    struct Case {
        const char* name;
        std::string content;
        std::vector<std::string> sentences;
    };
    const std::string leadByte = G("春").substr(0, 1);
    const Case cases[] = {
        {"couplet with full-width marks", G("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。"),
         {G("床前明月光，"), G("疑是地上霜。"), G("举头望明月，"), G("低头思故乡。")}},
        {"line breaks without marks", G("春眠不觉晓\r\n处处闻啼鸟\r\n\r\n\r\n夜来风雨声\r\n"),
         {G("春眠不觉晓"), G("处处闻啼鸟"), G("夜来风雨声")}},
        {"lone LF and CR", G("春眠") + "\n" + G("不觉") + "\r" + G("晓"), {G("春眠"), G("不觉"), G("晓")}},
        {"ASCII comma then space", G("春眠") + ", " + G("不觉晓"), {G("春眠") + ",", " " + G("不觉晓")}},
        {"every ASCII mark", "a!b,c.d:e;f?g-h", {"a!", "b,", "c.", "d:", "e;", "f?", "g-h"}},
        {"other double-byte marks", G("问君何能尔？心远地自偏！采菊、东篱"),
         {G("问君何能尔？"), G("心远地自偏！"), G("采菊、"), G("东篱")}},
        {"ends in a lone lead byte", G("春眠") + leadByte, {G("春眠")}},
        {"lone lead byte only", leadByte, {}},
        {"lead byte takes a CR", G("春") + leadByte + "\r" + G("眠"),
         {G("春") + leadByte + "\r" + G("眠")}},
        {"lead byte takes an LF at the end", leadByte + "\n", {leadByte + "\n"}},
        {"only line breaks", "\r\n\r\n\n\r", {}},
        {"empty", "", {}},
        {"marks only", G("，。"), {G("，"), G("。")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CutSentences(c.content), c.sentences);
    }
}

// Guards against a trailing line break, a lost separator, or CR LF showing
// as two breaks (or none) in a label.
TEST(Sentences, JoiningAndLabelText)
{
    EXPECT_EQ(JoinSentences({G("床前明月光，"), G("疑是地上霜。")}), G("床前明月光，") + "\r\n" + G("疑是地上霜。"));
    EXPECT_EQ(JoinSentences({G("独句")}), G("独句"));
    EXPECT_EQ(JoinSentences({}), "");
    EXPECT_EQ(LabelText(JoinSentences(CutSentences(G("春眠不觉晓，处处闻啼鸟。")))),
              QStringLiteral("春眠不觉晓，\n处处闻啼鸟。"));
    EXPECT_EQ(LabelText(""), QString());
}

}  // namespace
