#include "app/application_window.h"

#include "app/accessibility_window.h"
#include "app/fonts_window.h"
#include "app/scaled_host_window.h"
#include "app/screen_fit.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTranslator>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <exception>
#include <memory>
#include <utility>

// ---- Message boxes --------------------------------------------------------

namespace {

TMessageBoxHook& MessageBoxHook()
{
    static TMessageBoxHook hook;
    return hook;
}

// True when a hook took the box's record in its place.
bool Hooked(const QString& text, const QString& caption, TMsgIcon icon)
{
    const auto& hook = MessageBoxHook();
    if (!hook)
        return false;
    hook({text, caption, icon});
    return true;
}

QMessageBox::Icon QtIconOf(TMsgIcon icon)
{
    switch (icon) {
    case TMsgIcon::Warning:
        return QMessageBox::Warning;
    case TMsgIcon::Information:
        return QMessageBox::Information;
    case TMsgIcon::Error:
        break;
    }
    return QMessageBox::Critical;
}

// Closes a modeless box when the window it stands in front of is asked to
// close: whoever waits for the box can then see the request and give way.
class TCloseWithWindow : public QObject {
public:
    TCloseWithWindow(QMessageBox& box, QWidget* window) : FBox(box), FWindow(window)
    {
        if (window)
            window->installEventFilter(this);
    }
    ~TCloseWithWindow() override
    {
        if (FWindow)
            FWindow->removeEventFilter(this);
    }
    TCloseWithWindow(const TCloseWithWindow&) = delete;
    TCloseWithWindow& operator=(const TCloseWithWindow&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == FWindow && event->type() == QEvent::Close && FBox.isVisible())
            FBox.done(QMessageBox::Ok);
        return false;
    }

private:
    QMessageBox& FBox;
    QPointer<QWidget> FWindow;
};

}  // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook)
{
    return std::exchange(MessageBoxHook(), std::move(hook));
}

void ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon)
{
    if (Hooked(text, caption, icon))
        return;
    QMessageBox box(QtIconOf(icon), caption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ShowModelessMessageBox(const QString& text, const QString& caption, TMsgIcon icon, QWidget* window)
{
    if (Hooked(text, caption, icon))
        return;
    QMessageBox box(QtIconOf(icon), caption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::NonModal);
    if (window && window->isVisible() && window->windowHandle()) {
        box.winId();  // its native window, made a transient of the shown one
        box.windowHandle()->setTransientParent(window->windowHandle());
    }
    const TCloseWithWindow closer(box, window);
    // The caller waits for the answer in a loop of its own, which leaves every
    // other window usable. A box closed while it was being shown needs none.
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&box, &QDialog::finished, &loop, [&loop, &finished] {
        finished = true;
        loop.quit();
    });
    box.show();
    if (!finished)
        loop.exec();
}

QString CurrentErrorText()
{
    try {
        throw;
    } catch (const std::exception& error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("未知错误");
    }
}

void ReportHandlerError()
{
    ShowMessageBox(CurrentErrorText(), kAppTitle, TMsgIcon::Error);
}

void RunHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (...) {
        ReportHandlerError();
    }
}

// ---- Application ----------------------------------------------------------

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    SetUpFonts();
    InstallAccessibility();
    // Lets Wayland desktops match the window to the installed desktop entry
    // (its id, as packaging/install.cmake names it).
    setDesktopFileName(QStringLiteral("io.github.versequest.versequest"));
    InstallQtTranslations(QLocale::system());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ++FEscapedErrors;
        ReportHandlerError();
    }
    return false;
}

void TApplication::Terminate()
{
    FTerminated = true;
    quit();  // takes effect if the loop already runs
}

int TApplication::Run(QWidget* mainForm)
{
    if (FTerminated)
        return 0;
    if (mainForm && FFormScale < 1.0) {
        auto* host = new TScaledHost(mainForm, FFormScale);  // frees itself with the form
        CentreOnScreen(host);
        host->show();
    } else if (mainForm) {
        CentreOnScreen(mainForm);
        mainForm->show();
    }
    return exec();
}

int RunGuarded(const std::function<int()>& body)
{
    try {
        return body();
    } catch (...) {
        ShowMessageBox(CurrentErrorText(), QStringLiteral("Error"), TMsgIcon::Error);
    }
    return 1;
}

namespace {

// The frame a window of `flags` gets, in logical pixels. Windows knows it
// once the native window exists; an X11 window manager tells it only after
// the window is shown, so a usual title bar is assumed where none is known.
QMargins ExpectedFrame(const QSize& client, Qt::WindowFlags flags)
{
    QWindow probe;
    probe.setFlags(flags);
    probe.resize(client);
    probe.create();
    const QMargins frame = probe.frameMargins();
    return frame.isNull() ? QMargins(2, 32, 2, 2) : frame;
}

QMargins Scaled(const QMargins& margins, double scale)
{
    const auto side = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    return {side(margins.left()), side(margins.top()), side(margins.right()), side(margins.bottom())};
}

struct TScreenScale {
    double System = 1.0;  // device pixels per logical pixel on the screen
    double Fit = 1.0;  // the largest, at most System, at which the window fits
};

TScreenScale FitOnPrimaryScreen(const QSize& client, Qt::WindowFlags flags)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QString platform = QGuiApplication::platformName();
    if (!screen || platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return {};
    const double systemScale = screen->devicePixelRatio();
    const QRect area = screen->availableGeometry();
    const QRect deviceArea(area.topLeft(), (QSizeF(area.size()) * systemScale).toSize());
    const TWindowFit fit =
        FitWindow(deviceArea, Scaled(ExpectedFrame(client, flags), systemScale), systemScale, client);
    return {systemScale, fit.Scale};
}

}  // namespace

std::unique_ptr<TApplication> CreateFittedApplication(int& argc, char** argv, const QSize& client,
                                                      Qt::WindowFlags flags)
{
    auto app = std::make_unique<TApplication>(argc, argv);
    const TScreenScale scale = FitOnPrimaryScreen(client, flags);
    if (scale.Fit >= scale.System)
        return app;
    // Qt's scale goes down to 1 device pixel per logical pixel; the host
    // takes the form the rest of the way.
    const double factor = std::max(scale.Fit, 1.0) / scale.System;
    if (factor < 1.0) {
        app.reset();
        // A factor the user gave is part of the system's scale: the fit scales it.
        bool given = false;
        const double userFactor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&given);
        qputenv("QT_SCALE_FACTOR", QByteArray::number(given && userFactor > 0 ? userFactor * factor : factor, 'g', 6));
        app = std::make_unique<TApplication>(argc, argv);
    }
    app->SetFormScale(std::min(scale.Fit, 1.0));
    return app;
}

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame is known once the native window exists; a top-level's
    // position is that of its frame. Both are logical pixels here, at the
    // scale the application chose.
    window->winId();
    const QMargins frame = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    window->move(PlaceWindow(screen->availableGeometry(), window->size().grownBy(frame)));
}

bool InstallQtTranslations(const QLocale& locale)
{
    // One translator for the life of the application, replaced when asked
    // for another locale.
    // A QPointer, since an application made anew (see CreateFittedApplication)
    // takes its translator with it.
    static QPointer<QTranslator> installed;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
    }
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

// ---- Program directory ------------------------------------------------------

namespace {

QString& ProgramDirectoryOverride()
{
    static QString directory;
    return directory;
}

}  // namespace

void SetProgramDirectoryOverride(const QString& directory)
{
    ProgramDirectoryOverride() = directory;
}

QString ProgramDirectory()
{
    QString dir = ProgramDirectoryOverride();
    if (dir.isEmpty())
        dir = QCoreApplication::applicationDirPath();
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

// ---- Key codes --------------------------------------------------------------

int VirtualKeyOf(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;  // same numbering for letters and digits
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return kVkF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return kVkReturn;
    case Qt::Key_Escape:
        return kVkEscape;
    case Qt::Key_Tab:
        return 0x09;
    case Qt::Key_Backspace:
        return 0x08;
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Delete:
        return 0x2E;
    case Qt::Key_Left:
        return 0x25;
    case Qt::Key_Up:
        return 0x26;
    case Qt::Key_Right:
        return 0x27;
    case Qt::Key_Down:
        return 0x28;
    case Qt::Key_Shift:
        return 0x10;
    case Qt::Key_Control:
        return 0x11;
    case Qt::Key_Alt:
        return 0x12;
    default:
        return 0;
    }
}
