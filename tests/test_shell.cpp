// The main window's fixed properties, start-up files, first show, shortcuts,
// closing, and errors escaping handlers; real widgets, offscreen.
#include "app/command_line.h"
#include "app/scaled_host_window.h"
#include "app/screen_fit.h"
#include "app/uMain.h"
#include "support/test_support.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Guards against a resizable or wrongly decorated window, the designed caption
// surviving, and strips of the wrong size or colour.
TEST(MainWindow, FixedPropertiesAndBorderStrips)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    TfrmMain frm;
    EXPECT_EQ(frm.size(), QSize(800, 715));
    EXPECT_EQ(frm.minimumSize(), QSize(800, 715));
    EXPECT_EQ(frm.maximumSize(), QSize(800, 715));
    const Qt::WindowFlags flags = frm.windowFlags();
    EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_EQ(frm.windowTitle(), QStringLiteral("青简堂诗词猜诗"));
    EXPECT_EQ(frm.palette().color(QPalette::Window), QColor(0x7D, 0xDD, 0xEF));

    ASSERT_NE(frm.pnlTopBorder, nullptr);
    ASSERT_NE(frm.pnlBottomBorder, nullptr);
    EXPECT_EQ(frm.pnlTopBorder->geometry(), QRect(0, 0, 800, 6));
    EXPECT_EQ(frm.pnlBottomBorder->geometry(), QRect(0, 709, 800, 6));

    const QImage shot = frm.grab().toImage();
    for (int y : {0, 5, 709, 714})
        for (int x : {0, 400, 799})
            EXPECT_EQ(PixelAt(shot, x, y), 0x5A627Au) << x << "," << y;

    // The start-up state FormCreate leaves behind.
    EXPECT_EQ(frm.FRangeIndex, 0);
    EXPECT_EQ(frm.FScore, 0);
    EXPECT_EQ(frm.FPuzzleNo, 0);
    EXPECT_FALSE(frm.FPuzzleActive);
    EXPECT_FALSE(frm.FPuzzleOver);
    EXPECT_TRUE(frm.FStartPending);
    EXPECT_EQ(frm.FHistory.Count(), 0);
    EXPECT_EQ(frm.FUsedTitles.Count(), 0);
}

// Guards against a missing or broken optional file stopping the start, and
// against a background of another size being rejected or rescaled on load.
TEST(MainWindow, OptionalFilesFallBackSilently)
{
    struct Case {
        const char* name;
        QByteArray background;  // empty: no file
        QByteArray icon;
    };
    QImage small(37, 23, QImage::Format_RGB32);
    small.fill(QColor(10, 200, 30));
    QByteArray smallBmp;
    {
        QBuffer buffer(&smallBmp);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(small.save(&buffer, "BMP"));
    }
    const Case cases[] = {
        {"no files", {}, {}},
        {"empty files", QByteArray(""), QByteArray("")},
        {"not images", QByteArray("hello, this is text"), QByteArray("\x00\x01\x02garbage", 10)},
        {"truncated bitmap", smallBmp.left(40), smallBmp.left(10)},
        {"bitmap of another size", smallBmp, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        TMessageBoxRecorder boxes;
        auto write = [&](const QString& name, const QByteArray& bytes, bool present) {
            if (!present)
                return;
            QFile file(dir.File(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        };
        write(QStringLiteral("bg_poetry.bmp"), c.background, !c.background.isNull());
        write(QStringLiteral("VerseQuest.ico"), c.icon, !c.icon.isNull());

        TfrmMain frm;
        ASSERT_FALSE(frm.FBackground.isNull());
        EXPECT_FALSE(frm.windowIcon().isNull());
        if (c.background == smallBmp) {
            EXPECT_EQ(frm.FBackground.size(), QSize(37, 23));
            EXPECT_EQ(frm.FBackground.pixel(5, 5) & 0xFFFFFF, 0x0AC81Eu);
        } else {
            EXPECT_EQ(frm.FBackground.size(), QSize(800, 715));
            EXPECT_EQ(frm.FBackground.pixel(0, 0) & 0xFFFFFF, 0xF5EBDCu);
            EXPECT_EQ(frm.FBackground.pixel(799, 714) & 0xFFFFFF, 0xF5EBDCu);
        }
    }
}

// Guards against VerseQuest.ico next to the program being ignored.
TEST(MainWindow, IconFileReplacesTheBuiltInIcon)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    QImage square(32, 32, QImage::Format_ARGB32);
    square.fill(QColor(0, 0, 255));
    ASSERT_TRUE(square.save(dir.File(QStringLiteral("VerseQuest.ico")), "ICO"));
    TfrmMain frm;
    const QImage icon = frm.windowIcon().pixmap(32, 32).toImage();
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixel(0, 0) & 0xFFFFFF, 0x0000FFu);

    TScopedProgramDir emptyDir;
    TfrmMain plain;
    const QImage builtIn = plain.windowIcon().pixmap(32, 32).toImage();
    ASSERT_FALSE(builtIn.isNull());
    EXPECT_NE(builtIn.pixel(16, 16) & 0xFFFFFF, 0x0000FFu);
    // Every size the desktop asks for is drawn, none scaled up from a small one.
    EXPECT_EQ(plain.windowIcon().availableSizes(),
              (QList<QSize>{QSize(48, 48), QSize(64, 64), QSize(128, 128), QSize(256, 256)}));
}

// Guards against the first puzzle starting twice, or again after a
// minimise and restore.
TEST(MainWindow, FirstPuzzleIsPendingUntilTheFirstShowOnly)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    TfrmMain frm;
    EXPECT_TRUE(frm.FStartPending);
    ShowAndActivate(frm);
    EXPECT_FALSE(frm.FStartPending);
    frm.FPuzzleNo = 42;  // a marker a second start would reset
    frm.showMinimized();
    QCoreApplication::processEvents();
    frm.showNormal();
    QCoreApplication::processEvents();
    frm.hide();
    frm.show();
    QCoreApplication::processEvents();
    EXPECT_FALSE(frm.FStartPending);
    EXPECT_EQ(frm.FPuzzleNo, 42);
}

// Guards against shortcuts that depend on modifiers, that miss keys sent to
// a focused edit box, or that swallow the key.
TEST(MainWindow, ShortcutsWorkWithAnyModifierAndFocus)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    TfrmMain frm;
    TEdit* edit = frm.edtAnswer;
    ASSERT_NE(edit, nullptr);
    ShowAndActivate(frm);
    edit->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), edit);

    struct Case {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        bool toggles;
    };
    const Case cases[] = {
        {Qt::Key_T, Qt::NoModifier, true},       {Qt::Key_T, Qt::ShiftModifier, true},
        {Qt::Key_T, Qt::ControlModifier, true},  {Qt::Key_T, Qt::AltModifier, true},
        {Qt::Key_F3, Qt::NoModifier, true},      {Qt::Key_F3, Qt::ControlModifier | Qt::ShiftModifier, true},
        {Qt::Key_R, Qt::NoModifier, false},      {Qt::Key_F4, Qt::NoModifier, false},
        {Qt::Key_Return, Qt::NoModifier, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "key " << std::hex << c.key << " mods " << c.modifiers);
        const bool before = frm.FPoemVisible;
        QTest::keyClick(edit, c.key, c.modifiers);
        EXPECT_EQ(frm.FPoemVisible, c.toggles ? !before : before);
    }

    // The letter still reaches the focused edit box after the toggle.
    edit->clear();
    QTest::keyClick(edit, Qt::Key_T);
    EXPECT_EQ(edit->text(), QStringLiteral("t"));

    // F5 restarts, which hides the poem panel, with or without modifiers.
    for (Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::NoModifier), Qt::KeyboardModifiers(Qt::AltModifier)}) {
        frm.FPoemVisible = true;
        QTest::keyClick(edit, Qt::Key_F5, modifiers);
        EXPECT_FALSE(frm.FPoemVisible);
    }

    // Without a focused control the window itself receives and previews keys.
    edit->clearFocus();
    frm.setFocus();
    const bool before = frm.FPoemVisible;
    QTest::keyClick(&frm, Qt::Key_F3);
    EXPECT_EQ(frm.FPoemVisible, !before);
}

// Guards against an exception in a handler ending the program or going
// unreported.
TEST(MainWindow, ErrorInAHandlerIsShownAndTheProgramGoesOn)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;
    TfrmMain frm;
    boxes.Clear();  // the start-up load reports the missing database
    auto* panel = new TPanel(&frm);
    panel->setGeometry(50, 50, 40, 40);
    int clicks = 0;
    QObject::connect(panel, &TPanel::Clicked, &frm, [&] {
        ++clicks;
        if (clicks == 1)
            throw TAppError(QStringLiteral("数据库错误"));
    });
    ShowAndActivate(frm);
    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(20, 20));
    ASSERT_EQ(boxes.Calls().size(), 1u);
    EXPECT_EQ(boxes.Calls()[0].Text, QStringLiteral("数据库错误"));
    EXPECT_EQ(boxes.Calls()[0].Caption, QStringLiteral("青简堂诗词猜诗"));
    EXPECT_EQ(boxes.Calls()[0].Icon, TMsgIcon::Error);

    QTest::mouseClick(panel, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(clicks, 2);
    EXPECT_EQ(boxes.Calls().size(), 1u);

    // The click rule caught it where Qt called in; notify() is only the last
    // resort, for a handler that lets an error through.
    auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_EQ(app->EscapedErrors(), 0);
    struct TThrowing : QObject {
        bool event(QEvent*) override { throw TAppError(QStringLiteral("未处理的错误")); }
    } throwing;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&throwing, &event);
    EXPECT_EQ(app->EscapedErrors(), 1);
    ASSERT_EQ(boxes.Calls().size(), 2u);
    EXPECT_EQ(boxes.Calls()[1].Text, QStringLiteral("未处理的错误"));
    EXPECT_EQ(boxes.Calls()[1].Caption, QStringLiteral("青简堂诗词猜诗"));
}

// Guards against a close that leaves the window alive or its data behind.
TEST(MainWindow, ClosingFreesTheWindow)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    QPointer<TfrmMain> frm = new TfrmMain;
    frm->FPoems.push_back(TPoemRecord{G("静夜思"), {}, {}, {}, {G("床前明月光")}});
    frm->FPoemCount = 1;
    ShowAndActivate(*frm);
    EXPECT_TRUE(frm->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
}

// Guards against a close during a load pulling the window from under it.
TEST(MainWindow, CloseDuringALoadIsDeferred)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    QPointer<TfrmMain> frm = new TfrmMain;
    ShowAndActivate(*frm);
    frm->FLoading = true;
    EXPECT_FALSE(frm->close());
    EXPECT_TRUE(frm->FCloseRequested);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(frm.isNull());
    frm->FLoading = false;
    EXPECT_TRUE(frm->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
}

// Guards against the window drawn scaled on a small screen (below Qt's own scales) losing its shortcuts, its
// clicks or its deferred close, or staying behind when the window goes.
TEST(MainWindow, ScaledOnASmallScreenItPlaysAndClosesAsUnscaled)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    QPointer<TfrmMain> frm = new TfrmMain;
    QPointer<TScaledHost> host = new TScaledHost(frm, 0.8);
    ShowAndActivate(*host);
    EXPECT_EQ(host->size(), QSize(640, 572));
    EXPECT_EQ(host->windowTitle(), QStringLiteral("青简堂诗词猜诗"));
    frm->edtAnswer->setFocus();
    QTest::keyClick(host, Qt::Key_T);
    EXPECT_TRUE(frm->FPoemVisible);
    EXPECT_EQ(frm->edtAnswer->text(), QStringLiteral("t"));
    QTest::mouseClick(host->viewport(), Qt::LeftButton, {}, QPoint(447, 32));  // the poem tab (547, 12, 24 x 56)
    EXPECT_FALSE(frm->FPoemVisible);

    frm->FLoading = true;
    EXPECT_FALSE(host->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(frm.isNull() || host.isNull());
    frm->FLoading = false;
    EXPECT_TRUE(host->close());
    for (int i = 0; i < 3; ++i)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(frm.isNull());
    EXPECT_TRUE(host.isNull());
}

// Guards against a window centred by its client area alone: the frame
// around it counts, on the screen's available area.
// Guards against a window whose title bar or command buttons leave a small or scaled screen: measured on laptops
// (Windows' task bar of 48 logical pixels, its frame at the system's scale) and a 1024 x 600 netbook under Xvfb
// (no window manager, no frame). Where the window fits at the system's scale nothing changes.
TEST(MainWindow, FitsTheWorkAreaOfEveryScreen)
{
    const QSize client(TfrmMain::kClientWidth, TfrmMain::kClientHeight);
    const struct {
        const char* name;
        QRect area;
        QMargins frame;
        double system;
        double scale;
        QPoint at;
    } cases[] = {
        {"1920x1080 at 150 %", {0, 0, 1920, 1008}, {11, 45, 11, 11}, 1.5, 1.33, {417, 0}},
        {"1366x768 at 125 %", {0, 0, 1366, 708}, {9, 38, 9, 9}, 1.25, 0.92, {306, 1}},
        {"1366x768 at 100 %", {0, 0, 1366, 720}, {7, 30, 7, 7}, 1.0, 0.95, {296, 1}},
        {"1280x720 at 100 %", {0, 0, 1280, 672}, {7, 30, 7, 7}, 1.0, 0.88, {281, 2}},
        {"1024x600, no frame", {0, 0, 1024, 600}, {}, 1.0, 0.83, {180, 3}},
        {"1920x1080 at 100 %: fits", {0, 0, 1920, 1032}, {7, 30, 7, 7}, 1.0, 1.0, {553, 140}},
        {"exactly as high as the window", {0, 0, 814, 752}, {7, 30, 7, 7}, 1.0, 1.0, {0, 0}},
        {"a second screen, task bar on top, too small for any scale",
         {1920, 30, 320, 240},
         {7, 30, 7, 7},
         1.0,
         0.5,
         {1920, 30}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TWindowFit fit = FitWindow(c.area, c.frame, c.system, client);
        EXPECT_NEAR(fit.Scale, c.scale, 1e-9);
        EXPECT_EQ(fit.Position, c.at);
    }
}

TEST(MainWindow, CentredWithItsFrameOnTheAvailableArea)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;  // the start-up load reports the missing database
    TfrmMain frm;
    CentreOnScreen(&frm);
    frm.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&frm));
    const QRect area = frm.screen()->availableGeometry();
    const QRect outer = frm.frameGeometry();
    EXPECT_NE(outer.size(), frm.size()) << "the platform gives the window no frame to count";
    // The offscreen screen (800 x 800) is narrower than the framed window,
    // so the platform keeps it at the left edge; height shows the centring.
    EXPECT_LE(std::abs(outer.center().y() - area.center().y()), 1);
}

}  // namespace
