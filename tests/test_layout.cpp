// The main window's run-time controls: real widgets, offscreen, checked by
// geometry, fonts, colours, bindings and clicks (the painting behind them in
// test_painting.cpp).
#include "layout_fixtures.h"

#include "app/uMain.h"
#include "support/test_support.h"

#include <QFontInfo>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

namespace {

// Every control of `f`, its parent and its bounds; a failure names the expected bounds.
std::vector<std::tuple<QWidget*, QWidget*, QRect>> ControlBounds(TfrmMain& f)
{
    QWidget* const win = &f;
    return {
        {f.pnlTitle, win, {20, 10, 510, 85}},
        {f.lblTitle, f.pnlTitle, {0, 8, 510, 45}},
        {f.lblSubtitle, f.pnlTitle, {0, 55, 510, 22}},
        {f.pnlInfo, win, {20, 102, 510, 64}},
        {f.lblMode, f.pnlInfo, {15, 4, 230, 36}},
        {f.lblScore, f.pnlInfo, {360, 4, 135, 36}},
        {f.lblStatus, f.pnlInfo, {15, 40, 480, 18}},
        {f.pnlVerses, win, {20, 165, 510, 190}},
        {f.pbLine[0], f.pnlVerses, {0, 0, 510, 46}},
        {f.pbLine[1], f.pnlVerses, {0, 50, 510, 46}},
        {f.pbLine[2], f.pnlVerses, {0, 100, 510, 46}},
        {f.pbLine[3], f.pnlVerses, {0, 150, 510, 46}},
        {f.lblPuzzleNo, win, {20, 360, 510, 24}},
        {f.pnlHistory, win, {20, 390, 510, 152}},
        {f.lblHistoryCaption, f.pnlHistory, {0, 4, 510, 20}},
        {f.memHistory, f.pnlHistory, {10, 28, 490, 114}},
        {f.pnlInput, win, {20, 550, 510, 56}},
        {f.lblPrompt, f.pnlInput, {0, 0, 510, 18}},
        {f.edtAnswer, f.pnlInput, {10, 22, 320, 30}},
        {f.pnlSubmit, f.pnlInput, {340, 20, 50, 32}},
        {f.lblSubmit, f.pnlSubmit, {0, 0, 50, 32}},
        {f.pnlHint, f.pnlInput, {398, 20, 50, 32}},
        {f.lblHint, f.pnlHint, {0, 0, 50, 32}},
        {f.pnlGiveUp, f.pnlInput, {456, 20, 50, 32}},
        {f.lblGiveUp, f.pnlGiveUp, {0, 0, 50, 32}},
        {f.pnlCommands, win, {20, 616, 510, 52}},
        {f.pnlRestart, f.pnlCommands, {78, 8, 110, 36}},
        {f.lblRestart, f.pnlRestart, {0, 0, 110, 36}},
        {f.pnlSwitchRange, f.pnlCommands, {200, 8, 110, 36}},
        {f.lblSwitchRange, f.pnlSwitchRange, {0, 0, 110, 36}},
        {f.pnlPoemDivider, win, {545, 10, 2, 660}},
        {f.pnlPoem, win, {558, 10, 232, 660}},
        {f.lblPoemTitle, f.pnlPoem, {0, 20, 232, 60}},
        {f.lblPoemAuthor, f.pnlPoem, {0, 60, 232, 22}},
        {f.lblPoemRule, f.pnlPoem, {20, 92, 192, 2}},
        {f.sbPoem, f.pnlPoem, {4, 110, 224, 540}},
        {f.lblPoemText, f.sbPoem->Content(), {8, 0, 208, 17}},
        {f.pnlPoemToggle, win, {547, 12, 24, 56}},
        {f.lblPoemToggle, f.pnlPoemToggle, {0, 0, 24, 56}},
    };
}

// Guards against a control misplaced, on the wrong parent, or built in an
// order that stacks a sibling under the one it should cover; and against the
// fourth verse box not being cut off at the panel's bottom.
TEST(Layout, EveryControlHasItsParentAndBounds)
{
    TWindow w;
    TfrmMain& f = *w.Frm;
    for (const auto& [control, parent, bounds] : ControlBounds(f)) {
        SCOPED_TRACE(testing::Message() << "bounds " << bounds.x() << "," << bounds.y() << " " << bounds.width() << "x"
                                        << bounds.height());
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->parentWidget(), parent);
        EXPECT_EQ(control->geometry(), bounds);
    }

    // Where areas overlap, the later one lies on top: the verse panel covers
    // the info panel's bottom row (and the tab the poem panel, see the pixels
    // of the shown panel).
    QWidget* atInfoBottom = f.childAt(200, 165);
    EXPECT_TRUE(atInfoBottom == f.pnlVerses || f.pnlVerses->isAncestorOf(atInfoBottom));

    // Only the upper 40 rows of the fourth verse box show.
    w.Show();
    EXPECT_EQ(f.pbLine[2]->visibleRegion().boundingRect(), QRect(0, 0, 510, 46));
    EXPECT_EQ(f.pbLine[3]->visibleRegion().boundingRect(), QRect(0, 0, 510, 40));
}

struct TLabelLook {
    const char* name;
    TLabel* label;
    const char* text;
    int pixels;
    bool bold;
    QRgb color;
    Qt::Alignment alignment;
    bool wordWrap;
};

// The look of every label of `f` at start.
std::vector<TLabelLook> LabelLooks(TfrmMain& f)
{
    constexpr Qt::Alignment left = Qt::AlignLeft | Qt::AlignTop, centre = Qt::AlignHCenter | Qt::AlignTop,
                            right = Qt::AlignRight | Qt::AlignTop, button = Qt::AlignCenter;
    return {
        {"lblTitle", f.lblTitle, "青简堂诗词猜诗", 37, true, 0x8B1818, centre, false},
        {"lblSubtitle", f.lblSubtitle, "ǎ古典诗词·猜诗游戏à", 16, false, 0x662233, centre, false},
        {"lblMode", f.lblMode, "模式：单人练习", 16, true, 0x3C1E00, left, true},
        {"lblScore", f.lblScore, "得分: 0", 16, true, 0x3C1E00, right, true},
        {"lblStatus", f.lblStatus, "", 15, true, 0x3C1E00, centre, false},
        {"lblPuzzleNo", f.lblPuzzleNo, "", 16, false, 0x662233, centre, false},
        {"lblHistoryCaption", f.lblHistoryCaption, "猜诗历史记录", 16, true, 0x8B1818, centre, false},
        {"lblPrompt", f.lblPrompt, "请输入诗词名：", 15, false, 0x662233, centre, false},
        {"lblSubmit", f.lblSubmit, "提交", 15, true, 0x3C1E00, button, false},
        {"lblHint", f.lblHint, "提示", 15, true, 0x3C1E00, button, false},
        {"lblGiveUp", f.lblGiveUp, "放弃", 15, true, 0x3C1E00, button, false},
        {"lblRestart", f.lblRestart, "重新开始", 13, true, 0x3C1E00, button, false},
        {"lblSwitchRange", f.lblSwitchRange, "切换范围", 13, true, 0x3C1E00, button, false},
        {"lblPoemTitle", f.lblPoemTitle, "", 24, true, 0x8B1818, centre, true},
        {"lblPoemAuthor", f.lblPoemAuthor, "", 16, false, 0x662233, centre, false},
        {"lblPoemText", f.lblPoemText, "", 21, false, 0x3C1E00, left, true},
        {"lblPoemToggle", f.lblPoemToggle, "诗", 13, true, 0x8B1818, button, false},
    };
}

// Guards against a wrong face, size, weight, colour, alignment, wrapping,
// transparency or initial text on any label, edit or memo; against verse
// boxes without tag or hand pointer, buttons without the hand; and against
// controls disabled or the side panel shown at start.
TEST(Layout, ControlsHaveTheirLookAndInitialState)
{
    TWindow w;
    TfrmMain& f = *w.Frm;
    for (const TLabelLook& c : LabelLooks(f)) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.label->text(), QString::fromUtf8(c.text));
        const QFontInfo info(c.label->font());
        EXPECT_EQ(info.pixelSize(), c.pixels);
        EXPECT_EQ(info.bold(), c.bold);
        EXPECT_TRUE(info.family().contains(QStringLiteral("Kai"), Qt::CaseInsensitive)) << info.family().toStdString();
        EXPECT_EQ(c.label->palette().color(QPalette::WindowText).rgb() & 0xFFFFFF, c.color);
        EXPECT_EQ(c.label->alignment(), c.alignment);
        EXPECT_EQ(c.label->wordWrap(), c.wordWrap);
        EXPECT_FALSE(c.label->autoFillBackground());  // transparent
    }
    EXPECT_EQ(f.lblTitle->textFormat(), Qt::PlainText);  // an ampersand shows as itself
    // The rule is the one opaque label.
    EXPECT_TRUE(f.lblPoemRule->autoFillBackground());
    EXPECT_EQ(f.lblPoemRule->palette().color(QPalette::Window).rgb() & 0xFFFFFF, kOrnament);

    const QFontInfo edit(f.edtAnswer->font()), memo(f.memHistory->font());
    EXPECT_TRUE(edit.pixelSize() == 21 && !edit.bold());
    EXPECT_TRUE(edit.family().contains(QStringLiteral("Kai"), Qt::CaseInsensitive));
    EXPECT_TRUE(f.edtAnswer->text().isEmpty());
    EXPECT_TRUE(memo.pixelSize() == 16 && !memo.bold());
    EXPECT_TRUE(f.memHistory->isReadOnly());
    EXPECT_TRUE(f.memHistory->Lines().isEmpty());
    EXPECT_EQ(f.memHistory->palette().color(QPalette::Text).rgb() & 0xFFFFFF, 0x3C1E00u);
    EXPECT_EQ(f.sbPoem->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    for (QWidget* enabled : std::initializer_list<QWidget*>{f.edtAnswer, f.pnlSubmit, f.pnlHint, f.pnlGiveUp})
        EXPECT_TRUE(enabled->isEnabled());

    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(f.pbLine[static_cast<std::size_t>(i)]->Tag(), i);
        EXPECT_EQ(f.pbLine[static_cast<std::size_t>(i)]->cursor().shape(), Qt::PointingHandCursor) << i;
    }
    for (TPanel* p : {f.pnlSubmit, f.pnlHint, f.pnlGiveUp, f.pnlRestart, f.pnlSwitchRange, f.pnlPoemToggle})
        EXPECT_EQ(p->cursor().shape(), Qt::PointingHandCursor);
    for (TPanel* p : {f.pnlTitle, f.pnlInfo, f.pnlVerses, f.pnlHistory, f.pnlInput, f.pnlCommands})
        EXPECT_EQ(p->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(f.FPoemVisible);
    EXPECT_TRUE(f.pnlPoem->isHidden() && f.pnlPoemDivider->isHidden());
    EXPECT_FALSE(f.pnlPoemToggle->isHidden());
}

// Guards against a control bound to the wrong handler, or not bound.
TEST(Layout, EventsAreBoundToTheirHandlers)
{
    TWindow w;
    TfrmMain& f = *w.Frm;
    // Disconnecting a specific connection succeeds only where it was made.
    for (TPaintBox* box : f.pbLine) {
        SCOPED_TRACE(box->Tag());
        EXPECT_TRUE(QObject::disconnect(box, &TPaintBox::Paint, &f, &TfrmMain::LinePaint));
        EXPECT_TRUE(QObject::disconnect(box, &TPaintBox::Clicked, &f, &TfrmMain::LineClick));
        EXPECT_TRUE(QObject::disconnect(box, &TPaintBox::MouseMoved, &f, &TfrmMain::LineMouseMove));
    }
    EXPECT_TRUE(QObject::disconnect(f.edtAnswer, &TEdit::KeyDown, &f, &TfrmMain::AnswerKeyDown));

    // A button runs its handler inside the error guard, so the handler shows
    // by what it does: from the panel's bevel and from the label, on a fresh
    // puzzle (the tab, restart and switch: ButtonsTabHintAndFocusOrder).
    f.FPoems.push_back(TPoemRecord{
        G("静夜思"), G("李白"), G("唐"), {}, {G("床前明月光"), G("疑是地上霜"), G("举头望明月"), G("低头思故乡")}});
    f.FPoemCount = 1;
    const std::tuple<TPanel*, TLabel*, std::function<bool()>> buttons[] = {
        {f.pnlSubmit, f.lblSubmit, [&f] { return f.lblStatus->text() == QStringLiteral("请输入诗词名！"); }},
        {f.pnlHint, f.lblHint, [&f] { return f.FHintCount == 1; }},
        {f.pnlGiveUp, f.lblGiveUp, [&f] { return f.FPuzzleOver && !f.FPuzzleActive; }},
    };
    for (const auto& [panel, label, ran] : buttons) {
        for (QWidget* target : std::initializer_list<QWidget*>{panel, label}) {
            SCOPED_TRACE(label->text().toStdString() + (target == panel ? " panel" : " label"));
            f.NewPuzzle();
            QTest::mouseClick(target, Qt::LeftButton, {}, QPoint(1, 1));
            EXPECT_TRUE(ran());
        }
    }
}

// A click on the poem tab of `f` disabled: neither its label nor its panel passes it.
void ExpectTheDisabledTabPassesNoClick(TfrmMain& f, QWindow* window)
{
    f.pnlPoemToggle->setEnabled(false);
    const bool before = f.FPoemVisible;
    for (QPoint at : {QPoint(559, 40), QPoint(547, 12)}) {
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        EXPECT_EQ(f.FPoemVisible, before) << at.y();
    }
    f.pnlPoemToggle->setEnabled(true);
}

// Restart hides the shown panel, and switch range opens the source dialog
// exactly once per click, from the label and from the panel.
void ExpectRestartAndSwitchRunOncePerClick(TfrmMain& f)
{
    for (QWidget* target : std::initializer_list<QWidget*>{f.lblRestart, f.pnlRestart}) {
        f.SetPoemPanelVisible(true);
        QTest::mouseClick(target, Qt::LeftButton, {}, {2, 2});
        EXPECT_FALSE(f.FPoemVisible);
    }
    for (QWidget* target : std::initializer_list<QWidget*>{f.lblSwitchRange, f.pnlSwitchRange}) {
        const int shown = RangeDialogsShown();
        QTest::mouseClick(target, Qt::LeftButton, {}, {2, 2});
        EXPECT_EQ(RangeDialogsShown(), shown + 1);
    }
}

// Guards against a button whose label and panel both run the handler for one
// click, a bevel that does not react, or a disabled button that does; against
// the tab's hint missing over its label or border; and against the history
// memo coming after the answer box in the tab order, or another Tab stop.
TEST(Layout, ButtonsTabHintAndFocusOrder)
{
    TWindow w;
    TfrmMain& f = w.Show();
    QList<QWidget*> stops;
    for (QWidget* c = f.nextInFocusChain(); c != &f; c = c->nextInFocusChain())
        if (c->focusPolicy() & Qt::TabFocus)
            stops << c;
    EXPECT_EQ(stops, (QList<QWidget*>{f.memHistory, f.edtAnswer}));
    f.memHistory->setFocus();
    QCoreApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), f.memHistory);
    QTest::keyClick(f.memHistory, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.edtAnswer);

    for (QWidget* target : std::initializer_list<QWidget*>{f.lblPoemToggle, f.pnlPoemToggle}) {
        SCOPED_TRACE(target == f.pnlPoemToggle ? "panel" : "label");
        QToolTip::hideText();
        QHelpEvent event(QEvent::ToolTip, QPoint(1, 1), target->mapToGlobal(QPoint(1, 1)));
        QApplication::sendEvent(target, &event);
        EXPECT_TRUE(QToolTip::isVisible());
        EXPECT_EQ(QToolTip::text(), QStringLiteral("显示/隐藏诗词 (F3)"));
    }
    QToolTip::hideText();
    QWindow* window = f.windowHandle();
    ASSERT_NE(window, nullptr);

    // The tab toggles the panel, so a click that ran twice shows no change:
    // on the label in its centre, and on the panel's bevel corner.
    for (QPoint at : {QPoint(559, 40), QPoint(547, 12)}) {
        SCOPED_TRACE(at.y());
        const bool before = f.FPoemVisible;
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
        EXPECT_EQ(f.pnlPoem->isVisible(), !before);
        EXPECT_EQ(f.pnlPoemDivider->isVisible(), !before);
        EXPECT_EQ(f.lblPoemToggle->text(), before ? QStringLiteral("诗") : QStringLiteral("隐"));
    }

    ExpectTheDisabledTabPassesNoClick(f, window);
    ExpectRestartAndSwitchRunOncePerClick(f);
}

}  // namespace
