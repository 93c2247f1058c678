#include "app/controls_window.h"

#include "app/palette.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBlock>

#include <algorithm>
#include <utility>

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
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick && type != QEvent::MouseButtonRelease)
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
            RunHandler([&] { FOnClick(pos); });
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
        painter.fillRect(QRect(l, t, 1, b - t), top);  // left, rows t..b-1
        painter.fillRect(QRect(l, t, r - l, 1), top);  // top, columns l..r-1
        painter.fillRect(QRect(r, t, 1, b - t + 1), bottom);  // right, rows t..b
        painter.fillRect(QRect(l, b, r - l + 1, 1), bottom);  // bottom, columns l..r
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

void TPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QRect rect = this->rect();
    painter.fillRect(rect, FColor);
    auto bevel = [&](TBevel kind) {
        if (kind == TBevel::None)
            return;
        const bool raised = kind == TBevel::Raised;
        const QColor highlight = Rgb(kBevelHighlight);
        const QColor shadow = Rgb(kBevelShadow);
        Frame3D(painter, rect, raised ? highlight : shadow, raised ? shadow : highlight, FBevelWidth);
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
    pal.setColor(QPalette::Disabled, QPalette::WindowText, Rgb(kDisabledText));
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

TButton CreateButton(QWidget* parent, const QRect& bounds, const QColor& color, const QString& text, int points,
                     const QColor& textColor)
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
    button.Panel->SetCaptionLabel(button.Label);
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
    RunHandler([this] { Q_EMIT Paint(this); });
}

void TPaintBox::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    Q_EMIT MouseMoved(this, event->modifiers(), event->buttons(), pos.x(), pos.y());
}

// ---- TEdit ------------------------------------------------------------------

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) { }

bool TEdit::CanFocus() const
{
    for (const QWidget* w = this; w; w = w->parentWidget()) {
        if (!w->isVisible() || !w->isEnabled())
            return false;
    }
    return true;
}

void TEdit::CommitComposition()
{
    if (FPreedit.isEmpty())
        return;
    // The input method commits its own text where it can (IBus, Fcitx);
    // Windows' commits on a reset. A platform that does neither (or an input
    // method that has gone) leaves the pre-edit: commit it here.
    QInputMethod* inputMethod = QGuiApplication::inputMethod();
    inputMethod->commit();
    if (!FPreedit.isEmpty())
        inputMethod->reset();
    if (!FPreedit.isEmpty()) {
        QInputMethodEvent commit;
        commit.setCommitString(FPreedit);
        inputMethodEvent(&commit);
    }
}

void TEdit::inputMethodEvent(QInputMethodEvent* event)
{
    QLineEdit::inputMethodEvent(event);
    FPreedit = event->preeditString();
}

void TEdit::keyPressEvent(QKeyEvent* event)
{
    int key = VirtualKeyOf(event->key());
    if (key != 0) {
        RunHandler([&] { Q_EMIT KeyDown(key, event->modifiers()); });
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
