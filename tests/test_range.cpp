// The source dialog: its looks, its keys, its result, and the switch-range
// command built on it; the real dialog, answered by the test support.
#include "app/uMain.h"
#include "support/test_support.h"

#include <QDialog>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

struct TDialogSnapshot {
    QString title;
    QSize clientSize;
    bool resizable = true;
    bool hasMinMax = true;
    QRect groupBounds;
    QString groupCaption;
    QStringList items;
    QRect okBounds, cancelBounds;
    QString okText, cancelText;
    bool okDefault = false;
};

TRangeDialogAnswer Inspect(TDialogSnapshot& snapshot, TRangeDialogAnswer then)
{
    return [&snapshot, then](QDialog* dialog) {
        snapshot.title = dialog->windowTitle();
        snapshot.clientSize = dialog->size();
        snapshot.resizable = dialog->minimumSize() != dialog->maximumSize();
        snapshot.hasMinMax = dialog->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint);
        if (auto* group = dialog->findChild<QGroupBox*>()) {
            snapshot.groupBounds = group->geometry();
            snapshot.groupCaption = group->title();
        }
        for (QRadioButton* item : dialog->findChildren<QRadioButton*>())
            snapshot.items << item->text();
        auto* ok = dialog->findChild<QPushButton*>(QStringLiteral("btnOK"));
        auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"));
        if (ok && cancel) {
            snapshot.okBounds = ok->geometry();
            snapshot.cancelBounds = cancel->geometry();
            snapshot.okText = ok->text();
            snapshot.cancelText = cancel->text();
            snapshot.okDefault = ok->isDefault();
        }
        then(dialog);
    };
}

TRangeDialogAnswer PressKey(Qt::Key key, int select = -1)
{
    return [key, select](QDialog* dialog) {
        if (select >= 0)
            dialog->findChildren<QRadioButton*>()[select]->setChecked(true);
        QTest::keyClick(dialog, key);
    };
}

// Enter with the focus on 取消, as after tabbing to it.
TRangeDialogAnswer EnterOnCancel(int select)
{
    return [select](QDialog* dialog) {
        dialog->findChildren<QRadioButton*>()[select]->setChecked(true);
        auto* cancel = dialog->findChild<QPushButton*>(QStringLiteral("btnCancel"));
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Return);
    };
}

TRangeDialogAnswer CloseFromTitleBar(int select)
{
    return [select](QDialog* dialog) {
        dialog->findChildren<QRadioButton*>()[select]->setChecked(true);
        dialog->close();
    };
}

int OpenDialogs()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<QDialog*>(widget) != nullptr;
    return count;
}

// Guards against a dialog with the wrong texts, order, geometry or roles.
TEST(RangeDialog, LooksAsDesignedAndPresetsTheFirstSource)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;
    TDialogSnapshot snapshot;
    const int shownBefore = RangeDialogsShown();
    QueueRangeDialogAnswer(Inspect(snapshot, ChooseSource(-1)));
    TfrmMain frm;
    ASSERT_EQ(RangeDialogsShown(), shownBefore + 1);
    EXPECT_EQ(RangeDialogPresets().back(), 0);
    EXPECT_EQ(snapshot.title, QStringLiteral("选择诗词范围"));
    EXPECT_EQ(snapshot.clientSize, QSize(320, 240));
    EXPECT_FALSE(snapshot.resizable);
    EXPECT_FALSE(snapshot.hasMinMax);
    EXPECT_EQ(snapshot.groupBounds, QRect(20, 20, 280, 150));
    EXPECT_EQ(snapshot.groupCaption, QStringLiteral("请选择诗词来源："));
    EXPECT_EQ(snapshot.items,
              (QStringList{QStringLiteral("唐诗三百首"), QStringLiteral("小学诗词"), QStringLiteral("初中诗词"),
                           QStringLiteral("高中诗词"), QStringLiteral("其他诗词")}));
    EXPECT_EQ(snapshot.okBounds, QRect(80, 185, 80, 30));
    EXPECT_EQ(snapshot.cancelBounds, QRect(170, 185, 80, 30));
    EXPECT_EQ(snapshot.okText, QStringLiteral("确定"));
    EXPECT_EQ(snapshot.cancelText, QStringLiteral("取消"));
    EXPECT_TRUE(snapshot.okDefault);
    EXPECT_EQ(frm.FRangeIndex, 0);
    EXPECT_TRUE(frm.FStartPending);
    EXPECT_EQ(OpenDialogs(), 0);  // destroyed before returning
}

// Guards against Enter not confirming, or Esc, the close button or Enter on
// the focused 取消 confirming.
TEST(RangeDialog, EnterConfirmsEscAndCloseCancel)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;
    TfrmMain frm;
    struct Case {
        const char* name;
        TRangeDialogAnswer answer;
        bool result;
        int rangeAfter;
    };
    const Case cases[] = {
        {"Enter on source 2", PressKey(Qt::Key_Return, 2), true, 2},
        {"Esc on source 3", PressKey(Qt::Key_Escape, 3), false, 2},
        {"close on source 1", CloseFromTitleBar(1), false, 2},
        {"Enter on the focused 取消", EnterOnCancel(0), false, 2},
        {"Cancel button", CancelDialog(), false, 2},
        {"OK on source 4", ChooseSource(4), true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int preset = frm.FRangeIndex;
        QueueRangeDialogAnswer(c.answer);
        EXPECT_EQ(frm.ChooseRange(), c.result);
        EXPECT_EQ(RangeDialogPresets().back(), preset);
        EXPECT_EQ(frm.FRangeIndex, c.rangeAfter);
        EXPECT_EQ(OpenDialogs(), 0);
    }
}

// Guards against a cancelled start that still builds or starts a puzzle.
TEST(RangeDialog, CancelAtStartUpEndsWithoutAPuzzle)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;
    QueueRangeDialogAnswer(CancelDialog());
    TfrmMain frm;
    EXPECT_FALSE(frm.FStartPending);
    EXPECT_EQ(frm.pnlTitle, nullptr);
    EXPECT_EQ(frm.pbLine[0], nullptr);
    EXPECT_TRUE(boxes.Calls().empty());
    auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance());
    ASSERT_NE(app, nullptr);
    EXPECT_TRUE(app->Terminated());
    frm.show();  // even if shown later, no puzzle starts
    EXPECT_FALSE(frm.FPuzzleActive);
}

// Guards against a switch that changes anything on Cancel, or that opens a
// second load while one runs.
TEST(RangeDialog, SwitchRangeDoesNothingOnCancelOrDuringALoad)
{
    TScopedProgramDir dir;
    TMessageBoxRecorder boxes;
    TfrmMain frm;
    frm.FPoems.push_back(TPoemRecord{G("静夜思"), G("李白"), G("唐"), G("床前明月光"), {G("床前明月光")}});
    frm.FPoemCount = 1;
    frm.FScore = 1;

    QueueRangeDialogAnswer(CancelDialog());
    const int shown = RangeDialogsShown();
    frm.SwitchRange();
    EXPECT_EQ(RangeDialogsShown(), shown + 1);
    EXPECT_EQ(frm.FRangeIndex, 0);
    EXPECT_EQ(frm.FPoemCount, 1);
    EXPECT_EQ(frm.FScore, 1);

    frm.FLoading = true;
    frm.SwitchRange();
    EXPECT_EQ(RangeDialogsShown(), shown + 1);  // no dialog at all
    frm.FLoading = false;
}

}  // namespace
