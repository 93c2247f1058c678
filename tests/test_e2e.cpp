// Whole games through the real main window, offscreen: the start-up dialog,
// loads of every source, clicks, hints, answers, give-up, restart, switching
// sources (the poem check in test_e2e_check.cpp; the remote source and closing
// during a load in test_e2e_remote.cpp).
#include "e2e_fixtures.h"

#include "app/command_line.h"
#include "support/loader_helpers.h"

#include <QFile>
#include <QPointer>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

// The first puzzle of AWholeGameOnTheTangPoems played to its end: a tile uncovered, a hint, a wrong answer, then
// the right one and the poem shown.
void SolveTheFirstPuzzle(TfrmMain& frm)
{
    // Uncover the third character of the second line (zone 300 div 102 = 2).
    QTest::mouseClick(frm.pbLine[1], Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_EQ(frm.FTask.Lines[1].Revealed[2], 1);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("已显示 2/20 个字，请猜诗词名！"));

    ClickLabel(frm.lblHint);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("提示：静****"));

    TypeAnswer(frm, QStringLiteral("春晓"));
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("诗词名不正确，请重试！"));
    EXPECT_TRUE(frm.edtAnswer->text().isEmpty());

    TypeAnswer(frm, QStringLiteral("  静夜思\t"));
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));
    EXPECT_EQ(frm.lblScore->text(), QStringLiteral("得分: 1"));
    EXPECT_EQ(frm.lblPuzzleNo->text(), QStringLiteral("第 1 首"));
    EXPECT_EQ(frm.memHistory->Lines(),
              (QStringList{QStringLiteral("用户: 静夜思"), QStringLiteral("  ——《静夜思》【唐】李白"), QString()}));
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_TRUE(frm.pnlPoem->isVisible());
    EXPECT_EQ(frm.lblPoemTitle->text(), QStringLiteral("《静夜思》"));
    EXPECT_EQ(frm.lblPoemAuthor->text(), QStringLiteral("【唐】李白"));
    EXPECT_FALSE(frm.edtAnswer->isEnabled());
    EXPECT_FALSE(frm.pnlSubmit->isEnabled());
}

// The puzzle over: clicks uncover nothing, buttons do nothing; then F5 and give-up on the next puzzle.
void RestartAndGiveUp(TfrmMain& frm)
{
    // The puzzle is over: clicks uncover nothing, buttons do nothing.
    const int revealed = frm.FTask.RevealedCount;
    QTest::mouseClick(frm.pbLine[3], Qt::LeftButton, {}, QPoint(500, 20));
    ClickLabel(frm.lblHint);
    EXPECT_EQ(frm.FTask.RevealedCount, revealed);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));

    // F5 starts afresh: score, history and the panel go back.
    frm.SetRandomDrawForTesting([](int n) { return n - 1; });  // last stanza, last character
    PressKey(frm, Qt::Key_F5);
    EXPECT_EQ(frm.FTask.Title, G("绝句"));
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("已显示 1/28 个字，点击诗句行可翻开更多字！"));
    EXPECT_EQ(frm.lblScore->text(), QStringLiteral("得分: 0"));
    EXPECT_TRUE(frm.memHistory->Lines().isEmpty());
    EXPECT_FALSE(frm.FPoemVisible);
    EXPECT_TRUE(frm.edtAnswer->isEnabled());

    ClickLabel(frm.lblGiveUp);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("答案是：《绝句》 （杜甫），共猜对了 0 首！"));
    EXPECT_TRUE(frm.FPoemVisible);
    EXPECT_FALSE(frm.pnlGiveUp->isEnabled());
}

// Guards against the pieces of a game not fitting together: the first
// puzzle, uncovering, hints, a wrong and a right answer, the end state,
// restart, give-up, all through clicks and keys on the real window.
TEST(EndToEnd, AWholeGameOnTheTangPoems)
{
    TGameDir dir;
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    QPointer<TfrmMain> frm = new TfrmMain;
    ASSERT_TRUE(boxes.Calls().empty());
    ASSERT_EQ(frm->FPoemCount, 3);
    frm->SetRandomDrawForTesting([](int) { return 0; });  // first stanza, first character
    ShowAndActivate(*frm);

    EXPECT_EQ(frm->FTask.Title, G("静夜思"));
    EXPECT_EQ(frm->lblMode->text(), QStringLiteral("模式：单人猜诗"));
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("已显示 1/20 个字，点击诗句行可翻开更多字！"));
    EXPECT_EQ(frm->lblPuzzleNo->text(), QStringLiteral("第 1 首"));
    EXPECT_EQ(frm->FTask.Lines[0].Revealed[0], 1);

    SolveTheFirstPuzzle(*frm);
    RestartAndGiveUp(*frm);

    QTest::mouseClick(frm->pnlRestart, Qt::LeftButton, {}, QPoint(1, 1));  // on the bevel
    EXPECT_TRUE(frm->FPuzzleActive);
    EXPECT_FALSE(frm->FPuzzleOver);
    EXPECT_FALSE(frm->FPoemVisible);
    EXPECT_TRUE(boxes.Calls().empty());

    frm->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
}

// Guards against a source reading the wrong rows: the school levels split
// the shared table at IDs 139/140, 269/270 and 342/343.
TEST(EndToEnd, EachLocalSourceLoadsItsRowsAtStartUp)
{
    TGameDir dir;
    struct Case {
        int source;
        std::vector<const char*> titles;
    };
    const Case cases[] = {
        {0, {"静夜思", "登鹳雀楼", "绝句"}},
        {1, {"春晓", "相思"}},
        {2, {"江雪", "鹿柴"}},
        {3, {"登鹳雀楼", "绝句"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        TMessageBoxRecorder boxes;
        QueueRangeDialogAnswer(ChooseSource(c.source));
        TfrmMain frm;
        EXPECT_EQ(frm.FRangeIndex, c.source);
        std::vector<std::string> expected;
        for (const char* title : c.titles)
            expected.push_back(G(title));
        EXPECT_EQ(Titles(frm), expected);
        ShowAndActivate(frm);
        EXPECT_NE(std::find(expected.begin(), expected.end(), frm.FTask.Title), expected.end());
        EXPECT_TRUE(boxes.Calls().empty());
    }
}

// Guards against --source still asking for a source, or starting with another one.
TEST(EndToEnd, SourceFromTheCommandLineSkipsTheQuestion)
{
    TGameDir dir;
    TMessageBoxRecorder boxes;
    const int dialogs = RangeDialogsShown();
    TfrmMain frm(nullptr, ParseCommandLine({QStringLiteral("--source"), QStringLiteral("初中诗词")}).Source);
    EXPECT_EQ(RangeDialogsShown(), dialogs);
    EXPECT_EQ(frm.FRangeIndex, 2);
    EXPECT_EQ(Titles(frm), (std::vector<std::string>{G("江雪"), G("鹿柴")}));
    ShowAndActivate(frm);
    EXPECT_TRUE(frm.FTask.Title == G("江雪") || frm.FTask.Title == G("鹿柴"));
    EXPECT_TRUE(boxes.Calls().empty());
}

// Guards against a switch that keeps the old library, a cancelled switch
// that changes anything, and a dialog that forgets the chosen source.
TEST(EndToEnd, SwitchingSourcesAndBack)
{
    TGameDir dir;
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    TfrmMain frm;
    ShowAndActivate(frm);
    const std::string firstTitle = frm.FTask.Title;

    QueueRangeDialogAnswer(ChooseSource(2));
    ClickLabel(frm.lblSwitchRange);
    EXPECT_EQ(frm.FRangeIndex, 2);
    EXPECT_EQ(Titles(frm), (std::vector<std::string>{G("江雪"), G("鹿柴")}));
    EXPECT_TRUE(frm.FTask.Title == G("江雪") || frm.FTask.Title == G("鹿柴"));
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("已显示 1/20 个字，点击诗句行可翻开更多字！"));

    // Cancel: the same source stays preset next time, the puzzle goes on.
    QTest::mouseClick(frm.pbLine[0], Qt::LeftButton, {}, QPoint(5, 5));
    const TGuessTask before = frm.FTask;
    const QString status = frm.lblStatus->text();
    QueueRangeDialogAnswer(CancelDialog());
    QTest::mouseClick(frm.pnlSwitchRange, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(RangeDialogPresets().back(), 2);
    EXPECT_EQ(frm.FRangeIndex, 2);
    EXPECT_EQ(frm.FTask.Title, before.Title);
    EXPECT_EQ(frm.FTask.RevealedCount, before.RevealedCount);
    EXPECT_EQ(frm.lblStatus->text(), status);

    QueueRangeDialogAnswer(ChooseSource(0));
    ClickLabel(frm.lblSwitchRange);
    EXPECT_EQ(RangeDialogPresets().back(), 2);
    EXPECT_EQ(frm.FPoemCount, 3);
    EXPECT_EQ(frm.FRangeIndex, 0);
    EXPECT_FALSE(firstTitle.empty());
    EXPECT_TRUE(boxes.Calls().empty());
}

// Guards against a load error during a switch ending the game or travelling
// through Qt to notify(): the error box shows, and play goes on with the
// earlier puzzle.
TEST(EndToEnd, ALoadErrorDuringASwitchKeepsThePuzzle)
{
    TScopedProgramDir dir;
    WriteTestDatabase(
        dir.File(QStringLiteral("db21.mdb")),
        {Table("TBZ300", kTang300),
         {QStringLiteral("TB112"), QStringLiteral("ID INTEGER, TITLE TEXT"), {{1, QStringLiteral("x")}}}});
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    TfrmMain frm;
    ShowAndActivate(frm);
    const std::string title = frm.FTask.Title;
    const QString status = frm.lblStatus->text();

    QueueRangeDialogAnswer(ChooseSource(1));  // TB112 has no CONTENT column
    ClickLabel(frm.lblSwitchRange);
    // Caught by the button's handler, where Qt called in: nothing reached notify().
    auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->EscapedErrors(), 0);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Caption, QStringLiteral("青简堂诗词猜诗"));
    EXPECT_EQ(boxes.Calls()[0].Icon, TMsgIcon::Error);
    EXPECT_EQ(frm.FTask.Title, title);
    EXPECT_EQ(frm.lblStatus->text(), status);
    EXPECT_TRUE(frm.FPuzzleActive);
    ExpectNoOpenConnections();

    // The game goes on: the answer still counts.
    TypeAnswer(frm, AnsiToWide(title));
    EXPECT_EQ(frm.lblScore->text(), QStringLiteral("得分: 1"));
}

// A double-click as the platform delivers it: press, release, double-click
// press, release.
void DoubleClick(QWidget* widget, QPoint pos)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
    QTest::mouseDClick(widget, Qt::LeftButton, {}, pos);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, pos);
}

// Guards against the second press of a double-click running a handler again:
// two hints spent, the poem panel opened and closed at once, two tiles.
TEST(EndToEnd, ADoubleClickCountsOnce)
{
    TGameDir dir;
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    TfrmMain frm;
    frm.SetRandomDrawForTesting([](int) { return 0; });  // 静夜思, first character
    ShowAndActivate(frm);

    DoubleClick(frm.lblHint, frm.lblHint->rect().center());
    EXPECT_EQ(frm.FHintCount, 1);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("提示：静****"));
    DoubleClick(frm.pnlHint, QPoint(1, 1));  // on the bevel
    EXPECT_EQ(frm.FHintCount, 2);

    DoubleClick(frm.lblPoemToggle, frm.lblPoemToggle->rect().center());
    EXPECT_TRUE(frm.FPoemVisible);

    // Two neighbouring zones of one line: only the first tile is uncovered.
    const int revealed = frm.FTask.RevealedCount;
    DoubleClick(frm.pbLine[1], QPoint(20, 20));
    EXPECT_EQ(frm.FTask.RevealedCount, revealed + 1);

    // Every new puzzle draws from the random seam: one click's worth, not two.
    int draws = 0;
    frm.SetRandomDrawForTesting([&draws](int) {
        ++draws;
        return 0;
    });
    ClickLabel(frm.lblRestart);
    const int drawsOfOnePuzzle = draws;
    draws = 0;
    DoubleClick(frm.lblRestart, frm.lblRestart->rect().center());
    EXPECT_EQ(draws, drawsOfOnePuzzle);
    EXPECT_TRUE(boxes.Calls().empty());
}

// Guards against a damaged database at start-up leaving a window without
// controls: one box in Chinese, then the whole window, telling there is no
// poem, and a switch to a good source plays again.
struct TDamagedStart {
    const char* name;
    std::function<void(const QString& path)> make;
    const char* box;  // the start of the one box's text
    friend void PrintTo(const TDamagedStart& row, std::ostream* out) { *out << row.name; }
};
class DamagedDatabaseAtStartUp : public testing::TestWithParam<TDamagedStart> { };

TEST_P(DamagedDatabaseAtStartUp, StillBuildsTheWindow)
{
    const TDamagedStart& c = GetParam();
    TScopedProgramDir dir;
    const QString path = dir.File(QStringLiteral("db21.mdb"));
    c.make(path);
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    TfrmMain frm;
    ShowAndActivate(frm);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_TRUE(boxes.Calls()[0].Text.startsWith(QString::fromUtf8(c.box))) << boxes.Calls()[0].Text.toStdString();
    EXPECT_EQ(boxes.Calls()[0].Icon, TMsgIcon::Error);
    ASSERT_NE(frm.lblStatus, nullptr);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("无可用诗词，请切换范围！"));
    EXPECT_EQ(frm.FPoemCount, 0);
    ExpectNoOpenConnections();

    QDir(path).removeRecursively();
    QFile::remove(path);
    WriteTestDatabase(path, {Table("TBZ300", kTang300), Table("TB112", kSchool)});
    QueueRangeDialogAnswer(ChooseSource(1));
    ClickLabel(frm.lblSwitchRange);
    EXPECT_EQ(frm.FPoemCount, 2);
    EXPECT_TRUE(frm.FPuzzleActive);
    EXPECT_EQ(boxes.Calls().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    EndToEnd, DamagedDatabaseAtStartUp,
    testing::ValuesIn(std::vector<TDamagedStart>{
        {"random bytes",
         [](const QString& path) {
             QFile file(path);
             ASSERT_TRUE(file.open(QIODevice::WriteOnly));
             file.write(QByteArray(4096, '\x5a'));
         },
         "无法读取诗词数据库文件"},
        {"truncated file",
         [](const QString& path) {
             WriteTestDatabase(path, {Table("TBZ300", kTang300)});
             QFile file(path);
             ASSERT_TRUE(file.resize(100));
         },
         "无法读取诗词数据库文件"},
        {"table without CONTENT",
         [](const QString& path) {
             WriteTestDatabase(
                 path,
                 {{QStringLiteral("TBZ300"), QStringLiteral("ID INTEGER, TITLE TEXT"), {{1, QStringLiteral("x")}}}});
         },
         "查询结果中没有 CONTENT 列"},
        {"a folder named db21.mdb", [](const QString& path) { ASSERT_TRUE(QDir().mkdir(path)); }, "找不到数据库文件："},
    }),
    [](const testing::TestParamInfo<TDamagedStart>& row) { return RowTestName(row.param.name); });

// Guards against a Jet 4 db21.mdb (the test file, with its database
// password deployed) playing otherwise than the SQLite one: start-up load,
// a guessed poem, and a switch to another source of the same file.
TEST(EndToEnd, APoemSourceFromAJet4File)
{
    TScopedProgramDir dir;
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(VQ_TEST_DATA_DIR "/jet/db21-jet4.mdb"), dir.File(QStringLiteral("db21.mdb"))));
    TScopedEnv password("VERSEQUEST_DB_PASSWORD", QByteArray("shici936"));
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(2));
    TfrmMain frm;
    frm.SetRandomDrawForTesting([](int) { return 0; });
    ShowAndActivate(frm);
    ASSERT_GT(frm.FPoemCount, 50);
    EXPECT_EQ(frm.FTask.Title, G("闻王昌龄左迁龙标遥有此寄"));  // ID 140's four-character lines are no stanza

    TypeAnswer(frm, QStringLiteral("闻王昌龄左迁龙标遥有此寄"));
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));
    EXPECT_EQ(frm.lblScore->text(), QStringLiteral("得分: 1"));
    EXPECT_EQ(frm.lblPoemAuthor->text(), QStringLiteral("【唐】李白"));

    QueueRangeDialogAnswer(ChooseSource(0));
    ClickLabel(frm.lblSwitchRange);
    EXPECT_EQ(frm.FRangeIndex, 0);
    ASSERT_GT(frm.FPoemCount, 300);
    EXPECT_EQ(frm.FPoems.front().Title, G("行宫"));
    EXPECT_EQ(frm.FTask.Title, G("行宫"));
    EXPECT_TRUE(boxes.Calls().empty());
    ExpectNoOpenConnections();
}

}  // namespace
