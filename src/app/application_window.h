#pragma once
// The application services the game is written against: the application
// object, message boxes and their test hook, the guard around every handler
// Qt calls, the guarded entry, Qt's translations, the program directory and
// the key codes the handlers compare with. Fonts are set up in fonts_window.h,
// the controls live in controls_window.h.

#include <QApplication>
#include <QLocale>
#include <QString>

#include <exception>
#include <functional>
#include <memory>

class QWidget;

// The program's name: window caption and caption of the error boxes.
inline const QString kAppTitle = QStringLiteral("青简堂诗词猜诗");

// ---- Message boxes --------------------------------------------------------

enum class TMsgIcon { Error, Warning, Information };

struct TMessageBoxCall {
    QString Text;
    QString Caption;
    TMsgIcon Icon;
};

// Shows a box without owner with one OK button, modal to the whole program.
// Tests install a hook that records the call instead of showing anything.
void ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon);
// The same box, blocking nothing but itself: the program's windows stay
// usable while it is open. It stays in front of `window` once that one is
// shown, and goes away when `window` is asked to close. Returns, like
// ShowMessageBox, once the box is closed; goes through the same hook.
void ShowModelessMessageBox(const QString& text, const QString& caption, TMsgIcon icon, QWidget* window);
using TMessageBoxHook = std::function<void(const TMessageBoxCall&)>;
// Installs `hook` and returns the one it replaces; an empty hook restores the real box.
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

// Inside a catch block: the text of the exception being handled, or "未知错误"
// for one that is not a std::exception.
QString CurrentErrorText();

// Inside a catch block: the error box for the exception being handled, which
// escaped an event handler: its text, the program's name as caption, the
// error icon.
void ReportHandlerError();

// Runs `handler` where Qt calls the program (a slot, an event handler, an
// event filter): an error escaping it is shown by ReportHandlerError right
// there, so that no exception ever travels through Qt's signals or events.
void RunHandler(const std::function<void()>& handler);

// ---- Application ----------------------------------------------------------

class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);

    // The last resort: an exception that a handler let through is shown and
    // counted, and the program goes on. Handlers catch their own (RunHandler).
    bool notify(QObject* receiver, QEvent* event) override;
    // How many exceptions reached notify(); tests hold it at zero.
    int EscapedErrors() const { return FEscapedErrors; }

    // A quit asked for before the message loop runs: Run() then returns at once.
    void Terminate();
    bool Terminated() const { return FTerminated; }

    // Shows the main form centred on the primary screen and runs the loop.
    int Run(QWidget* mainForm);

    // The scale, below one device pixel per logical pixel, that the main form
    // is drawn at (see TScaledHost); 1 for a form that Qt's own scale fits.
    double FormScale() const { return FFormScale; }
    void SetFormScale(double scale) { FFormScale = scale; }

private:
    bool FTerminated = false;
    double FFormScale = 1.0;
    int FEscapedErrors = 0;
};

// The application object of a program whose main window has `client`
// logical pixels and `flags`. Where that window with its frame does not fit
// the work area of the primary screen at the system's scale, the whole
// interface is scaled down until it does: the object is made a second time,
// with Qt's scale factor set (it is read only when an application starts).
// Qt paints at no scale below 1, so the form is drawn below that by a host
// (FormScale), the dialogs at 1.
std::unique_ptr<TApplication> CreateFittedApplication(int& argc, char** argv, const QSize& client,
                                                      Qt::WindowFlags flags);

// Runs the program's body; an error escaping it is shown in the "Error" box,
// while the application object still exists to show it, and gives 1.
int RunGuarded(const std::function<int()>& body);

// Places a top-level window so that its outer frame is centred on the
// available area of its screen, its title bar never above that area's top.
void CentreOnScreen(QWidget* window);

// Installs Qt's own translations for `locale` (the texts of standard dialog
// buttons, for one); false when none are installed for it.
bool InstallQtTranslations(const QLocale& locale);

// The directory of the running executable, with its trailing separator.
QString ProgramDirectory();
// Tests point the program directory at a folder of their own; an empty
// string restores the executable's directory.
void SetProgramDirectoryOverride(const QString& directory);

// ---- Key codes --------------------------------------------------------------

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
