// Whole games on the remote source, against the throwaway PostgreSQL server:
// its failures, the loader's boxes while the window plays on, closing during
// a load.
#include "e2e_fixtures.h"

#include "support/dialog_answerer.h"
#include "support/loader_helpers.h"

#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

namespace {

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

// Switches `frm` to `source` with the real message boxes, plays while the box whose text starts with `boxText` is
// open, and closes every box at once; the texts of the other boxes in `others`.
TDuringTheBox SwitchWithTheRealBoxes(QPointer<TfrmMain>& frm, int source, const char* boxText, QStringList& others)
{
    TDuringTheBox seen;
    const TMessageBoxHook previous = SetMessageBoxHook({});  // the real box
    {
        const TDialogAnswerer player([&](QDialog* dialog) {
            auto* box = qobject_cast<QMessageBox*>(dialog);
            if (!box)
                return;
            if (!seen.Shown && box->text().startsWith(QString::fromUtf8(boxText)))
                seen = PlayDuringTheBox(box, frm);
            else
                others << box->text();
            if (box->isVisible())
                box->done(0);  // no box may wait for a person
        });
        QueueRangeDialogAnswer(ChooseSource(source));
        ClickLabel(frm->lblSwitchRange);
        for (int i = 0; i < 10 && !frm.isNull(); ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }
    SetMessageBoxHook(previous);
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

        QStringList others;
        const TDuringTheBox seen = SwitchWithTheRealBoxes(frm, c.source, c.box, others);
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
