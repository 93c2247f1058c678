#pragma once
// The controls the game is written against, a small adapter over Qt Widgets:
// bevelled panels, buttons made of a panel and a label, labels, paint boxes,
// the edit box, the memo and the scroll box, with the click rule they share.
// Every handler they call runs inside RunHandler (application_window.h).

#include "app/application_window.h"
#include "app/fonts_window.h"

#include <QColor>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPoint>
#include <QScrollArea>
#include <QString>
#include <QWidget>

#include <functional>

class QPainter;

// A QColor from the 0xRRGGBB notation of the palette (palette.h).
QColor Rgb(unsigned rgb);

enum class TBevel { None, Raised, Lowered };

class TLabel;

// The click rule of panels, labels and paint boxes, installed on the control:
// a left press and a left release inside it make one click, reported with
// the release's position (inside RunHandler). The second press of a
// double-click starts none, so a double-click counts as one click, as on the
// classic desktop controls. The control takes its presses and releases, so
// they never reach its parent; a disabled control takes none.
class TClickRule : public QObject {
public:
    TClickRule(QWidget* control, std::function<void(const QPoint&)> onClick);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<void(const QPoint&)> FOnClick;
    bool FPressed = false;
};

// A panel: its colour and the classic 3D frame, outer bevel, border, inner
// bevel. Emits Clicked for a left press and release inside it.
class TPanel : public QWidget {
    Q_OBJECT
public:
    explicit TPanel(QWidget* parent);

    void SetColor(const QColor& color);
    QColor Color() const { return FColor; }
    void SetBevels(TBevel outer, TBevel inner, int bevelWidth = 1, int borderWidth = 0);
    // The label filling a button's panel, whose text is the button's caption;
    // none for a plain panel.
    void SetCaptionLabel(TLabel* label) { FCaptionLabel = label; }
    TLabel* CaptionLabel() const { return FCaptionLabel; }

Q_SIGNALS:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TLabel* FCaptionLabel = nullptr;
    QColor FColor;
    TBevel FBevelOuter = TBevel::None;
    TBevel FBevelInner = TBevel::None;
    int FBevelWidth = 1;
    int FBorderWidth = 0;
};

// A label: plain text (an ampersand shows as itself), alignment, transparent
// or opaque. It takes its own clicks so that they never reach its parent twice.
class TLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLabel(QWidget* parent);

    void SetFontColor(const QColor& color);
    // Opaque labels fill their rectangle with `color`; transparent ones let
    // the parent show through.
    void SetTransparent(bool transparent, const QColor& color = QColor());
    // Gives the label the height of its text wrapped at `width` (or, without
    // word wrap, the size of its text) and keeps it there: the auto-size step.
    void AutoSizeToText(int width);

Q_SIGNALS:
    void Clicked();
};

// A button: a panel (outer bevel lowered, inner raised, width 1, hand pointer)
// filled by a transparent bold label, both bound to one handler: a click
// anywhere on the button runs it once, inside RunHandler.
struct TButton {
    TPanel* Panel = nullptr;
    TLabel* Label = nullptr;
};
TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color, const QString& text, int points,
                     const QColor& textColor);
template <typename TReceiver>
TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color, const QString& text, int points,
                     const QColor& textColor, TReceiver* receiver, void (TReceiver::*handler)())
{
    const TButton button = CreateButton(parent, bounds, color, text, points, textColor);
    const auto run = [receiver, handler] { RunHandler([receiver, handler] { (receiver->*handler)(); }); };
    QObject::connect(button.Panel, &TPanel::Clicked, receiver, run);
    QObject::connect(button.Label, &TLabel::Clicked, receiver, run);
    return button;
}

// A paint box: a plain rectangle drawn by whoever handles Paint, through
// Canvas(), which is valid only during that signal.
class TPaintBox : public QWidget {
    Q_OBJECT
public:
    explicit TPaintBox(QWidget* parent);

    int Tag() const { return FTag; }
    void SetTag(int tag) { FTag = tag; }
    QPainter* Canvas() const { return FCanvas; }
    // Where the pointer was, in the box's coordinates, at the last click.
    QPoint ClickPos() const { return FClickPos; }

Q_SIGNALS:
    void Paint(TPaintBox* sender);
    void Clicked(TPaintBox* sender);
    void MouseMoved(TPaintBox* sender, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    int FTag = 0;
    QPainter* FCanvas = nullptr;
    QPoint FClickPos;
};

// The single-line edit box. KeyDown gets the virtual-key code by reference;
// a handler that sets it to 0 consumes the key.
class TEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TEdit(QWidget* parent);
    // Whether the box and every window containing it are visible and enabled.
    bool CanFocus() const;
    // Commits what an input method is still composing in the box (the
    // underlined pre-edit text), so that text() holds what the player sees.
    void CommitComposition();

Q_SIGNALS:
    void KeyDown(int& key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    QString FPreedit;  // the input method's open composition, empty when none
};

// The read-only history memo: lines appended at the end, wrapped at its width.
class TMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TMemo(QWidget* parent);
    void AddLine(const QString& line);
    QStringList Lines() const;
    void ScrollToBottom();
};

// A scroll box whose scroll range follows its children: they live on
// Content(), and UpdateRange() sizes it to their extent.
class TScrollBox : public QScrollArea {
    Q_OBJECT
public:
    explicit TScrollBox(QWidget* parent);
    QWidget* Content() const { return FContent; }
    void SetColor(const QColor& color);
    void UpdateRange();
    int VertPosition() const;
    void SetVertPosition(int position);

private:
    QWidget* FContent;
};
