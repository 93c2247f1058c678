// The accessible interfaces of the game's own controls and the factory that
// hands them to Qt. Qt's interfaces would show a button panel as an unnamed
// container holding a label, and a verse line as an empty box.
#include "app/accessibility_window.h"

#include "app/accessible_line_window.h"
#include "app/uMain.h"

#include <QAccessibleWidget>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace {

// The role of the status line. Each platform's screen readers speak a
// different kind of object whatever has the focus: Orca a notification as it
// appears; Narrator and NVDA a UI Automation notification, which Qt raises
// for a changed text value of any object, and NVDA+End reads the status bar.
#ifdef Q_OS_WIN
constexpr QAccessible::Role kStatusRole = QAccessible::StatusBar;
#else
constexpr QAccessible::Role kStatusRole = QAccessible::Notification;
#endif

// A panel. A button's panel is one push button named by its caption, its
// label no object of its own; its press does what a click does, and nothing
// while it is disabled. A plain panel stays a plain container.
class TPanelAccessible : public QAccessibleWidget {
public:
    explicit TPanelAccessible(TPanel* panel) : QAccessibleWidget(panel) { }

    QAccessible::Role role() const override { return IsButton() ? QAccessible::Button : QAccessibleWidget::role(); }
    QString text(QAccessible::Text type) const override
    {
        if (IsButton() && type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Panel()->CaptionLabel()->text();
        return QAccessibleWidget::text(type);
    }
    int childCount() const override { return IsButton() ? 0 : QAccessibleWidget::childCount(); }
    QAccessibleInterface* child(int index) const override
    {
        return IsButton() ? nullptr : QAccessibleWidget::child(index);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        return IsButton() ? -1 : QAccessibleWidget::indexOfChild(child);
    }
    QStringList actionNames() const override
    {
        return IsButton() ? QStringList{pressAction()} : QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override;
    QStringList keyBindingsForAction(const QString& name) const override
    {
        return IsButton() ? QStringList() : QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    TPanel* Panel() const { return static_cast<TPanel*>(widget()); }
    bool IsButton() const { return Panel()->CaptionLabel() != nullptr; }
};

void TPanelAccessible::doAction(const QString& name)
{
    if (!IsButton()) {
        QAccessibleWidget::doAction(name);
        return;
    }
    if (name != pressAction() || !Panel()->isEnabled())
        return;
    // Delivered from the event loop, as a click is: the screen reader's call
    // returns at once, even when the handler opens a dialog.
    TPanel* panel = Panel();
    QTimer::singleShot(0, panel, [panel] {
        if (panel->isEnabled())
            Q_EMIT panel->Clicked();
    });
}

// A label: static text naming itself by what it shows; the window's status
// line takes kStatusRole. A label given a buddy names that control.
class TLabelAccessible : public QAccessibleWidget {
public:
    explicit TLabelAccessible(TLabel* label) : QAccessibleWidget(label) { }

    QAccessible::Role role() const override
    {
        const auto* frm = qobject_cast<const TfrmMain*>(widget()->window());
        return frm && frm->lblStatus == widget() ? kStatusRole : QAccessible::StaticText;
    }
    QString text(QAccessible::Text type) const override
    {
        if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
            return Label()->text();
        return QAccessibleWidget::text(type);
    }
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>> relations(QAccessible::Relation match) const override
    {
        auto related = QAccessibleWidget::relations(match);
        if ((match & QAccessible::Labelled) && Label()->buddy())
            related.append({QAccessible::queryAccessibleInterface(Label()->buddy()), QAccessible::Labelled});
        return related;
    }

private:
    TLabel* Label() const { return static_cast<TLabel*>(widget()); }
};

// The line a character was just uncovered on ("第 1 行：□□明□□"), spoken
// with the status message that follows the reveal: screen readers speak no
// change of an object other than the focus, the status line they do.
QString& UncoveredLine()
{
    static QString line;
    return line;
}

QAccessibleInterface* ControlInterface(const QString& className, QObject* object)
{
    if (className == QLatin1String("TPanel"))
        return new TPanelAccessible(static_cast<TPanel*>(object));
    if (className == QLatin1String("TLabel"))
        return new TLabelAccessible(static_cast<TLabel*>(object));
    if (className == QLatin1String("TPaintBox"))
        return new TLineAccessible(static_cast<TPaintBox*>(object));
    return nullptr;
}

}  // namespace

void InstallAccessibility()
{
    static bool installed = false;
    if (!installed)
        QAccessible::installFactory(&ControlInterface);
    installed = true;
}

void NotifyAccessibleNameChanged(QObject* object)
{
    QAccessibleEvent event(object, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

void NotifyLineChanged(TPaintBox* box)
{
    // With no screen reader listening there is nobody to tell, and no
    // interface needs to be made.
    if (!box || !QAccessible::isActive())
        return;
    auto* line = dynamic_cast<TLineAccessible*>(QAccessible::queryAccessibleInterface(box));
    if (line && line->Announce())
        UncoveredLine() = line->text(QAccessible::Name) + QStringLiteral("：") + line->text(QAccessible::Value);
}

void ShowStatusText(TLabel* label, const QString& text)
{
    // The label tells of a new name itself; a repeated one it would pass over.
    if (label->text() != text)
        label->setText(text);
    else
        NotifyAccessibleNameChanged(label);
    // The description, spoken after the message, tells of the line uncovered
    // just before it; other messages have none.
    const QString detail = std::exchange(UncoveredLine(), QString());
    if (label->accessibleDescription() != detail)
        label->setAccessibleDescription(detail);
    if (!label->isVisible())
        return;
#ifdef Q_OS_WIN
    QAccessibleValueChangeEvent announce(label, detail.isEmpty() ? text : text + QLatin1Char(' ') + detail);
#else
    QAccessibleEvent announce(label, QAccessible::ObjectShow);  // shown again, to be spoken again
#endif
    QAccessible::updateAccessibility(&announce);
}
