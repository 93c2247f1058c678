// The game through the real window, offscreen: puzzles, clicks on the grid,
// answers, hints, giving up, restarting, the history and the poem panel.
#include "app/uMain.h"
#include "support/test_support.h"

#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace {

const char* const kQuietNight = "床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。";
const char* const kWhiteKing = "朝辞白帝彩云间，千里江陵一日还。\r\n两岸猿声啼不住，轻舟已过万重山。";

TPoemRecord Poem(const char* title, const char* author, const char* dynasty, const char* content)
{
    TPoemRecord poem{G(title), G(author), G(dynasty), G(content), {}};
    SplitVerseLines(poem.Content, poem.Lines);
    return poem;
}

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// A window over a library of our own whose draws come from a script (0 when
// it runs dry). Not shown until Show(); then the first puzzle starts unless
// `startPuzzle` is false.
struct TGame {
    TScopedProgramDir Dir;
    std::unique_ptr<TfrmMain> Frm;
    std::deque<int> Draws;

    explicit TGame(std::vector<TPoemRecord> poems, std::deque<int> draws = {})
        : Draws(std::move(draws))
    {
        {
            TMessageBoxRecorder boxes;  // the empty program directory holds no database
            Frm = std::make_unique<TfrmMain>();
        }
        Frm->setAttribute(Qt::WA_DeleteOnClose, false);
        Frm->FPoemCount = static_cast<std::int32_t>(poems.size());
        Frm->FPoems = std::move(poems);
        Frm->SetRandomDrawForTesting([this](int) {
            if (Draws.empty())
                return 0;
            const int value = Draws.front();
            Draws.pop_front();
            return value;
        });
    }

    TfrmMain& Show(bool startPuzzle = true)
    {
        Frm->FStartPending = startPuzzle;
        Frm->show();
        QApplication::setActiveWindow(Frm.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Frm.get()));
        return *Frm;
    }

    void Type(const QString& text, bool enter = false)
    {
        Frm->edtAnswer->setText(text);
        if (enter)
            QTest::keyClick(Frm->edtAnswer, Qt::Key_Return);
        else
            QTest::mouseClick(Frm->lblSubmit, Qt::LeftButton, {}, QPoint(25, 16));
    }
    void Click(TLabel* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10)); }
    void ClickLine(int line, int x)
    {
        QTest::mouseClick(Frm->pbLine[static_cast<std::size_t>(line)], Qt::LeftButton, {}, QPoint(x, 20));
    }
    QString Status() const { return Frm->lblStatus->text(); }
    bool AnswerControlsEnabled() const
    {
        return Frm->edtAnswer->isEnabled() && Frm->pnlSubmit->isEnabled() && Frm->pnlHint->isEnabled() &&
               Frm->pnlGiveUp->isEnabled();
    }
};

const QString kSolved = QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！");

// Guards against a new puzzle that keeps score, history, solved titles or a
// disabled answer box from the previous one, or reports the wrong counts.
TEST(Puzzle, NewPuzzleStartsAfreshAfterASolvedOne)
{
    TGame game({Poem("静夜思", "李白", "唐", kQuietNight)}, {0, 5});
    TfrmMain& frm = game.Show();
    EXPECT_EQ(frm.lblMode->text(), Q("模式：单人猜诗"));
    EXPECT_EQ(frm.lblPrompt->text(), Q("请输入诗词名："));
    EXPECT_EQ(game.Status(), Q("已显示 1/20 个字，点击诗句行可翻开更多字！"));
    EXPECT_EQ(frm.lblPuzzleNo->text(), Q("第 1 首"));
    EXPECT_EQ(frm.FTask.Lines[1].Revealed, (std::vector<std::uint8_t>{1, 0, 0, 0, 0}));  // r = 5
    EXPECT_EQ(frm.FTask.Lines[3].Text, G("低头思故乡"));
    EXPECT_EQ(QApplication::focusWidget(), frm.edtAnswer);

    game.Type(Q("静夜思"));
    ASSERT_EQ(game.Status(), kSolved);
    EXPECT_TRUE(frm.IsTitleUsed(G("静夜思")));
    game.Draws = {0, 19};
    game.Click(frm.lblRestart);
    EXPECT_EQ(frm.lblScore->text(), Q("得分: 0"));
    EXPECT_EQ(frm.lblPuzzleNo->text(), Q("第 1 首"));
    EXPECT_TRUE(frm.memHistory->Lines().isEmpty());
    EXPECT_EQ(frm.FHistory->Count(), 0);
    EXPECT_EQ(frm.FUsedTitles->Count(), 0);
    EXPECT_TRUE(game.AnswerControlsEnabled());
    EXPECT_TRUE(frm.edtAnswer->text().isEmpty());
    EXPECT_FALSE(frm.FPoemVisible);
    EXPECT_EQ(frm.FTask.Title, G("静夜思"));  // the solved poem may come again
    EXPECT_EQ(frm.FTask.Lines[3].Revealed, (std::vector<std::uint8_t>{0, 0, 0, 0, 1}));  // r = 19

    TGame sevens({Poem("早发白帝城", "李白", "唐", kWhiteKing)}, {0, 27});
    sevens.Show();
    EXPECT_EQ(sevens.Status(), Q("已显示 1/28 个字，点击诗句行可翻开更多字！"));
    EXPECT_EQ(sevens.Frm->FTask.Lines[3].Revealed[6], 1);
}

// Guards against the candidate encoding overflowing in large libraries and
// filling the puzzle from the wrong poem.
TEST(Puzzle, LargeLibraryPicksTheDrawnPoem)
{
    std::vector<TPoemRecord> poems;
    const std::string chars = G("春夏秋冬东南西北金木水火土");
    poems.reserve(40000);
    for (int p = 0; p < 40000; ++p) {
        TPoemRecord poem;
        poem.Title = G("诗") + std::to_string(p);
        for (int i = 0; i < 4; ++i) {
            std::string line;
            for (int k = 0; k < 5; ++k)
                line += chars.substr(static_cast<std::size_t>((p / (k + 1) + i * 7 + k) % 13) * 2, 2);
            poem.Lines.push_back(line);
        }
        poems.push_back(std::move(poem));
    }
    TGame game(poems, {39999, 0});
    TfrmMain& frm = game.Show();
    for (int drawn : {39999, 32768, 32767}) {
        SCOPED_TRACE(drawn);
        game.Draws = {drawn, 0};
        frm.NewPuzzle();
        const TPoemRecord& expected = poems[static_cast<std::size_t>(drawn)];
        EXPECT_EQ(frm.FTask.Title, expected.Title);
        for (std::size_t i = 0; i < 4; ++i)
            EXPECT_EQ(frm.FTask.Lines[i].Text, expected.Lines[i]);
    }
}

// Guards against a crash or disabled controls with an empty library, and
// against operations not acting on the task that is there.
TEST(Puzzle, EmptyLibraryKeepsPlayingOnWhatIsThere)
{
    TGame game({});
    TfrmMain& frm = game.Show();
    EXPECT_EQ(game.Status(), Q("无可用诗词，请切换范围！"));
    EXPECT_TRUE(game.AnswerControlsEnabled());
    EXPECT_TRUE(frm.FPuzzleActive);

    // No stanza ever chosen: every answer is wrong, hints do nothing, giving
    // up names no poem and opens the (empty) panel.
    game.Type(Q("静夜思"));
    EXPECT_EQ(game.Status(), Q("诗词名不正确，请重试！"));
    game.Click(frm.lblHint);
    EXPECT_EQ(game.Status(), Q("诗词名不正确，请重试！"));
    game.ClickLine(0, 100);
    EXPECT_EQ(game.Status(), Q("诗词名不正确，请重试！"));
    game.Click(frm.lblGiveUp);
    EXPECT_EQ(game.Status(), Q("答案是：《》 （），共猜对了 0 首！"));
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_TRUE(frm.lblPoemTitle->text().isEmpty());

    // A library that empties later leaves the previous poem in play.
    frm.FPoems = {Poem("静夜思", "李白", "唐", kQuietNight)};
    frm.FPoemCount = 1;
    game.Click(frm.lblRestart);
    frm.FPoemCount = 0;
    game.Click(frm.lblRestart);
    EXPECT_EQ(game.Status(), Q("无可用诗词，请切换范围！"));
    game.Type(Q("静夜思"));
    EXPECT_EQ(game.Status(), kSolved);
}

// Guards against operations acting in states where they must not, and
// against the restart not working in every state.
TEST(Answers, StateTable)
{
    enum class TState { NoPuzzle, Playing, Solved, GivenUp };
    enum class TOp { Submit, Hint, GiveUp, Restart };
    const QString unchanged = QStringLiteral("<unchanged>");
    struct Case {
        TState state;
        TOp op;
        QString status;  // `unchanged` when the operation must do nothing
    };
    const QString started = Q("已显示 1/20 个字，点击诗句行可翻开更多字！");
    const Case cases[] = {
        {TState::NoPuzzle, TOp::Submit, unchanged},  {TState::NoPuzzle, TOp::Hint, unchanged},
        {TState::NoPuzzle, TOp::GiveUp, unchanged},  {TState::NoPuzzle, TOp::Restart, started},
        {TState::Playing, TOp::Submit, kSolved},     {TState::Playing, TOp::Hint, Q("提示：静****")},
        {TState::Playing, TOp::GiveUp, Q("答案是：《静夜思》 （李白），共猜对了 0 首！")},
        {TState::Playing, TOp::Restart, started},
        {TState::Solved, TOp::Submit, unchanged},    {TState::Solved, TOp::Hint, unchanged},
        {TState::Solved, TOp::GiveUp, unchanged},    {TState::Solved, TOp::Restart, started},
        {TState::GivenUp, TOp::Submit, unchanged},   {TState::GivenUp, TOp::Hint, unchanged},
        {TState::GivenUp, TOp::GiveUp, unchanged},   {TState::GivenUp, TOp::Restart, started},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << ", operation " << int(c.op));
        TGame game({Poem("静夜思", "李白", "唐", kQuietNight)});
        TfrmMain& frm = game.Show(c.state != TState::NoPuzzle);
        if (c.state == TState::Solved)
            game.Type(Q("静夜思"));
        if (c.state == TState::GivenUp)
            game.Click(frm.lblGiveUp);
        const QString before = game.Status();
        const bool active = frm.FPuzzleActive, over = frm.FPuzzleOver;
        const int score = frm.FScore;

        switch (c.op) {
        case TOp::Submit: {
            // Through the key, since the button may be disabled.
            frm.edtAnswer->setText(Q("静夜思"));
            int key = 13;
            frm.AnswerKeyDown(key, {});
            EXPECT_EQ(key, 0);
            EXPECT_EQ(frm.edtAnswer->text().isEmpty(), c.status != unchanged);
            break;
        }
        case TOp::Hint: frm.ShowHint(); break;
        case TOp::GiveUp:
            game.Click(frm.lblGiveUp);
            // A second call must change nothing either; after a correct title
            // the disabled button is the only way in.
            if (c.state != TState::Solved)
                frm.GiveUp();
            break;
        case TOp::Restart: game.Click(frm.lblRestart); break;
        }

        if (c.status == unchanged) {
            EXPECT_EQ(game.Status(), before);
            EXPECT_EQ(frm.FPuzzleActive, active);
            EXPECT_EQ(frm.FPuzzleOver, over);
            EXPECT_EQ(frm.FScore, score);
        } else {
            EXPECT_EQ(game.Status(), c.status);
        }
        if (c.op == TOp::Restart) {
            EXPECT_TRUE(frm.FPuzzleActive && !frm.FPuzzleOver);
            EXPECT_TRUE(game.AnswerControlsEnabled());
            EXPECT_FALSE(frm.FPoemVisible);
        }
    }
}

// Guards against answers compared loosely (case, width, spaces, marks) or
// trimmed of more than ASCII blanks, and against the box keeping its text.
TEST(Answers, TitlesCompareByteForByte)
{
    struct Case {
        const char* title;
        QString typed;
        QString status;
    };
    const QString wrong = Q("诗词名不正确，请重试！");
    const Case cases[] = {
        {"静夜思", Q(" \t静夜思\t "), kSolved},
        {"静夜思", Q("　静夜思"), wrong},
        {"静夜思", Q("静夜思😀"), wrong},
        {"静夜思", Q(""), Q("请输入诗词名！")},
        {"静夜思", Q(" \t "), Q("请输入诗词名！")},
        {"Ode静", Q("ode静"), wrong},
        {"Ode静", Q("Ode静"), kSolved},
        {"将进酒·其一", Q("将进酒.其一"), wrong},
        {"将进酒·其一", Q("将进酒·其一"), kSolved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TGame game({Poem(c.title, "李白", "", kQuietNight)});
        TfrmMain& frm = game.Show();
        game.Type(c.typed, /*enter=*/true);
        EXPECT_EQ(game.Status(), c.status);
        EXPECT_TRUE(frm.edtAnswer->text().isEmpty());
        EXPECT_EQ(frm.FScore, c.status == kSolved ? 1 : 0);
        EXPECT_EQ(game.AnswerControlsEnabled(), c.status != kSolved);
    }
}

// Guards against a correct title not scoring, not recording its history in
// the three memo lines, or not opening the poem.
TEST(Answers, CorrectTitleScoresRecordsAndShowsThePoem)
{
    TGame game({Poem("静夜思", "李白", "唐", kQuietNight)});
    TfrmMain& frm = game.Show();
    game.Type(Q("静夜思"), /*enter=*/true);
    EXPECT_EQ(frm.lblScore->text(), Q("得分: 1"));
    EXPECT_EQ(frm.lblPuzzleNo->text(), Q("第 1 首"));
    EXPECT_FALSE(frm.edtAnswer->isEnabled());
    EXPECT_FALSE(frm.pnlSubmit->isEnabled() || frm.pnlHint->isEnabled() || frm.pnlGiveUp->isEnabled());
    EXPECT_TRUE(frm.pnlRestart->isEnabled());
    EXPECT_EQ(frm.memHistory->Lines(), QStringList({Q("用户: 静夜思"), Q("  ——《静夜思》【唐】李白"), Q("")}));
    ASSERT_EQ(frm.FHistory->Count(), 1);
    EXPECT_EQ((*frm.FHistory)[0], G("用户") + "\t" + G("静夜思") + "\t" + G("《静夜思》【唐】李白"));
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_EQ(frm.lblPoemToggle->text(), Q("隐"));
    EXPECT_EQ(frm.lblPoemTitle->text(), Q("《静夜思》"));
    EXPECT_EQ(frm.lblPoemAuthor->text(), Q("【唐】李白"));

    // Clicks after the end uncover nothing and keep the status.
    const int revealed = frm.FTask.RevealedCount;
    game.ClickLine(2, 300);
    EXPECT_EQ(frm.FTask.RevealedCount, revealed);
    EXPECT_EQ(game.Status(), kSolved);

    // The memo follows its last line.
    for (int i = 0; i < 12; ++i)
        frm.AddHistory(G("用户"), G("静夜思"), "");
    QScrollBar* bar = frm.memHistory->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(frm.memHistory->Lines().size(), 3 + 12 * 2);  // no dash line for an empty answer
}

// Guards against hints revealing too much, the odd byte of a title, or not
// returning the focus to the answer box.
TEST(Answers, HintsAndGiveUp)
{
    struct Case {
        const char* title;
        std::vector<QString> hints;
    };
    const Case cases[] = {
        {"春江花月", {Q("提示：春******"), Q("提示：春江****"), Q("提示：春江花**"), Q("提示：春江花月"),
                      Q("提示：春江花月")}},
        {"春晓X", {Q("提示：春***"), Q("提示：春晓*"), Q("提示：春晓*")}},
        {"X", {Q("提示：*"), Q("提示：*")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TGame game({Poem(c.title, "", "唐", kQuietNight)});
        TfrmMain& frm = game.Show();
        for (const QString& expected : c.hints) {
            frm.memHistory->setFocus();
            game.Click(frm.lblHint);
            EXPECT_EQ(game.Status(), expected);
            EXPECT_EQ(QApplication::focusWidget(), frm.edtAnswer);
        }
        EXPECT_EQ(frm.FHintCount, static_cast<int>(c.hints.size()));
        EXPECT_EQ(frm.FScore, 0);

        game.Click(frm.lblGiveUp);
        EXPECT_EQ(game.Status(), Q("答案是：《") + Q(c.title) + Q("》 （），共猜对了 0 首！"));
        EXPECT_FALSE(game.Frm->edtAnswer->isEnabled() || frm.pnlSubmit->isEnabled() ||
                     frm.pnlHint->isEnabled() || frm.pnlGiveUp->isEnabled());
        EXPECT_TRUE(frm.FPoemVisible);
        EXPECT_EQ(frm.lblPoemAuthor->text(), Q("【唐】"));
        EXPECT_EQ(frm.FTask.RevealedCount, 1);  // the grid stays as it was
        EXPECT_EQ(frm.FHistory->Count(), 0);
        EXPECT_FALSE(frm.IsTitleUsed(G(c.title)));
    }
}

// Guards against clicks mapped through the painted cells, counted twice, or
// accepted outside play; and against the hand pointer outside play.
TEST(Grid, ClicksUncoverTheCharacterUnderThePointer)
{
    struct Case {
        const char* content;
        int line, x, index;
    };
    const Case cases[] = {
        {kQuietNight, 0, 103, 1}, {kQuietNight, 1, 405, 3}, {kQuietNight, 2, 0, 0},
        {kQuietNight, 3, 509, 4}, {kWhiteKing, 0, 430, 5},  {kWhiteKing, 2, 509, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "line " << c.line << " x " << c.x);
        TGame game({Poem("诗", "", "", c.content)}, {0, 1});  // line 0, character 1 uncovered
        TfrmMain& frm = game.Show();
        const int total = frm.FTask.TotalChars;
        const int before = frm.FTask.RevealedCount;
        const bool wasRevealed = frm.FTask.Lines[static_cast<std::size_t>(c.line)].Revealed[c.index] == 1;
        game.ClickLine(c.line, c.x);
        EXPECT_EQ(frm.FTask.Lines[static_cast<std::size_t>(c.line)].Revealed[c.index], 1);
        const int after = before + (wasRevealed ? 0 : 1);
        EXPECT_EQ(frm.FTask.RevealedCount, after);
        const QString status = QStringLiteral("已显示 %1/%2 个字，请猜诗词名！").arg(after).arg(total);
        EXPECT_EQ(game.Status(), status);
        frm.lblStatus->clear();
        game.ClickLine(c.line, c.x);  // again: nothing new, same status
        EXPECT_EQ(frm.FTask.RevealedCount, after);
        EXPECT_EQ(game.Status(), status);
    }

    TGame game({Poem("诗", "", "", kQuietNight)});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    game.ClickLine(0, 100);  // before the first puzzle
    EXPECT_TRUE(game.Status().isEmpty());
    frm.NewPuzzle();
    const std::pair<int, int> outside[] = {{0, 5}, {4, 0}, {-1, 0}, {0, -1}};
    for (auto [line, index] : outside)
        frm.RevealChar(line, index);
    EXPECT_EQ(frm.FTask.RevealedCount, 1);

    frm.pbLine[0]->setCursor(Qt::ArrowCursor);
    Q_EMIT frm.pbLine[0]->MouseMoved(frm.pbLine[0], {}, {}, 10, 10);
    EXPECT_EQ(frm.pbLine[0]->cursor().shape(), Qt::PointingHandCursor);
    game.Click(frm.lblGiveUp);
    frm.pbLine[0]->setCursor(Qt::ArrowCursor);
    Q_EMIT frm.pbLine[0]->MouseMoved(frm.pbLine[0], {}, {}, 10, 10);
    EXPECT_EQ(frm.pbLine[0]->cursor().shape(), Qt::ArrowCursor);
}

QRgb Pixel(const QImage& image, int x, int y)
{
    return image.pixel(x, y) & 0xFFFFFF;
}

// Guards against tiles drawn in the wrong place, size or colours, blended
// edges, a character drawn outside its cell or off centre, and anything but
// background and frame before the first puzzle.
TEST(Grid, PixelsOfTilesAndCharacters)
{
    constexpr QRgb kBack = 0xD8E8F0, kFrame = 0x90B0C0, kOuter = 0x80A8C0, kFill = 0xE0EDF5,
                   kMiddle = 0xB8CCD8, kInner = 0xA0C0D0, kInnerFill = 0xC8DCE8, kChar = 0x692844;
    TGame game({Poem("早发白帝城", "", "", kWhiteKing)}, {0, 0});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    QImage empty = frm.pbLine[0]->grab().toImage();
    ASSERT_EQ(empty.size(), QSize(510, 46));
    for (int y = 0; y < 46; ++y)
        for (int x = 0; x < 510; ++x) {
            const bool edge = x == 0 || y == 0 || x == 509 || y == 45;
            ASSERT_EQ(Pixel(empty, x, y), edge ? kFrame : kBack) << x << "," << y;
        }

    frm.NewPuzzle();  // line 0, character 0 uncovered
    const QImage row = frm.pbLine[0]->grab().toImage();
    // Across the second cell (x 78 .. 147) at y = 20, and down it at x = 100.
    const std::pair<int, QRgb> across[] = {
        {77, kBack},  {79, kBack},   {80, kOuter},  {81, kFill},       {82, kMiddle}, {84, kFill},
        {85, kInner}, {86, kInnerFill}, {139, kInnerFill}, {140, kInner}, {141, kFill}, {143, kMiddle},
        {144, kFill}, {145, kOuter}, {146, kBack},  {149, kBack},      {150, kOuter}, {497, kBack}};
    for (auto [x, colour] : across)
        EXPECT_EQ(Pixel(row, x, 20), colour) << "x " << x;
    const std::pair<int, QRgb> down[] = {{9, kBack},  {10, kOuter},     {11, kFill},  {12, kMiddle},
                                         {15, kInner}, {16, kInnerFill}, {30, kInner}, {33, kMiddle},
                                         {35, kOuter}, {36, kBack},      {45, kFrame}};
    for (auto [y, colour] : down)
        EXPECT_EQ(Pixel(row, 100, y), colour) << "y " << y;

    // The uncovered first cell: character pixels only inside its tile
    // (10,10)-(76,36), roughly centred in the cell, and no tile drawn.
    int count = 0, sumX = 0;
    for (int y = 1; y < 45; ++y)
        for (int x = 1; x < 78; ++x) {
            const QRgb p = Pixel(row, x, y);
            EXPECT_TRUE(p != kOuter && p != kInner && p != kMiddle) << x << "," << y;
            if (p == kChar) {
                ++count;
                sumX += x;
                EXPECT_TRUE(x >= 10 && x < 76 && y >= 10 && y < 36) << x << "," << y;
            }
        }
    ASSERT_GT(count, 20);
    EXPECT_NEAR(static_cast<double>(sumX) / count, 8 + 35, 6);  // cell 8 .. 78
}

// Guards against the panel not following a wrapping title, the scroll box
// moving, text not cut into lines, and a panel that opens scrolled down or
// with a stale poem.
TEST(PoemPanel, LongTitleWrapsAndPushesTheAuthorDown)
{
    std::string longContent = kQuietNight;
    for (int i = 0; i < 12; ++i)
        longContent += "\r\n春眠不觉晓，处处闻啼鸟。夜来风雨声，花落知多少。";
    TGame game({Poem("和晋陵陆丞早春游望同赋春字韵之长题", "杜审言", " 唐 ", longContent.c_str()),
                Poem("静夜思", "", "", kQuietNight)});
    TfrmMain& frm = game.Show();
    game.Click(frm.lblGiveUp);

    const QRect title = frm.lblPoemTitle->geometry();
    EXPECT_EQ(title.topLeft(), QPoint(0, 20));
    EXPECT_EQ(title.width(), 232);
    EXPECT_GE(title.height(), 2 * QFontMetrics(frm.lblPoemTitle->font()).height());
    EXPECT_EQ(title.height(), frm.lblPoemTitle->heightForWidth(232));
    EXPECT_EQ(frm.lblPoemAuthor->y(), title.y() + title.height() + 4);
    EXPECT_EQ(frm.lblPoemAuthor->text(), Q("【唐】杜审言"));
    EXPECT_EQ(frm.lblPoemRule->y(), frm.lblPoemAuthor->y() + frm.lblPoemAuthor->height() + 10);
    EXPECT_EQ(frm.sbPoem->geometry(), QRect(4, 110, 224, 540));

    EXPECT_EQ(frm.lblPoemText->geometry().topLeft(), QPoint(8, 0));
    EXPECT_EQ(frm.lblPoemText->width(), 208);
    EXPECT_EQ(frm.lblPoemText->height(), frm.lblPoemText->heightForWidth(208));
    EXPECT_TRUE(frm.lblPoemText->text().startsWith(Q("床前明月光，\n疑是地上霜。\n举头望明月，\n")));
    EXPECT_EQ(frm.lblPoemText->text().count(QLatin1Char('\n')), 4 + 12 * 4 - 1);
    ASSERT_GT(frm.sbPoem->verticalScrollBar()->maximum(), 0);

    // Hidden and shown again: filled anew and back at the top.
    frm.sbPoem->SetVertPosition(200);
    game.Click(frm.lblPoemToggle);
    EXPECT_FALSE(frm.FPoemVisible);
    EXPECT_EQ(frm.lblPoemToggle->text(), Q("诗"));
    game.Click(frm.lblPoemToggle);
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_EQ(frm.sbPoem->VertPosition(), 0);

    // A restart hides it; showing it again shows the new puzzle's poem.
    const int longTitleHeight = title.height();
    game.Draws = {49, 0};  // the first poem's 52 lines give candidates 0 .. 48
    game.Click(frm.lblRestart);
    EXPECT_FALSE(frm.pnlPoem->isVisible());
    game.Click(frm.lblPoemToggle);
    EXPECT_EQ(frm.lblPoemTitle->text(), Q("《静夜思》"));
    EXPECT_LT(frm.lblPoemTitle->height(), longTitleHeight);
    EXPECT_EQ(frm.lblPoemAuthor->y(), 20 + frm.lblPoemTitle->height() + 4);
    EXPECT_TRUE(frm.lblPoemAuthor->text().isEmpty());
    EXPECT_EQ(frm.lblPoemText->text(), Q("床前明月光，\n疑是地上霜。\n举头望明月，\n低头思故乡。"));
}

}  // namespace
