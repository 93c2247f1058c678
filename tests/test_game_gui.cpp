// The game through the real window, offscreen: puzzle states, clicks on the
// grid, answers, hints, giving up, the history and the poem panel.
#include "app/uMain.h"
#include "support/test_support.h"

#include <QInputMethodEvent>
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

const QString kSolved = Q("恭喜，猜对了！点击「重新开始」开始下一首！");
const QString kWrong = Q("诗词名不正确，请重试！");

// A window over a library of our own whose draws come from a script (0 when
// it runs dry). Show() starts the first puzzle unless `startPuzzle` is false.
struct TGame {
    TScopedProgramDir Dir;
    std::unique_ptr<TfrmMain> Frm;
    std::deque<int> Draws;

    explicit TGame(std::vector<TPoemRecord> poems, std::deque<int> draws = {}) : Draws(std::move(draws))
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
        ShowAndActivate(*Frm);
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
    // How many of the answer box and the submit, hint and give-up buttons are enabled.
    int AnswerControlsEnabled() const
    {
        return int(Frm->edtAnswer->isEnabled()) + Frm->pnlSubmit->isEnabled() + Frm->pnlHint->isEnabled() +
               Frm->pnlGiveUp->isEnabled();
    }
};

// Guards against operations acting in states where they must not; against a
// restart that fails in some state or keeps the score, history, solved titles,
// typed text, disabled controls or open panel of the puzzle before; and against
// draws uncovering another character than the one drawn.
TEST(Answers, StateTable)
{
    enum class TState { NoPuzzle, Playing, Solved, GivenUp };
    enum class TOp { Submit, Hint, GiveUp, Restart };
    const QString unchanged = QStringLiteral("<unchanged>");
    const QString started = Q("已显示 1/20 个字，点击诗句行可翻开更多字！");
    struct Case {
        TState state;
        TOp op;
        QString status;  // `unchanged` when the operation must do nothing
    };
    const Case cases[] = {
        {TState::NoPuzzle, TOp::Submit, unchanged},
        {TState::NoPuzzle, TOp::Hint, unchanged},
        {TState::NoPuzzle, TOp::GiveUp, unchanged},
        {TState::NoPuzzle, TOp::Restart, started},
        {TState::Playing, TOp::Submit, kSolved},
        {TState::Playing, TOp::Hint, Q("提示：静****")},
        {TState::Playing, TOp::GiveUp, Q("答案是：《静夜思》 （李白），共猜对了 0 首！")},
        {TState::Playing, TOp::Restart, started},
        {TState::Solved, TOp::Submit, unchanged},
        {TState::Solved, TOp::Hint, unchanged},
        {TState::Solved, TOp::GiveUp, unchanged},
        {TState::Solved, TOp::Restart, started},
        {TState::GivenUp, TOp::Submit, unchanged},
        {TState::GivenUp, TOp::Hint, unchanged},
        {TState::GivenUp, TOp::GiveUp, unchanged},
        {TState::GivenUp, TOp::Restart, started},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << ", operation " << int(c.op));
        TGame game({Poem("静夜思", "李白", "唐", kQuietNight)}, {0, 5});
        TfrmMain& frm = game.Show(c.state != TState::NoPuzzle);
        if (c.state != TState::NoPuzzle) {
            EXPECT_EQ(frm.FTask.Lines[1].Revealed, (std::vector<std::uint8_t>{1, 0, 0, 0, 0}));  // r = 5
            EXPECT_EQ(frm.lblPrompt->text(), Q("请输入诗词名："));
            EXPECT_EQ(QApplication::focusWidget(), frm.edtAnswer);
        }
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
        case TOp::Hint:
            frm.ShowHint();
            break;
        case TOp::GiveUp:
            game.Click(frm.lblGiveUp);
            // A second call must change nothing either; after a correct title
            // the disabled button is the only way in.
            if (c.state != TState::Solved)
                frm.GiveUp();
            break;
        case TOp::Restart:
            frm.edtAnswer->setText(Q("半句"));
            game.Draws = {0, 19};
            game.Click(frm.lblRestart);
            break;
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
            EXPECT_EQ(game.AnswerControlsEnabled(), 4);
            EXPECT_TRUE(frm.edtAnswer->text().isEmpty());
            EXPECT_EQ(QApplication::focusWidget(), frm.edtAnswer);
            EXPECT_FALSE(frm.FPoemVisible);
            EXPECT_EQ(frm.FScore, 0);
            EXPECT_EQ(frm.FHistory.Count(), 0);
            EXPECT_EQ(frm.FUsedTitles.Count(), 0);  // the solved poem may come again
            EXPECT_EQ(frm.FTask.Lines[3].Revealed, (std::vector<std::uint8_t>{0, 0, 0, 0, 1}));  // r = 19
        }
    }
}

// Guards against answers compared loosely (case, width, spaces, marks) or
// trimmed of more than ASCII blanks, against the box keeping its text, and
// against a correct title recorded in the history with other fields.
TEST(Answers, TitlesCompareByteForByte)
{
    struct Case {
        const char* title;
        QString typed;
        QString status;
    };
    const QString empty = Q("请输入诗词名！");
    const Case cases[] = {
        {"静夜思", Q(" \t静夜思\t "), kSolved},
        {"静夜思", Q("　静夜思"), kWrong},
        {"静夜思", Q("静夜思😀"), kWrong},
        {"静夜思", Q(""), empty},
        {"静夜思", Q(" \t "), empty},
        {"Ode静", Q("ode静"), kWrong},
        {"Ode静", Q("Ode静"), kSolved},
        {"将进酒·其一", Q("将进酒.其一"), kWrong},
        {"将进酒·其一", Q("将进酒·其一"), kSolved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        TGame game({Poem(c.title, "李白", "", kQuietNight)});
        TfrmMain& frm = game.Show();
        game.Type(c.typed, /*enter=*/true);
        const bool solved = c.status == kSolved;
        EXPECT_EQ(game.Status(), c.status);
        EXPECT_TRUE(frm.edtAnswer->text().isEmpty());
        EXPECT_EQ(frm.FScore, solved ? 1 : 0);
        EXPECT_EQ(game.AnswerControlsEnabled(), solved ? 0 : 4);
        EXPECT_EQ(frm.FHistory.Count(), solved ? 1 : 0);
        EXPECT_TRUE(!solved || frm.FHistory[0] == G("用户\t") + G(c.title) + G("\t《") + G(c.title) + G("》李白"));
    }
}

// Guards against a click on 提交 (or 提示 then 提交) that reads the box without
// the title the input method is still composing, and so loses it.
TEST(Answers, AComposedTitleIsSubmittedByTheClick)
{
    struct Case {
        QString committed, preedit;
        bool hintFirst;
    };
    const Case cases[] = {{Q(""), Q("静夜思"), false}, {Q("静"), Q("夜思"), false}, {Q(""), Q("静夜思"), true}};
    for (const Case& c : cases) {
        SCOPED_TRACE((c.committed + u'|' + c.preedit).toStdString());
        TGame game({Poem("静夜思", "李白", "唐", kQuietNight)});
        TfrmMain& frm = game.Show();
        frm.edtAnswer->setText(c.committed);
        QInputMethodEvent composing(c.preedit, {});
        QApplication::sendEvent(frm.edtAnswer, &composing);
        ASSERT_EQ(frm.edtAnswer->text(), c.committed);  // the pre-edit is not text yet
        if (c.hintFirst)
            game.Click(frm.lblHint);
        game.Click(frm.lblSubmit);
        EXPECT_EQ(game.Status(), kSolved);
        EXPECT_EQ(frm.FScore, 1);
        EXPECT_TRUE(frm.edtAnswer->text().isEmpty());
    }
}

// Guards against hints revealing too much, the odd byte of a title, or not
// returning the focus to the answer box; against a give-up that leaves
// controls enabled, drops the empty author, uncovers the grid, or records a
// history entry or a solved title; and against a history memo that does not
// follow its last line or adds a dash line for an empty answer.
TEST(Answers, HintsGiveUpAndHistoryMemo)
{
    TGame game({Poem("春晓X", "", "唐", kQuietNight)});
    TfrmMain& frm = game.Show();
    for (const QString& expected : {Q("提示：春***"), Q("提示：春晓*"), Q("提示：春晓*")}) {
        frm.memHistory->setFocus();
        game.Click(frm.lblHint);
        EXPECT_EQ(game.Status(), expected);
        EXPECT_EQ(QApplication::focusWidget(), frm.edtAnswer);
    }
    EXPECT_EQ(frm.FHintCount, 3);
    EXPECT_EQ(frm.FScore, 0);

    game.Click(frm.lblGiveUp);
    EXPECT_EQ(game.Status(), Q("答案是：《春晓X》 （），共猜对了 0 首！"));
    EXPECT_EQ(game.AnswerControlsEnabled(), 0);
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_EQ(frm.lblPoemAuthor->text(), Q("【唐】"));
    EXPECT_EQ(frm.FTask.RevealedCount, 1);
    EXPECT_EQ(frm.FHistory.Count(), 0);
    EXPECT_FALSE(frm.IsTitleUsed(G("春晓X")));

    QScrollBar* bar = frm.memHistory->verticalScrollBar();
    for (int i = 0; i < 12; ++i) {
        bar->setValue(0);  // the player scrolled up
        frm.AddHistory(G("用户"), G("静夜思"), "");
    }
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_EQ(frm.memHistory->Lines().size(), 12 * 2);
}

// Guards against a crash or disabled controls with an empty library, and
// against operations not acting on the task that is there.
TEST(Puzzle, EmptyLibraryKeepsPlayingOnWhatIsThere)
{
    TGame game({});
    TfrmMain& frm = game.Show();
    EXPECT_EQ(game.Status(), Q("无可用诗词，请切换范围！"));
    EXPECT_EQ(game.AnswerControlsEnabled(), 4);
    EXPECT_TRUE(frm.FPuzzleActive);

    // No stanza ever chosen: every answer is wrong, hints and clicks do
    // nothing, giving up names no poem and opens the (empty) panel.
    game.Type(Q("静夜思"));
    game.Click(frm.lblHint);
    game.ClickLine(0, 100);
    EXPECT_EQ(game.Status(), kWrong);
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

// Guards against clicks mapped through the painted cells, counted twice, or
// accepted outside play; and against the hand pointer outside play.
TEST(Grid, ClicksUncoverTheCharacterUnderThePointer)
{
    struct Case {
        const char* content;
        int line, x, index;
    };
    const Case cases[] = {{kQuietNight, 0, 103, 1}, {kQuietNight, 1, 405, 3}, {kQuietNight, 2, 0, 0},
                          {kQuietNight, 3, 509, 4}, {kWhiteKing, 0, 430, 5},  {kWhiteKing, 2, 509, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "line " << c.line << " x " << c.x);
        TGame game({Poem("诗", "", "", c.content)}, {0, 1});  // line 0, character 1 uncovered
        TfrmMain& frm = game.Show();
        const std::vector<std::uint8_t>& flags = frm.FTask.Lines[static_cast<std::size_t>(c.line)].Revealed;
        const int after = frm.FTask.RevealedCount + (flags[static_cast<std::size_t>(c.index)] ? 0 : 1);
        const QString status = Q("已显示 %1/%2 个字，请猜诗词名！").arg(after).arg(frm.FTask.TotalChars);
        for (int click = 0; click < 2; ++click) {  // again: nothing new, same status
            frm.lblStatus->clear();
            game.ClickLine(c.line, c.x);
            EXPECT_EQ(flags[static_cast<std::size_t>(c.index)], 1);
            EXPECT_EQ(frm.FTask.RevealedCount, after);
            EXPECT_EQ(game.Status(), status);
        }
    }

    TGame game({Poem("诗", "", "", kQuietNight)});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    game.ClickLine(0, 100);  // before the first puzzle
    EXPECT_TRUE(game.Status().isEmpty());
    frm.NewPuzzle();
    for (auto [line, index] : {std::pair{0, 5}, std::pair{4, 0}, std::pair{-1, 0}, std::pair{0, -1}})
        frm.RevealChar(line, index);
    EXPECT_EQ(frm.FTask.RevealedCount, 1);

    for (Qt::CursorShape expected : {Qt::PointingHandCursor, Qt::ArrowCursor}) {  // playing, given up
        frm.pbLine[0]->setCursor(Qt::ArrowCursor);
        Q_EMIT frm.pbLine[0]->MouseMoved(frm.pbLine[0], {}, {}, 10, 10);
        EXPECT_EQ(frm.pbLine[0]->cursor().shape(), expected);
        game.Click(frm.lblGiveUp);
    }
}

// Guards against tiles drawn in the wrong place, size or colours, blended
// edges, a character drawn outside its cell or off centre, and anything but
// background and frame before the first puzzle.
TEST(Grid, PixelsOfTilesAndCharacters)
{
    constexpr QRgb kBack = 0xD8E8F0, kFrame = 0x90B0C0, kOuter = 0x80A8C0, kFill = 0xE0EDF5, kMiddle = 0xB8CCD8,
                   kInner = 0xA0C0D0, kInnerFill = 0xC8DCE8, kChar = 0x692844;
    TGame game({Poem("早发白帝城", "", "", kWhiteKing)}, {0, 0});
    TfrmMain& frm = game.Show(/*startPuzzle=*/false);
    const QImage empty = frm.pbLine[0]->grab().toImage();
    ASSERT_EQ(empty.size(), QSize(510, 46));
    for (int y = 0; y < 46; ++y)
        for (int x = 0; x < 510; ++x)
            ASSERT_EQ(PixelAt(empty, x, y), x == 0 || y == 0 || x == 509 || y == 45 ? kFrame : kBack) << x << "," << y;

    frm.NewPuzzle();  // line 0, character 0 uncovered
    const QImage row = frm.pbLine[0]->grab().toImage();
    // Across the second cell (x 78 .. 147) at y = 20, and down it at x = 100.
    const std::pair<int, QRgb> across[] = {
        {77, kBack},  {79, kBack},      {80, kOuter},      {81, kFill},   {82, kMiddle}, {84, kFill},
        {85, kInner}, {86, kInnerFill}, {139, kInnerFill}, {140, kInner}, {141, kFill},  {143, kMiddle},
        {144, kFill}, {145, kOuter},    {146, kBack},      {149, kBack},  {150, kOuter}, {497, kBack}};
    for (auto [x, colour] : across)
        EXPECT_EQ(PixelAt(row, x, 20), colour) << "x " << x;
    const std::pair<int, QRgb> down[] = {{9, kBack},   {10, kOuter},     {11, kFill},  {12, kMiddle},
                                         {15, kInner}, {16, kInnerFill}, {30, kInner}, {33, kMiddle},
                                         {35, kOuter}, {36, kBack},      {45, kFrame}};
    for (auto [y, colour] : down)
        EXPECT_EQ(PixelAt(row, 100, y), colour) << "y " << y;

    // The uncovered first cell: character pixels only inside its tile
    // (10,10)-(76,36), roughly centred in the cell, and no tile drawn.
    int count = 0, sumX = 0;
    for (int y = 1; y < 45; ++y)
        for (int x = 1; x < 78; ++x) {
            const QRgb p = PixelAt(row, x, y);
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
    game.Click(frm.lblPoemToggle);
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_EQ(frm.sbPoem->VertPosition(), 0);

    // A restart hides it; showing it again shows the new puzzle's poem.
    game.Draws = {49, 0};  // the first poem's 52 lines give candidates 0 .. 48
    game.Click(frm.lblRestart);
    EXPECT_FALSE(frm.pnlPoem->isVisible());
    game.Click(frm.lblPoemToggle);
    EXPECT_EQ(frm.lblPoemTitle->text(), Q("《静夜思》"));
    EXPECT_LT(frm.lblPoemTitle->height(), title.height());
    EXPECT_EQ(frm.lblPoemAuthor->y(), 20 + frm.lblPoemTitle->height() + 4);
    EXPECT_TRUE(frm.lblPoemAuthor->text().isEmpty());
    EXPECT_EQ(frm.lblPoemText->text(), Q("床前明月光，\n疑是地上霜。\n举头望明月，\n低头思故乡。"));
}

}  // namespace
