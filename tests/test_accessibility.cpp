// The window as a screen reader sees it, through Qt's accessibility
// interface: roles, names, texts and actions of the controls, and the
// events a reveal and a repeated message send.
#include "app/uMain.h"
#include "support/test_support.h"

#include <QAccessible>
#include <QTest>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

namespace {

// How the status line is spoken: as a notification that appears (AT-SPI), or
// through a UI Automation notification raised for a changed value.
#ifdef Q_OS_WIN
constexpr QAccessible::Role kStatusRole = QAccessible::StatusBar;
constexpr QAccessible::Event kSpoken = QAccessible::ValueChanged;
#else
constexpr QAccessible::Role kStatusRole = QAccessible::Notification;
constexpr QAccessible::Event kSpoken = QAccessible::ObjectShow;
#endif

QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

struct TEventRecord {
    QAccessible::Event Type;
    QObject* Object;
    QString Name;  // of the interface the event is about
    QString Removed;  // text events only
    QString Inserted;
    int Position = -1;
};

std::vector<TEventRecord>& Events()
{
    static std::vector<TEventRecord> events;
    return events;
}

void RecordEvent(QAccessibleEvent* event)
{
    QAccessibleInterface* iface = event->accessibleInterface();
    TEventRecord record{event->type(), event->object(), iface ? iface->text(QAccessible::Name) : QString(), {}, {}, -1};
    if (event->type() == QAccessible::TextUpdated) {
        const auto* update = static_cast<QAccessibleTextUpdateEvent*>(event);
        record.Removed = update->textRemoved();
        record.Inserted = update->textInserted();
        record.Position = update->changePosition();
    }
    Events().push_back(record);
}

// Accessibility switched on as a screen reader switches it on (the offscreen
// platform never does), events recorded; both undone afterwards.
struct TScreenReader {
    TScreenReader()
    {
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(true);
        QAccessible::installUpdateHandler(&RecordEvent);
        Events().clear();
    }
    ~TScreenReader()
    {
        QAccessible::installUpdateHandler(nullptr);
        QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(false);
    }
    TScreenReader(const TScreenReader&) = delete;
    TScreenReader& operator=(const TScreenReader&) = delete;
};

// The window with 静夜思 alone; the second character draw uncovers 疑 (line 2).
struct TGame {
    TScopedProgramDir Dir;
    std::unique_ptr<TfrmMain> Frm;

    TGame()
    {
        {
            TMessageBoxRecorder boxes;  // the empty program directory holds no database
            Frm = std::make_unique<TfrmMain>();
        }
        Frm->setAttribute(Qt::WA_DeleteOnClose, false);
        TPoemRecord poem{
            G("静夜思"), G("李白"), G("唐"), G("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。"), {}};
        SplitVerseLines(poem.Content, poem.Lines);
        Frm->FPoems = {poem};
        Frm->FPoemCount = 1;
        auto draws = std::make_shared<std::vector<int>>(std::vector<int>{5, 0});
        Frm->SetRandomDrawForTesting([draws](int) {
            if (draws->empty())
                return 0;
            const int value = draws->back();
            draws->pop_back();
            return value;
        });
        Frm->FStartPending = true;
        ShowAndActivate(*Frm);
    }
};

QAccessibleInterface* Of(QObject* object)
{
    return QAccessible::queryAccessibleInterface(object);
}

void Press(QAccessibleInterface* iface)
{
    iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QCoreApplication::processEvents();  // the press arrives from the event loop, as a click does
}

struct TReadRow {
    const char* what;
    std::function<QAccessibleInterface*()> iface;
    QAccessible::Role role;
    QString name;
    QString text;  // the text interface's, or the value
    QStringList actions;
};

// What a screen reader finds on each control of `frm` once the third character of the first line (`line1`) is
// uncovered.
std::vector<TReadRow> ReadRows(TfrmMain& frm, QAccessibleInterface* line1)
{
    TfrmMain* const f = &frm;
    const QString press = QAccessibleActionInterface::pressAction();
    return {
        {"submit", [f] { return Of(f->pnlSubmit); }, QAccessible::Button, Q("提交"), {}, {press}},
        {"hint", [f] { return Of(f->pnlHint); }, QAccessible::Button, Q("提示"), {}, {press}},
        {"give up", [f] { return Of(f->pnlGiveUp); }, QAccessible::Button, Q("放弃"), {}, {press}},
        {"restart", [f] { return Of(f->pnlRestart); }, QAccessible::Button, Q("重新开始"), {}, {press}},
        {"switch", [f] { return Of(f->pnlSwitchRange); }, QAccessible::Button, Q("切换范围"), {}, {press}},
        {"poem tab", [f] { return Of(f->pnlPoemToggle); }, QAccessible::Button, Q("诗"), {}, {press}},
        {"line 1", [line1] { return line1; }, QAccessible::StaticText, Q("第 1 行"), Q("□□明□□"), {}},
        {"line 2", [f] { return Of(f->pbLine[1]); }, QAccessible::StaticText, Q("第 2 行"), Q("疑□□□□"), {}},
        {"covered", [line1] { return line1->child(1); }, QAccessible::Button, Q("□"), {}, {press}},
        {"uncovered", [line1] { return line1->child(2); }, QAccessible::Button, Q("明"), {}, {press}},
        {"answer box", [f] { return Of(f->edtAnswer); }, QAccessible::EditableText, Q("请输入诗词名："), {}, {}},
        {"status", [f] { return Of(f->lblStatus); }, kStatusRole, Q("已显示 2/20 个字，请猜诗词名！"), {}, {}},
        {"history", [f] { return Of(f->memHistory); }, QAccessible::EditableText, Q("猜诗历史记录"), {}, {}},
    };
}

// Guards against buttons read as unnamed containers with their label as a
// second object, verse lines that say nothing of what they show, characters
// that cannot be pressed, an unnamed answer box and a status line that is
// not spoken.
TEST(Accessibility, ControlsReadAsTheyShow)
{
    TScreenReader reader;
    TGame game;
    TfrmMain& frm = *game.Frm;
    QAccessibleInterface* line1 = Of(frm.pbLine[0]);
    ASSERT_EQ(line1->childCount(), 5);
    Press(line1->child(2));  // uncovers 明, as a click on its tile does
    for (const TReadRow& row : ReadRows(frm, line1)) {
        SCOPED_TRACE(row.what);
        QAccessibleInterface* iface = row.iface();
        ASSERT_NE(iface, nullptr);
        EXPECT_EQ(iface->role(), row.role);
        EXPECT_EQ(iface->text(QAccessible::Name).toStdString(), row.name.toStdString());
        if (!row.text.isNull()) {
            ASSERT_NE(iface->textInterface(), nullptr);
            EXPECT_EQ(iface->textInterface()->text(0, 99).toStdString(), row.text.toStdString());
        }
        if (!row.actions.isEmpty()) {
            EXPECT_EQ(iface->actionInterface()->actionNames(), row.actions);
        }
        if (row.role == QAccessible::Button) {
            EXPECT_EQ(iface->childCount(), 0);  // a caption label is no object of its own
        }
    }
    // Where a screen reader's pointer lands: on the character, on the button.
    EXPECT_EQ(line1->childAt(line1->child(3)->rect().center().x(), line1->child(3)->rect().center().y()),
              line1->child(3));
    // The poem tab opens the panel, whose labels read the poem.
    Press(Of(frm.pnlPoemToggle));
    EXPECT_EQ(Of(frm.pnlPoemToggle)->text(QAccessible::Name), Q("隐"));
    EXPECT_EQ(Of(frm.lblPoemTitle)->text(QAccessible::Name), Q("《静夜思》"));
    EXPECT_TRUE(Of(frm.lblPoemText)->text(QAccessible::Name).startsWith(Q("床前明月光，")));
}

// Guards against a reveal no screen reader hears of, a repeated message
// spoken once only, and a disabled button that still acts.
TEST(Accessibility, EventsAndGuards)
{
    TScreenReader reader;
    TGame game;
    TfrmMain& frm = *game.Frm;
    QAccessibleInterface* line2 = Of(frm.pbLine[1]);
    Events().clear();
    QTest::mouseClick(frm.pbLine[1], Qt::LeftButton, {},
                      frm.pbLine[1]->mapFromGlobal(line2->child(3)->rect().center()));
    auto count = [](QAccessible::Event type, QObject* object, const QString& name) {
        int n = 0;
        for (const TEventRecord& e : Events())
            n += e.Type == type && (!object || e.Object == object) && e.Name == name;
        return n;
    };
    bool textEvent = false;
    for (const TEventRecord& e : Events())
        textEvent |= e.Type == QAccessible::TextUpdated && e.Object == frm.pbLine[1] && e.Position == 3 &&
                     e.Removed == Q("□") && e.Inserted == Q("上");
    EXPECT_TRUE(textEvent);
    EXPECT_EQ(count(QAccessible::NameChanged, nullptr, Q("上")), 1);  // the character itself
    EXPECT_EQ(count(QAccessible::NameChanged, frm.lblStatus, Q("已显示 2/20 个字，请猜诗词名！")), 1);
    EXPECT_EQ(count(kSpoken, frm.lblStatus, Q("已显示 2/20 个字，请猜诗词名！")), 1);
    // ... with the line uncovered, since no reader speaks the line while the answer box has the focus.
    EXPECT_EQ(Of(frm.lblStatus)->text(QAccessible::Description), Q("第 2 行：疑□□上□"));

    Events().clear();
    for (int i = 0; i < 2; ++i) {
        frm.edtAnswer->setText(Q("静夜"));
        QTest::keyClick(frm.edtAnswer, Qt::Key_Return);
    }
    EXPECT_EQ(count(QAccessible::NameChanged, frm.lblStatus, Q("诗词名不正确，请重试！")), 2);
    EXPECT_EQ(count(kSpoken, frm.lblStatus, Q("诗词名不正确，请重试！")), 2);
    EXPECT_EQ(Of(frm.lblStatus)->text(QAccessible::Description), QString());

    Press(Of(frm.pnlGiveUp));
    ASSERT_TRUE(frm.FPuzzleOver);
    QAccessibleInterface* submit = Of(frm.pnlSubmit);
    EXPECT_TRUE(submit->state().disabled);
    const QString status = frm.lblStatus->text();
    frm.edtAnswer->setText(Q("静夜思"));
    Press(submit);
    Press(Of(frm.pbLine[0])->child(0));
    EXPECT_EQ(frm.FScore, 0);
    EXPECT_EQ(frm.lblStatus->text(), status);
    EXPECT_EQ(frm.FTask.RevealedCount, 2);
}

}  // namespace
