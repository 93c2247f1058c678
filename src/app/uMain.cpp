#include "app/uMain.h"

#include "app/palette.h"
#include "library/sources.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QShowEvent>

namespace {

constexpr int kBorderStripHeight = 6;

TPanel* CreateBorderStrip(QWidget* parent, int top)
{
    auto* strip = new TPanel(parent);
    strip->setGeometry(0, top, TfrmMain::kClientWidth, kBorderStripHeight);
    strip->SetColor(Rgb(kBorderStripColor));
    return strip;
}

// The icon in `path` when it holds a readable image; a null icon otherwise.
QIcon LoadIconFile(const QString& path)
{
    QImageReader reader(path);
    if (!reader.canRead())
        return {};
    QIcon icon(path);
    return icon.availableSizes().isEmpty() ? QIcon() : icon;
}

// The game's own icon, in every size it is drawn at, so that no size is scaled.
QIcon BuiltInIcon()
{
    QIcon icon;
    for (const int size : {48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/versequest/icon-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace

TfrmMain::TfrmMain(QWidget* parent, std::optional<int> startRange) : QWidget(parent), FStartRange(startRange)
{
    Q_INIT_RESOURCE(resources);
    setWindowFlags(kWindowFlags);
    setFixedSize(kClientWidth, kClientHeight);
    setWindowTitle(QStringLiteral("青简堂诗词飞花令"));
    setWindowIcon(BuiltInIcon());
    setFont(WindowFont());
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Rgb(kWindowColor));
    setPalette(pal);
    setAutoFillBackground(true);
    setAttribute(Qt::WA_DeleteOnClose);

    pnlTopBorder = CreateBorderStrip(this, 0);
    pnlBottomBorder = CreateBorderStrip(this, kClientHeight - kBorderStripHeight);

    // Key preview: the window sees every key press before the focused control.
    qApp->installEventFilter(this);

    // An error in FormCreate is reported like one in any other handler; the
    // window then shows without the steps that did not run.
    RunHandler([this] { FormCreate(); });
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

void TfrmMain::FormCreate()
{
    setWindowTitle(kAppTitle);

    const QIcon icon = LoadIconFile(ProgramDirectory() + QStringLiteral("VerseQuest.ico"));
    if (!icon.isNull())
        setWindowIcon(icon);

    FRangeIndex = 0;
    FScore = 0;
    FPuzzleNo = 0;
    FPuzzleActive = false;
    FPuzzleOver = false;

    FHistory.Clear();
    FUsedTitles.Clear();

    if (!FBackground.load(ProgramDirectory() + QStringLiteral("bg_poetry.bmp"))) {
        FBackground = QImage(width(), height(), QImage::Format_RGB32);
        FBackground.fill(Rgb(kPaper));
    }

    bool rangeChosen = false;
    if (FStartRange) {
        SourceOf(*FStartRange);  // raises for a source that does not exist
        FRangeIndex = static_cast<std::uint8_t>(*FStartRange);
        rangeChosen = true;
    } else {
        rangeChosen = ChooseRange();
    }
    if (rangeChosen) {
        // A failed load is reported and leaves no poem; the window still comes
        // up whole, so that the player can switch to another source.
        try {
            LoadPoems();
        } catch (const std::exception&) {
            FPoems.clear();
            FPoemCount = 0;
            ReportHandlerError();
        }
        BuildLayout();
        FStartPending = true;
    } else if (auto* app = dynamic_cast<TApplication*>(QCoreApplication::instance())) {
        app->Terminate();
    } else {
        QCoreApplication::quit();
    }
}

void TfrmMain::FormShow()
{
    if (FStartPending) {
        FStartPending = false;
        NewPuzzle();
    }
}

void TfrmMain::FormClose(QCloseEvent* event)
{
    if (FLoading) {
        // The running load stops at its next message point and closes the
        // window then; destroying it now would pull it from under the load.
        FCloseRequested = true;
        event->ignore();
        return;
    }
    event->accept();  // WA_DeleteOnClose frees the window
}

void TfrmMain::FormDestroy()
{
    // The library, the background, the history and the solved titles free
    // themselves with the window, the controls with their parent. What is
    // left is the key preview, so that no key reaches a window half gone.
    qApp->removeEventFilter(this);
}

void TfrmMain::FormKeyDown(int& key, Qt::KeyboardModifiers /*shift*/)
{
    // Only a start that failed before the layout leaves the window without
    // the controls the shortcuts act on.
    if (!pnlPoem)
        return;
    switch (key) {
    case kVkT:
    case kVkF3:
        TogglePoemPanel();
        break;
    case kVkF5:
        RestartPuzzle();
        break;
    default:
        break;
    }
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* target = static_cast<QWidget*>(watched);
    if (target->window() != this)
        return false;
    // A key press not taken by its receiver travels on to the parents; the
    // window previews it once, at its first receiver.
    QWidget* focus = QApplication::focusWidget();
    if (!focus || focus->window() != this)
        focus = focusWidget();  // the window shown through a host (TScaledHost) has its focus there
    const bool firstReceiver = focus ? target == focus : target == this;
    if (!firstReceiver)
        return false;
    int key = VirtualKeyOf(static_cast<QKeyEvent*>(event)->key());
    if (key != 0)
        RunHandler([&] { FormKeyDown(key, static_cast<QKeyEvent*>(event)->modifiers()); });
    return false;  // never consumed
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    RunHandler([this] { FormShow(); });
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    FormClose(event);
}

void TfrmMain::paintEvent(QPaintEvent*)
{
    FormPaint();
}
