// Whole games through the real main window, offscreen: the start-up dialog,
// loads of every source, clicks, hints, answers, give-up, restart, switching
// sources, the remote source and its failures, closing during a load.
#include "app/command_line.h"
#include "app/poem_check_window.h"
#include "support/dialog_answerer.h"
#include "support/loader_helpers.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>

namespace {

const char* const kJingYeSi = "床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。";

// Library rows: id, title, author, dynasty, content.
struct TRow {
    int id;
    const char* title;
    const char* author;
    const char* dynasty;
    const char* content;
};

const TRow kTang300[] = {
    {1, "静夜思", "李白", "唐", kJingYeSi},
    {2, "登鹳雀楼", "王之涣", "唐", "白日依山尽，黄河入海流。\r\n欲穷千里目，更上一层楼。"},
    {3, "绝句", "杜甫", "唐", "两个黄鹂鸣翠柳，一行白鹭上青天。\r\n窗含西岭千秋雪，门泊东吴万里船。"},
};

const TRow kSchool[] = {
    {1, "春晓", "孟浩然", "唐", "春眠不觉晓，处处闻啼鸟。\r\n夜来风雨声，花落知多少。"},
    {139, "相思", "王维", "唐", "红豆生南国，春来发几枝。\r\n愿君多采撷，此物最相思。"},
    {140, "江雪", "柳宗元", "唐", "千山鸟飞绝，万径人踪灭。\r\n孤舟蓑笠翁，独钓寒江雪。"},
    {269, "鹿柴", "王维", "唐", "空山不见人，但闻人语响。\r\n返景入深林，复照青苔上。"},
    {270, "登鹳雀楼", "王之涣", "唐", "白日依山尽，黄河入海流。\r\n欲穷千里目，更上一层楼。"},
    {342, "绝句", "杜甫", "唐", "两个黄鹂鸣翠柳，一行白鹭上青天。\r\n窗含西岭千秋雪，门泊东吴万里船。"},
    {343, "静夜思", "李白", "唐", kJingYeSi},
};

template <std::size_t N> TTestTable Table(const char* name, const TRow (&rows)[N])
{
    TTestTable table{
        QString::fromUtf8(name), QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT"), {}};
    for (const TRow& row : rows)
        table.Rows.push_back({row.id, QString::fromUtf8(row.title), QString::fromUtf8(row.author),
                              QString::fromUtf8(row.dynasty), QString::fromUtf8(row.content)});
    return table;
}

// A program directory holding the two local tables, the way the build
// writes db21.mdb next to the game.
class TGameDir {
public:
    TGameDir()
    {
        WriteTestDatabase(FDir.File(QStringLiteral("db21.mdb")), {Table("TBZ300", kTang300), Table("TB112", kSchool)});
    }

private:
    TScopedProgramDir FDir;
};

std::vector<std::string> Titles(const TfrmMain& frm)
{
    return TitlesOf(frm);
}

void ClickLabel(TLabel* label)
{
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}

// A key as the player presses it: to whichever control has the focus.
void PressKey(QWidget& window, Qt::Key key)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == &window ? focus : &window, key);
}

void TypeAnswer(TfrmMain& frm, const QString& text)
{
    frm.edtAnswer->setFocus();
    frm.edtAnswer->setText(text);
    QTest::keyClick(frm.edtAnswer, Qt::Key_Return);
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

    // Uncover the third character of the second line (zone 300 div 102 = 2).
    QTest::mouseClick(frm->pbLine[1], Qt::LeftButton, {}, QPoint(300, 20));
    EXPECT_EQ(frm->FTask.Lines[1].Revealed[2], 1);
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("已显示 2/20 个字，请猜诗词名！"));

    ClickLabel(frm->lblHint);
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("提示：静****"));

    TypeAnswer(*frm, QStringLiteral("春晓"));
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("诗词名不正确，请重试！"));
    EXPECT_TRUE(frm->edtAnswer->text().isEmpty());

    TypeAnswer(*frm, QStringLiteral("  静夜思\t"));
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));
    EXPECT_EQ(frm->lblScore->text(), QStringLiteral("得分: 1"));
    EXPECT_EQ(frm->lblPuzzleNo->text(), QStringLiteral("第 1 首"));
    EXPECT_EQ(frm->memHistory->Lines(),
              (QStringList{QStringLiteral("用户: 静夜思"), QStringLiteral("  ——《静夜思》【唐】李白"), QString()}));
    EXPECT_TRUE(frm->FPoemVisible);
    EXPECT_TRUE(frm->pnlPoem->isVisible());
    EXPECT_EQ(frm->lblPoemTitle->text(), QStringLiteral("《静夜思》"));
    EXPECT_EQ(frm->lblPoemAuthor->text(), QStringLiteral("【唐】李白"));
    EXPECT_FALSE(frm->edtAnswer->isEnabled());
    EXPECT_FALSE(frm->pnlSubmit->isEnabled());

    // The puzzle is over: clicks uncover nothing, buttons do nothing.
    const int revealed = frm->FTask.RevealedCount;
    QTest::mouseClick(frm->pbLine[3], Qt::LeftButton, {}, QPoint(500, 20));
    ClickLabel(frm->lblHint);
    EXPECT_EQ(frm->FTask.RevealedCount, revealed);
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("恭喜，猜对了！点击「重新开始」开始下一首！"));

    // F5 starts afresh: score, history and the panel go back.
    frm->SetRandomDrawForTesting([](int n) { return n - 1; });  // last stanza, last character
    PressKey(*frm, Qt::Key_F5);
    EXPECT_EQ(frm->FTask.Title, G("绝句"));
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("已显示 1/28 个字，点击诗句行可翻开更多字！"));
    EXPECT_EQ(frm->lblScore->text(), QStringLiteral("得分: 0"));
    EXPECT_TRUE(frm->memHistory->Lines().isEmpty());
    EXPECT_FALSE(frm->FPoemVisible);
    EXPECT_TRUE(frm->edtAnswer->isEnabled());

    ClickLabel(frm->lblGiveUp);
    EXPECT_EQ(frm->lblStatus->text(), QStringLiteral("答案是：《绝句》 （杜甫），共猜对了 0 首！"));
    EXPECT_TRUE(frm->FPoemVisible);
    EXPECT_FALSE(frm->pnlGiveUp->isEnabled());

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

// Guards against --check passing without poems, hiding the reason, stopping
// at a failing source, or waiting on a message box or the source dialog.
TEST(EndToEnd, CheckLoadsEverySourceOfTheDatabase)
{
    enum class TTables { Both, TangOnly, NoFile };
    struct Case {
        const char* name;
        TTables tables;
        QStringList arguments;
        int exitCode;
        QString out;
        QString errPart;  // empty: nothing on the error stream
    };
    const QString noPuzzle = QStringLiteral("：没有可出题的诗词\n");
    const Case cases[] = {
        {"every local source",
         TTables::Both,
         {QStringLiteral("--check")},
         0,
         QStringLiteral("唐诗三百首：3 首\n小学诗词：2 首\n初中诗词：2 首\n高中诗词：2 首\n"),
         {}},
        {"one source",
         TTables::Both,
         {QStringLiteral("--check"), QStringLiteral("-s"), QStringLiteral("4")},
         0,
         QStringLiteral("高中诗词：2 首\n"),
         {}},
        {"no database",
         TTables::NoFile,
         {QStringLiteral("--check"), QStringLiteral("--source=1")},
         1,
         QStringLiteral("唐诗三百首") + noPuzzle,
         QStringLiteral("找不到数据库文件")},
        {"a table missing",
         TTables::TangOnly,
         {QStringLiteral("--check")},
         1,
         QStringLiteral("唐诗三百首：3 首\n小学诗词") + noPuzzle + QStringLiteral("初中诗词") + noPuzzle +
             QStringLiteral("高中诗词") + noPuzzle,
         QStringLiteral("TB112")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        if (c.tables == TTables::Both)
            WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                              {Table("TBZ300", kTang300), Table("TB112", kSchool)});
        else if (c.tables == TTables::TangOnly)
            WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")), {Table("TBZ300", kTang300)});
        const int dialogs = RangeDialogsShown();
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        EXPECT_EQ(RunPoemCheck(SourcesToCheck(ParseCommandLine(c.arguments)), out, err), c.exitCode);
        EXPECT_EQ(outText, c.out);
        if (c.errPart.isEmpty())
            EXPECT_TRUE(errText.isEmpty()) << errText.toStdString();
        else
            EXPECT_TRUE(errText.contains(c.errPart)) << errText.toStdString();
        EXPECT_EQ(RangeDialogsShown(), dialogs);
    }
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

// ---- The remote source, against the throwaway PostgreSQL server -----------

QString RemoteConnection()
{
    return qEnvironmentVariable("VERSEQUEST_TEST_REMOTE_CONNECTION");
}

bool RemoteDb(const QString& command)
{
    QProcess script;
    script.setStandardOutputFile(QProcess::nullDevice());  // the export line holds a password
    script.start(QStringLiteral(VQ_SOURCE_DIR "/scripts/remote-db.sh"), {command});
    return script.waitForFinished(60000) && script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0;
}

// Guards against the remote source failing to play end to end, and against
// a server that went away mid-session hanging or crashing the game.
TEST(EndToEnd, RemoteSourceAndAServerStoppedMidSession)
{
    if (RemoteConnection().isEmpty())
        GTEST_SKIP() << "VERSEQUEST_TEST_REMOTE_CONNECTION not set (scripts/test.sh sets it)";
    TGameDir dir;
    const TScopedEnv remote("VERSEQUEST_REMOTE_CONNECTION", RemoteConnection().toUtf8());
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(ChooseSource(0));
    TfrmMain frm;
    ShowAndActivate(frm);

    QueueRangeDialogAnswer(ChooseSource(4));
    ClickLabel(frm.lblSwitchRange);
    ASSERT_GE(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, QStringLiteral("连接成功，你现在可以开始了......"));
    EXPECT_EQ(boxes.Calls()[0].Icon, TMsgIcon::Information);
    ASSERT_GT(frm.FPoemCount, 0);
    EXPECT_EQ(frm.FProgressBar, nullptr);
    EXPECT_EQ(frm.FProgressLabel, nullptr);
    const std::vector<std::string> titles = Titles(frm);
    EXPECT_NE(std::find(titles.begin(), titles.end(), frm.FTask.Title), titles.end());
    // Solve it, to be sure the remote poem plays like a local one.
    TypeAnswer(frm, AnsiToWide(frm.FTask.Title));
    EXPECT_EQ(frm.lblScore->text(), QStringLiteral("得分: 1"));

#ifdef Q_OS_WIN
    GTEST_SKIP() << "the server is stopped through scripts/remote-db.sh, which a Windows program cannot wait for";
#endif
    // The server goes away; the next switch to it reports one failure.
    ASSERT_TRUE(RemoteDb(QStringLiteral("stop")));
    struct TRestart {
        ~TRestart() { RemoteDb(QStringLiteral("start")); }
    } restart;
    boxes.Clear();
    QueueRangeDialogAnswer(ChooseSource(4));
    ClickLabel(frm.lblSwitchRange);
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, QStringLiteral("远程数据库连接不成功，请检查网络后再试。"));
    EXPECT_EQ(boxes.Calls()[0].Caption, QStringLiteral("连接失败"));
    EXPECT_EQ(frm.FPoemCount, 0);
    EXPECT_EQ(frm.lblStatus->text(), QStringLiteral("无可用诗词，请切换范围！"));
    EXPECT_EQ(frm.FProgressBar, nullptr);
    ExpectNoOpenConnections();

    // Back to a local source: the game is whole again.
    QueueRangeDialogAnswer(ChooseSource(0));
    ClickLabel(frm.lblSwitchRange);
    EXPECT_EQ(frm.FPoemCount, 3);
}

// What a player does while one of the loader's boxes is open, through the
// window system: a tile click, a click on 切换范围, then a close request; and
// what the box was like.
struct TDuringTheBox {
    bool Shown = false;
    bool Modal = true;
    bool InFront = false;
    int Revealed = 0;
    bool SecondLoad = true;
    bool OpenAfterClose = true;
};

TDuringTheBox PlayDuringTheBox(QMessageBox* box, TfrmMain* frm)
{
    TDuringTheBox seen;
    seen.Shown = true;
    seen.Modal = QGuiApplication::modalWindow() != nullptr;
    seen.InFront = box->windowHandle() && box->windowHandle()->transientParent() == frm->windowHandle();
    const int before = frm->FTask.RevealedCount;
    QTest::mouseClick(frm->windowHandle(), Qt::LeftButton, {}, frm->pbLine[1]->mapTo(frm, QPoint(300, 20)));
    seen.Revealed = frm->FTask.RevealedCount - before;
    const int dialogs = RangeDialogsShown();
    QTest::mouseClick(frm->windowHandle(), Qt::LeftButton, {}, frm->lblSwitchRange->mapTo(frm, QPoint(20, 10)));
    seen.SecondLoad = RangeDialogsShown() != dialogs;
    frm->close();  // what the title bar's close button asks
    QCoreApplication::processEvents();
    seen.OpenAfterClose = box->isVisible();
    return seen;
}

// Guards against a loader's box that blocks the window: while it is open the
// old puzzle still plays and a close request is taken; the box then goes
// away, the load stops and the window closes.
TEST(EndToEnd, TheWindowStaysUsableWhileALoaderBoxIsOpen)
{
    const struct {
        const char* name;
        int source;
        bool remote;
        const char* box;
    } cases[] = {
        {"missing database", 1, false, "找不到数据库文件："},
        {"connection made", 4, true, "连接成功，你现在可以开始了......"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.remote && RemoteConnection().isEmpty())
            continue;  // VERSEQUEST_TEST_REMOTE_CONNECTION not set (scripts/test.sh sets it)
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")), {Table("TBZ300", kTang300)});
        const TScopedEnv remote("VERSEQUEST_REMOTE_CONNECTION", RemoteConnection().toUtf8());
        QueueRangeDialogAnswer(ChooseSource(0));
        QPointer<TfrmMain> frm = new TfrmMain;
        frm->SetRandomDrawForTesting([](int) { return 0; });
        ShowAndActivate(*frm);
        if (!c.remote) {
            ASSERT_TRUE(QFile::remove(dir.File(QStringLiteral("db21.mdb"))));
        }

        TDuringTheBox seen;
        QStringList others;
        const TMessageBoxHook previous = SetMessageBoxHook({});  // the real box
        {
            const TDialogAnswerer player([&](QDialog* dialog) {
                auto* box = qobject_cast<QMessageBox*>(dialog);
                if (!box)
                    return;
                if (!seen.Shown && box->text().startsWith(QString::fromUtf8(c.box)))
                    seen = PlayDuringTheBox(box, frm);
                else
                    others << box->text();
                if (box->isVisible())
                    box->done(0);  // no box may wait for a person
            });
            QueueRangeDialogAnswer(ChooseSource(c.source));
            ClickLabel(frm->lblSwitchRange);
            for (int i = 0; i < 10 && !frm.isNull(); ++i) {
                QCoreApplication::processEvents();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
        }
        SetMessageBoxHook(previous);
        EXPECT_TRUE(seen.Shown);
        EXPECT_TRUE(others.isEmpty()) << others.join(QLatin1Char('|')).toStdString();
        EXPECT_FALSE(seen.Modal);
        EXPECT_TRUE(seen.InFront);
        EXPECT_EQ(seen.Revealed, 1);
        EXPECT_FALSE(seen.SecondLoad);
        EXPECT_FALSE(seen.OpenAfterClose);
        EXPECT_TRUE(frm.isNull());
        delete frm.data();
        ExpectNoOpenConnections();
    }
}

// Guards against the window being destroyed under a running remote load:
// the close waits for the load to stop, then the window goes.
TEST(EndToEnd, ClosingTheWindowDuringARemoteLoad)
{
    if (RemoteConnection().isEmpty())
        GTEST_SKIP() << "VERSEQUEST_TEST_REMOTE_CONNECTION not set (scripts/test.sh sets it)";
    TGameDir dir;
    const TScopedEnv remote("VERSEQUEST_REMOTE_CONNECTION", RemoteConnection().toUtf8());
    QueueRangeDialogAnswer(ChooseSource(0));
    QPointer<TfrmMain> frm;
    {
        TMessageBoxRecorder startUp;
        frm = new TfrmMain;
    }
    ShowAndActivate(*frm);

    // The player closes the window right after the connection box, while the
    // load goes on processing messages.
    std::vector<TMessageBoxCall> calls;
    const TMessageBoxHook previous = SetMessageBoxHook([&](const TMessageBoxCall& call) {
        calls.push_back(call);
        if (call.Caption == QStringLiteral("提示") && !frm.isNull())
            QTimer::singleShot(0, frm, [frm] { frm->close(); });
    });
    QueueRangeDialogAnswer(ChooseSource(4));
    ClickLabel(frm->lblSwitchRange);
    for (int i = 0; i < 10 && !frm.isNull(); ++i) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    SetMessageBoxHook(previous);
    EXPECT_TRUE(frm.isNull());
    ExpectNoOpenConnections();
    // Only the connection box: the stopped load reports nothing more.
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Text, QStringLiteral("连接成功，你现在可以开始了......"));
}

}  // namespace
