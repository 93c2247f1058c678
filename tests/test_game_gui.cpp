// The game through the real window, offscreen: puzzle states, answers,
// hints, giving up and the history (clicks on the grid and the poem panel in
// test_grid_gui.cpp).
#include "game_gui_fixtures.h"

#include "app/uMain.h"
#include "support/test_support.h"

#include <QInputMethodEvent>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace {

enum class TState { NoPuzzle, Playing, Solved, GivenUp };
enum class TOp { Submit, Hint, GiveUp, Restart };
const QString kUnchanged = QStringLiteral("<unchanged>");
const QString kStarted = Q("已显示 1/20 个字，点击诗句行可翻开更多字！");
struct TStateCase {
    TState state;
    TOp op;
    QString status;  // `kUnchanged` when the operation must do nothing
};
// Every operation in every state of StateTable, and the status it leaves.
const TStateCase kStateCases[] = {
    {TState::NoPuzzle, TOp::Submit, kUnchanged},
    {TState::NoPuzzle, TOp::Hint, kUnchanged},
    {TState::NoPuzzle, TOp::GiveUp, kUnchanged},
    {TState::NoPuzzle, TOp::Restart, kStarted},
    {TState::Playing, TOp::Submit, kSolved},
    {TState::Playing, TOp::Hint, Q("提示：静****")},
    {TState::Playing, TOp::GiveUp, Q("答案是：《静夜思》 （李白），共猜对了 0 首！")},
    {TState::Playing, TOp::Restart, kStarted},
    {TState::Solved, TOp::Submit, kUnchanged},
    {TState::Solved, TOp::Hint, kUnchanged},
    {TState::Solved, TOp::GiveUp, kUnchanged},
    {TState::Solved, TOp::Restart, kStarted},
    {TState::GivenUp, TOp::Submit, kUnchanged},
    {TState::GivenUp, TOp::Hint, kUnchanged},
    {TState::GivenUp, TOp::GiveUp, kUnchanged},
    {TState::GivenUp, TOp::Restart, kStarted},
};

// Brings `game` into the state of `c`: no puzzle, the first one playing (draws 0 and 5: r = 5), solved or given up.
void PlayToTheState(TGame& game, const TStateCase& c)
{
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
}

// Runs the operation of `c` on `game`'s window.
void RunTheOperation(TGame& game, const TStateCase& c)
{
    TfrmMain& frm = *game.Frm;
    switch (c.op) {
    case TOp::Submit: {
        // Through the key, since the button may be disabled.
        frm.edtAnswer->setText(Q("静夜思"));
        int key = 13;
        frm.AnswerKeyDown(key, {});
        EXPECT_EQ(key, 0);
        EXPECT_EQ(frm.edtAnswer->text().isEmpty(), c.status != kUnchanged);
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
}

// A restart of `game` left nothing of the puzzle before: a fresh puzzle playing (draws 0 and 19: r = 19).
void ExpectAFreshPuzzle(const TGame& game)
{
    const TfrmMain& frm = *game.Frm;
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

// Guards against operations acting in states where they must not; against a
// restart that fails in some state or keeps the score, history, solved titles,
// typed text, disabled controls or open panel of the puzzle before; and against
// draws uncovering another character than the one drawn.
TEST(Answers, StateTable)
{
    for (const TStateCase& c : kStateCases) {
        SCOPED_TRACE(testing::Message() << "state " << int(c.state) << ", operation " << int(c.op));
        TGame game({Poem("静夜思", "李白", "唐", kQuietNight)}, {0, 5});
        PlayToTheState(game, c);
        TfrmMain& frm = *game.Frm;
        const QString before = game.Status();
        const bool active = frm.FPuzzleActive, over = frm.FPuzzleOver;
        const int score = frm.FScore;

        RunTheOperation(game, c);

        if (c.status == kUnchanged) {
            EXPECT_EQ(game.Status(), before);
            EXPECT_EQ(frm.FPuzzleActive, active);
            EXPECT_EQ(frm.FPuzzleOver, over);
            EXPECT_EQ(frm.FScore, score);
        } else {
            EXPECT_EQ(game.Status(), c.status);
        }
        if (c.op == TOp::Restart)
            ExpectAFreshPuzzle(game);
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

}  // namespace
