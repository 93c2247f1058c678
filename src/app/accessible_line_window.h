#pragma once
// The accessible interface of a verse line box (accessibility_window.h):
// static text named by its row, its text what the box shows, its children
// the characters, each a button whose press uncovers it as a click would.

#include "app/controls_window.h"

#include <QAccessibleWidget>

#include <vector>

class TLineAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TLineAccessible(TPaintBox* box);

    // Sends the events for what changed since the last call; true when that
    // was one character uncovered.
    bool Announce();

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::Role role() const override;
    QString text(QAccessible::Text type) const override;
    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;

    // Text: the shown line, read-only, no caret or selection.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override { }
    void removeSelection(int) override { }
    void setSelection(int, int, int) override { }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override { }
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int, int) override { }
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

protected:
    ~TLineAccessible() override;

private:
    TPaintBox* Box() const;
    // The row of the box in its window, -1 when it is no verse line.
    int Row() const;
    QString Shown() const;
    // What a screen reader reads of the line it has heard; later changes are
    // told against it.
    QString Heard() const;
    void DropChars();

    mutable QString FHeard;  // the text screen readers last heard of
    mutable std::vector<QAccessible::Id> FChars;
};
