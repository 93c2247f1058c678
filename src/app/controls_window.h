#pragma once
// A small adapter over Qt Widgets with the controls and services the game is
// written against: bevelled panels, buttons made of a panel and a label,
// labels, paint boxes, the edit box, the memo, the scroll box, message boxes,
// fonts and the application object that reports errors escaping handlers.

#include "library/app_error.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QLocale>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPoint>
#include <QScrollArea>
#include <QString>
#include <QWidget>

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

class QPainter;

// The program's name: window caption and caption of the error boxes.
inline const QString kAppTitle = QStringLiteral("青简堂诗词猜诗");
// The face every run-time text uses; substitutes are registered for it.
inline const QString kKaiFace = QStringLiteral("楷体_GB2312");


// ---- Message boxes --------------------------------------------------------

enum class TMsgIcon { Error, Warning, Information };

struct TMessageBoxCall {
    QString Text;
    QString Caption;
    TMsgIcon Icon;
};

// Shows a modal box without owner with one OK button. Tests install a hook
// that records the call instead of showing anything.
void ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon);
using TMessageBoxHook = std::function<void(const TMessageBoxCall&)>;
// Installs `hook` and returns the one it replaces; an empty hook restores the real box.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

// The error box for an exception that escaped an event handler: the text of
// the error, the program's name as caption, the error icon.
void ReportHandlerError(const std::exception& error);

// ---- Application ----------------------------------------------------------

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // Catches exceptions escaping any event handler, shows them and goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    // A quit asked for before the message loop runs: Run() then returns at once.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Shows the main form centred on the primary screen and runs the loop.
    int Run(QWidget* mainForm);

private:
    bool FTerminated = false;
};

// Runs the program's body; an error escaping it is shown in the "Error" box,
// while the application object still exists to show it, and gives 1.
int RunGuarded(const std::function<int()>& body);

// Places a top-level window so that its outer frame is centred on the
// available area of its screen.
void CentreOnScreen(QWidget* window);

// Installs Qt's own translations for `locale` (the texts of standard dialog
// buttons, for one); false when none are installed for it.
bool InstallQtTranslations(const QLocale& locale);

// The directory of the running executable, with its trailing separator.
QString ProgramDirectory();
// Tests point the program directory at a folder of their own; an empty
// string restores the executable's directory.
void SetProgramDirectoryOverride(const QString& directory);

// ---- Fonts ------------------------------------------------------------------

// Points at 96 dpi to pixels, rounded as MulDiv(pt, 96, 72) does.
int PointsToPixels(int points);
// Registers installed Kai faces as substitutes for kKaiFace, and sans faces
// for the window font. Idempotent.
void RegisterFontSubstitutes();
QFont KaiFont(int points, bool bold);
QFont WindowFont();

// Key code of a key event in the platform-neutral virtual-key numbering the
// handlers compare with (letters 0x41.., F1 0x70.., Enter 13, Esc 27); 0 when
// the key has no such code.
int VirtualKeyOf(int qtKey);
// The codes the handlers compare with.
inline constexpr int kVkReturn = 0x0D;
inline constexpr int kVkEscape = 0x1B;
inline constexpr int kVkT = 0x54;
inline constexpr int kVkF1 = 0x70;
inline constexpr int kVkF3 = 0x72;
inline constexpr int kVkF5 = 0x74;

// ---- Controls ---------------------------------------------------------------

enum class TBevel { None, Raised, Lowered };

// The click rule of panels, labels and paint boxes, installed on the control:
// a left press and a left release inside it make one click, reported with
// the release's position. The second press of a double-click starts none, so
// a double-click counts as one click, as on the classic desktop controls. The
// control takes its presses and releases, so they never reach its parent; a
// disabled control takes none.
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
    TBevel BevelOuter() const { return FBevelOuter; }
    TBevel BevelInner() const { return FBevelInner; }
    int BevelWidth() const { return FBevelWidth; }
    int BorderWidth() const { return FBorderWidth; }

    // Colours of the bevel edges, as the classic panel draws them.
    static QColor HighlightColor();
    static QColor ShadowColor();

Q_SIGNALS:
    void Clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
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

protected:

private:
};

// A button: a panel (outer bevel lowered, inner raised, width 1, hand pointer)
// filled by a transparent bold label, both bound to one handler: a click
// anywhere on the button runs it once.
struct TButton {
    TPanel* Panel = nullptr;
    TLabel* Label = nullptr;
};
TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color,
                     const QString& text, int points, const QColor& textColor);
template <typename TReceiver>
TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color, const QString& text,
                     int points, const QColor& textColor, TReceiver* receiver,
                     void (TReceiver::*handler)())
{
    const TButton button = CreateButton(parent, bounds, color, text, points, textColor);
    QObject::connect(button.Panel, &TPanel::Clicked, receiver, handler);
    QObject::connect(button.Label, &TLabel::Clicked, receiver, handler);
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
    void MouseMoved(TPaintBox* sender, Qt::KeyboardModifiers modifiers, Qt::MouseButtons buttons,
                    int x, int y);

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

Q_SIGNALS:
    void KeyDown(int& key, Qt::KeyboardModifiers modifiers);

protected:
    void keyPressEvent(QKeyEvent* event) override;
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

// A QColor from the #RRGGBB notation used throughout.
QColor Rgb(unsigned rgb);
