#include "app/toolkit.h"

#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTranslator>
#include <QWindow>

#include <cmath>
#include <memory>
#include <utility>

// ---- Message boxes --------------------------------------------------------

namespace {

TMessageBoxHook& MessageBoxHook()
{
    static TMessageBoxHook hook;
    return hook;
}

}  // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook)
{
    return std::exchange(MessageBoxHook(), std::move(hook));
}

void ShowMessageBox(const QString& text, const QString& caption, TMsgIcon icon)
{
    if (const auto& hook = MessageBoxHook()) {
        hook({text, caption, icon});
        return;
    }
    QMessageBox::Icon qtIcon = QMessageBox::Critical;
    if (icon == TMsgIcon::Warning)
        qtIcon = QMessageBox::Warning;
    else if (icon == TMsgIcon::Information)
        qtIcon = QMessageBox::Information;
    QMessageBox box(qtIcon, caption, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

void ReportHandlerError(const std::exception& error)
{
    ShowMessageBox(QString::fromUtf8(error.what()), kAppTitle, TMsgIcon::Error);
}

// ---- Application ----------------------------------------------------------

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    RegisterFontSubstitutes();
    setFont(WindowFont());
    // Lets Wayland desktops match the window to the installed desktop entry
    // (its id, as packaging/install.cmake names it).
    setDesktopFileName(QStringLiteral("io.github.versequest.versequest"));
    InstallQtTranslations(QLocale::system());
}

bool InstallQtTranslations(const QLocale& locale)
{
    // One translator for the life of the application, replaced when asked
    // for another locale.
    static QTranslator* installed = nullptr;
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

int RunGuarded(const std::function<int()>& body)
{
    try {
        return body();
    } catch (const std::exception& error) {
        ShowMessageBox(QString::fromUtf8(error.what()), QStringLiteral("Error"), TMsgIcon::Error);
    } catch (...) {
        ShowMessageBox(QStringLiteral("未知错误"), QStringLiteral("Error"), TMsgIcon::Error);
    }
    return 1;
}

void CentreOnScreen(QWidget* window)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // The frame is known once the native window exists; a top-level's
    // position is that of its frame.
    window->winId();
    const QMargins frame = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    const QSize outer = window->size().grownBy(frame);
    const QRect area = screen->availableGeometry();
    window->move(area.x() + (area.width() - outer.width()) / 2, area.y() + (area.height() - outer.height()) / 2);
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ReportHandlerError(error);
    } catch (...) {
        ReportHandlerError(std::runtime_error("未知错误"));
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
    if (mainForm) {
        CentreOnScreen(mainForm);
        mainForm->show();
    }
    return exec();
}

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

// ---- Fonts ------------------------------------------------------------------

int PointsToPixels(int points)
{
    // MulDiv rounds half away from zero.
    const double exact = points * 96.0 / 72.0;
    return static_cast<int>(std::lround(exact));
}

namespace {

// Where no Kai face is installed (a Windows without Chinese fonts), the Kai
// font shipped beside the program stands in, when there is one.
void LoadShippedKaiFont(const QStringList& kaiFaces)
{
    const QStringList installed = QFontDatabase::families();
    for (const QString& face : kaiFaces)
        if (installed.contains(face, Qt::CaseInsensitive))
            return;
    const QString shipped = ProgramDirectory() + QStringLiteral("fonts/ukai.ttc");
    if (QFile::exists(shipped))
        QFontDatabase::addApplicationFont(shipped);
}

}  // namespace

void RegisterFontSubstitutes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    const QStringList kaiFaces = {QStringLiteral("KaiTi"),         QStringLiteral("楷体"),
                                  QStringLiteral("KaiTi_GB2312"),  QStringLiteral("STKaiti"),
                                  QStringLiteral("AR PL UKai CN"), QStringLiteral("AR PL KaitiM GB"),
                                  QStringLiteral("AR PL UKai TW")};
    LoadShippedKaiFont(kaiFaces);
    QFont::insertSubstitutions(kKaiFace, kaiFaces + QStringList{QStringLiteral("Noto Serif CJK SC")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("DejaVu Sans"),
                                QStringLiteral("Liberation Sans")});
}

QFont KaiFont(int points, bool bold)
{
    QFont font(kKaiFace);
    font.setPixelSize(PointsToPixels(points));
    font.setBold(bold);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QFont WindowFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(PointsToPixels(8));
    return font;
}

int VirtualKeyOf(int qtKey)
{
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;  // same numbering for letters and digits
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24)
        return kVkF1 + (qtKey - Qt::Key_F1);
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return kVkReturn;
    case Qt::Key_Escape: return kVkEscape;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_Delete: return 0x2E;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    default: return 0;
    }
}

QColor Rgb(unsigned rgb)
{
    return QColor(static_cast<int>((rgb >> 16) & 0xFF), static_cast<int>((rgb >> 8) & 0xFF),
                  static_cast<int>(rgb & 0xFF));
}

// ---- TClickRule -------------------------------------------------------------

TClickRule::TClickRule(QWidget* control, std::function<void(const QPoint&)> onClick)
    : QObject(control), FOnClick(std::move(onClick))
{
    control->installEventFilter(this);
}

bool TClickRule::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseButtonRelease)
        return false;
    auto* control = static_cast<QWidget*>(watched);
    if (!control->isEnabled())
        return false;
    const auto* mouse = static_cast<QMouseEvent*>(event);
    const bool left = mouse->button() == Qt::LeftButton;
    const QPoint pos = mouse->position().toPoint();
    if (type == QEvent::MouseButtonPress) {
        FPressed = left;
    } else if (type == QEvent::MouseButtonDblClick) {
        FPressed = false;
    } else {
        const bool click = FPressed && left && control->rect().contains(pos);
        FPressed = false;
        if (click)
            FOnClick(pos);
    }
    event->accept();
    return true;
}

// ---- TPanel -----------------------------------------------------------------

namespace {

// Draws one classic 3D frame of `width` rings and shrinks `rect` past it.
// Top and left edges take `top`, bottom and right edges `bottom`; the
// top-right and bottom-left corner pixels belong to the bottom colour.
void Frame3D(QPainter& painter, QRect& rect, const QColor& top, const QColor& bottom, int width)
{
    for (int i = 0; i < width && rect.width() > 0 && rect.height() > 0; ++i) {
        const int l = rect.left(), t = rect.top(), r = rect.right(), b = rect.bottom();
        painter.fillRect(QRect(l, t, 1, b - t), top);          // left, rows t..b-1
        painter.fillRect(QRect(l, t, r - l, 1), top);          // top, columns l..r-1
        painter.fillRect(QRect(r, t, 1, b - t + 1), bottom);   // right, rows t..b
        painter.fillRect(QRect(l, b, r - l + 1, 1), bottom);   // bottom, columns l..r
        rect.adjust(1, 1, -1, -1);
    }
}

}  // namespace

TPanel::TPanel(QWidget* parent) : QWidget(parent), FColor(palette().color(QPalette::Window))
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    new TClickRule(this, [this](const QPoint&) { Q_EMIT Clicked(); });
}

void TPanel::SetColor(const QColor& color)
{
    FColor = color;
    update();
}

void TPanel::SetBevels(TBevel outer, TBevel inner, int bevelWidth, int borderWidth)
{
    FBevelOuter = outer;
    FBevelInner = inner;
    FBevelWidth = bevelWidth;
    FBorderWidth = borderWidth;
    update();
}

QColor TPanel::HighlightColor()
{
    return Rgb(0xFFFFFF);
}

QColor TPanel::ShadowColor()
{
    return Rgb(0xA0A0A0);
}

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect rect = this->rect();
    painter.fillRect(rect, FColor);
    auto bevel = [&](TBevel kind) {
        if (kind == TBevel::None)
            return;
        const bool raised = kind == TBevel::Raised;
        Frame3D(painter, rect, raised ? HighlightColor() : ShadowColor(),
                raised ? ShadowColor() : HighlightColor(), FBevelWidth);
    };
    bevel(FBevelOuter);
    rect.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);  // border in the panel colour
    bevel(FBevelInner);
}

// ---- TLabel -----------------------------------------------------------------

TLabel::TLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAutoFillBackground(false);
    setMargin(0);
    setIndent(0);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    new TClickRule(this, [this](const QPoint&) { Q_EMIT Clicked(); });
}

void TLabel::SetFontColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, color);
    // A disabled label (a button that passes no clicks) shows grey text.
    pal.setColor(QPalette::Disabled, QPalette::WindowText, Rgb(0x808080));
    setPalette(pal);
}

void TLabel::SetTransparent(bool transparent, const QColor& color)
{
    setAutoFillBackground(!transparent);
    if (!transparent) {
        QPalette pal = palette();
        pal.setColor(QPalette::Window, color);
        setPalette(pal);
    }
}

void TLabel::AutoSizeToText(int width)
{
    if (wordWrap()) {
        resize(width, heightForWidth(width));
    } else {
        const QSize hint = sizeHint();
        resize(hint.width(), hint.height());
    }
}

TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color, const QString& text,
                     int points, const QColor& textColor)
{
    TButton button;
    button.Panel = new TPanel(parent);
    button.Panel->setGeometry(bounds);
    button.Panel->SetColor(color);
    button.Panel->SetBevels(TBevel::Lowered, TBevel::Raised, 1, 0);
    button.Panel->setCursor(Qt::PointingHandCursor);
    button.Label = new TLabel(button.Panel);
    button.Label->setGeometry(0, 0, bounds.width(), bounds.height());
    button.Label->setAlignment(Qt::AlignCenter);
    button.Label->setFont(KaiFont(points, true));
    button.Label->SetFontColor(textColor);
    button.Label->setText(text);
    // The label keeps the default pointer of its own; the hand shows because
    // the panel's cursor is inherited by a child that sets none.
    return button;
}

// ---- TPaintBox --------------------------------------------------------------

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    new TClickRule(this, [this](const QPoint& pos) {
        FClickPos = pos;
        Q_EMIT Clicked(this);
    });
}

void TPaintBox::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    FCanvas = &painter;
    struct Reset {
        QPainter*& canvas;
        ~Reset() { canvas = nullptr; }
    } reset{FCanvas};
    Q_EMIT Paint(this);
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    Q_EMIT MouseMoved(this, event->modifiers(), event->buttons(), pos.x(), pos.y());
}

// ---- TEdit ------------------------------------------------------------------

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {}

bool TEdit::CanFocus() const
{
    for (const QWidget* w = this; w; w = w->parentWidget()) {
        if (!w->isVisible() || !w->isEnabled())
            return false;
    }
    return true;
}

void TEdit::keyPressEvent(QKeyEvent* event)
{
    int key = VirtualKeyOf(event->key());
    if (key != 0) {
        Q_EMIT KeyDown(key, event->modifiers());
        if (key == 0) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

// ---- TMemo ------------------------------------------------------------------

TMemo::TMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
}

void TMemo::AddLine(const QString& line)
{
    appendPlainText(line);
}

QStringList TMemo::Lines() const
{
    QStringList lines;
    if (document()->isEmpty())
        return lines;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next())
        lines << block.text();
    return lines;
}

void TMemo::ScrollToBottom()
{
    QScrollBar* bar = verticalScrollBar();
    bar->setValue(bar->maximum());
}

// ---- TScrollBox -------------------------------------------------------------

TScrollBox::TScrollBox(QWidget* parent) : QScrollArea(parent), FContent(new QWidget)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setWidgetResizable(false);
    verticalScrollBar()->setTracking(true);
    FContent->setAutoFillBackground(false);
    setWidget(FContent);
    FContent->resize(viewport()->width(), 0);
}

void TScrollBox::SetColor(const QColor& color)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, color);
    pal.setColor(QPalette::Base, color);
    setPalette(pal);
    viewport()->setPalette(pal);
    viewport()->setAutoFillBackground(true);
}

void TScrollBox::UpdateRange()
{
    int right = 0;
    int bottom = 0;
    for (const QObject* child : FContent->children()) {
        if (const auto* widget = qobject_cast<const QWidget*>(child); widget && !widget->isHidden()) {
            right = std::max(right, widget->geometry().right() + 1);
            bottom = std::max(bottom, widget->geometry().bottom() + 1);
        }
    }
    // At least as wide as the children, so that only the viewport clips them:
    // while the box is hidden the viewport keeps a stale, smaller width.
    FContent->resize(std::max(viewport()->width(), right), bottom);
}

int TScrollBox::VertPosition() const
{
    return verticalScrollBar()->value();
}

void TScrollBox::SetVertPosition(int position)
{
    verticalScrollBar()->setValue(position);
}
