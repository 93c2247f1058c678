#include "app/palette.h"
#include "app/uMain.h"
#include "library/app_error.h"
#include "library/db/database.h"
#include "library/db/database_query.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>
#include <limits>
#include <optional>

// ---- LoadPoems --------------------------------------------------------------------

namespace {

constexpr int kProgressWidth = 400;
constexpr int kProgressHeight = 24;
constexpr int kProgressLabelHeight = 20;
constexpr int kProgressLabelGap = 28;
// Room taken ahead for the counted poems at most; a larger library grows.
constexpr std::int64_t kMostReservedPoems = 4000000;

// FLoading for the duration of one load. A close asked for meanwhile was put
// off by FormClose; it is carried out once the load has let go of everything.
class TLoadingScope {
public:
    explicit TLoadingScope(TfrmMain& form) : FForm(form) { FForm.FLoading = true; }
    ~TLoadingScope()
    {
        FForm.FLoading = false;
        if (FForm.FCloseRequested) {
            FForm.FCloseRequested = false;
            QMetaObject::invokeMethod(&FForm, &QWidget::close, Qt::QueuedConnection);
        }
    }
    TLoadingScope(const TLoadingScope&) = delete;
    TLoadingScope& operator=(const TLoadingScope&) = delete;

private:
    TfrmMain& FForm;
};

// The progress bar and its label of a remote load, centred on the window;
// removed, label first, on every way out.
class TProgressDisplay {
public:
    explicit TProgressDisplay(TfrmMain& form) : FForm(form)
    {
        auto* bar = new QProgressBar(&form);
        bar->setGeometry((form.width() - kProgressWidth) / 2, (form.height() - 60) / 2, kProgressWidth,
                         kProgressHeight);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
        bar->show();
        form.FProgressBar = bar;

        auto* label = new TLabel(&form);
        label->setGeometry(bar->x(), bar->y() - kProgressLabelGap, kProgressWidth, kProgressLabelHeight);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(false);
        label->setFont(KaiFont(12, false));
        label->SetFontColor(Rgb(kBodyText));
        label->SetTransparent(false, Rgb(kInfoColor));
        label->setText(QStringLiteral("你正在连接网络数据库，请稍候......"));
        label->show();
        form.FProgressLabel = label;

        const QScreen* screen = form.screen();
        const qreal rate = screen && screen->refreshRate() > 1 ? screen->refreshRate() : 60;
        FFrameNs = static_cast<qint64>(1e9 / rate);
    }
    ~TProgressDisplay()
    {
        delete FForm.FProgressLabel;
        FForm.FProgressLabel = nullptr;
        delete FForm.FProgressBar;
        FForm.FProgressBar = nullptr;
    }
    TProgressDisplay(const TProgressDisplay&) = delete;
    TProgressDisplay& operator=(const TProgressDisplay&) = delete;

    // Shows `kept` of `total` poems. The bar and the label take every value
    // at once; they are painted once a frame of the screen at most, since a
    // load reports tens of thousands of times a second, far more often than
    // any screen shows, and each paint would cost as much as many poems.
    void Show(int kept, std::int64_t total)
    {
        const bool paint = !FSincePaint.isValid() || FSincePaint.nsecsElapsed() >= FFrameNs;
        SetPainted(paint);
        FForm.FProgressBar->setValue(kept);
        FForm.FProgressLabel->setText(ProgressText(kept, total));
        if (paint)
            FSincePaint.start();
    }

private:
    // Between frames the widgets keep their pixels; painting again repaints
    // them whole with what they hold.
    void SetPainted(bool painted)
    {
        if (painted == FPainted)
            return;
        FPainted = painted;
        FForm.FProgressBar->setUpdatesEnabled(painted);
        FForm.FProgressLabel->setUpdatesEnabled(painted);
    }

    TfrmMain& FForm;
    qint64 FFrameNs;
    QElapsedTimer FSincePaint;
    bool FPainted = true;
};

// Ends a load early once the player has been told why, or because the window
// is closing. LoadPoems catches it; every other error reaches its caller.
struct TLoadStopped { };

// The loader's boxes block nothing but themselves: the window stays usable
// (its load guard and deferred close keep that safe), and they stay in front
// of it. A close of the window closes the open box too.
void ShowLoaderBox(TfrmMain& form, const QString& text, const QString& caption, TMsgIcon icon)
{
    ShowModelessMessageBox(text, caption, icon, &form);
}

// Lets the window handle pending messages; a close asked for meanwhile stops
// the load.
void ProcessMessages(const TfrmMain& form)
{
    QCoreApplication::processEvents();
    if (form.FCloseRequested)
        throw TLoadStopped{};
}

// The remote path up to the poems: the progress display, the connection, the
// success box and the row count, which it returns.
std::int64_t OpenRemoteSource(TfrmMain& form, const TPoemSource& source, TDbConnection& connection,
                              std::optional<TProgressDisplay>& progress)
{
    connection.SetConnectionString(DeploymentValue(TDeploymentKey::RemoteConnection));
    progress.emplace(form);
    ProcessMessages(form);
    try {
        connection.Open();
    } catch (const std::exception&) {
        progress.reset();
        ShowLoaderBox(form, QStringLiteral("远程数据库连接不成功，请检查网络后再试。"), QStringLiteral("连接失败"),
                      TMsgIcon::Error);
        throw TLoadStopped{};
    }
    ShowLoaderBox(form, QStringLiteral("连接成功，你现在可以开始了......"), QStringLiteral("提示"),
                  TMsgIcon::Information);
    if (form.FCloseRequested)
        throw TLoadStopped{};
    form.FProgressLabel->setText(QStringLiteral("正在加载诗词数据..."));
    ProcessMessages(form);

    TDbQuery count(connection);
    count.SetSql(CountSql(source));
    count.Open();
    const std::int64_t total = count.FieldAsInteger(QStringLiteral("Cnt"));
    count.Close();
    form.FProgressBar->setMaximum(
        static_cast<int>(std::clamp<std::int64_t>(total, 0, std::numeric_limits<int>::max())));
    form.FPoems.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(total, 0, kMostReservedPoems)));
    return total;
}

// Opens db21.mdb in the program directory, or db21.accdb where there is no
// db21.mdb; a missing file (or a folder of that name) is reported and stops
// the load.
void OpenLocalSource(TfrmMain& form, const TPoemSource& source, TDbConnection& connection)
{
    QString path = ProgramDirectory() + kLocalDatabaseName;
    if (const QString access = ProgramDirectory() + kLocalAccessDatabaseName;
        !QFileInfo(path).isFile() && QFileInfo(access).isFile())
        path = access;
    if (!QFileInfo(path).isFile()) {
        ShowLoaderBox(form, QStringLiteral("找不到数据库文件：") + QDir::toNativeSeparators(path),
                      QStringLiteral("错误"), TMsgIcon::Error);
        throw TLoadStopped{};
    }
    connection.SetConnectionString(
        LocalConnectionString(QDir::toNativeSeparators(path), DeploymentValue(TDeploymentKey::DbPassword)));
    connection.Open();
    // Counted first so that the library takes its room once: growing it a
    // record at a time moves every record again and again. Only a hint: a
    // count that fails (a damaged file, a file that reads no counts) leaves
    // the poems before the damage to the read, which reports it.
    try {
        TDbQuery count(connection);
        count.SetSql(CountSql(source));
        count.Open();
        form.FPoems.reserve(static_cast<std::size_t>(
            std::clamp<std::int64_t>(count.FieldAsInteger(QStringLiteral("Cnt")), 0, kMostReservedPoems)));
    } catch (const TAppError&) {
    }
}

// Keeps FPoemCount equal to the length of the library wherever other code
// can see it: at every message point and on every way out of the read.
class TCountFollowsLibrary {
public:
    explicit TCountFollowsLibrary(TfrmMain& form) : FForm(form) { }
    ~TCountFollowsLibrary() { Follow(); }
    TCountFollowsLibrary(const TCountFollowsLibrary&) = delete;
    TCountFollowsLibrary& operator=(const TCountFollowsLibrary&) = delete;
    void Follow() { FForm.FPoemCount = static_cast<std::int32_t>(FForm.FPoems.size()); }

private:
    TfrmMain& FForm;
};

// Reads the source's rows into the library; a remote load shows its progress
// and processes messages every kProgressStep kept poems.
void ReadLibrary(TfrmMain& form, TDbConnection& connection, const TPoemSource& source, std::int64_t total,
                 TProgressDisplay* display)
{
    TDbQuery poems(connection);
    poems.SetSql(PoemsSql(source));
    poems.Open();
    poems.First();
    TCountFollowsLibrary count(form);
    TReadProgress progress;
    if (display)
        progress = [&form, &count, display, total](int kept) {
            count.Follow();
            display->Show(kept, total);
            ProcessMessages(form);
        };
    ReadPoems(poems, WideToAnsi(source.Label), form.FPoems, progress);
    poems.Close();
}

void ReportEmptyLibrary(TfrmMain& form, const TPoemSource& source)
{
    if (source.Remote)
        ShowLoaderBox(form, QStringLiteral("远程数据库") + source.Table + QStringLiteral("表中没有适用诗句！"),
                      QStringLiteral("提示"), TMsgIcon::Warning);
    else
        ShowLoaderBox(form, QStringLiteral("数据库") + source.Table + QStringLiteral("表中没有适用诗句！"),
                      QStringLiteral("错误"), TMsgIcon::Error);
}

}  // namespace

void TfrmMain::LoadPoems()
{
    // A load processes messages on its remote path; none may start inside it.
    if (FLoading)
        return;
    TLoadingScope loading(*this);

    FPoems.clear();
    FPoemCount = 0;
    const TPoemSource& source = SourceOf(FRangeIndex);
    try {
        // Destroyed in reverse order, on every way out: the connection (and
        // any query on it), then the progress display.
        std::optional<TProgressDisplay> progress;
        TDbConnection connection;
        std::int64_t total = 0;
        if (source.Remote)
            total = OpenRemoteSource(*this, source, connection, progress);
        else
            OpenLocalSource(*this, source, connection);
        ReadLibrary(*this, connection, source, total, progress ? &*progress : nullptr);
        connection.Close();
        if (FPoems.capacity() - FPoems.size() > FPoems.size() / 16)
            FPoems.shrink_to_fit();  // rows without verse lines left room unused
        if (source.Remote) {
            progress.reset();
            ProcessMessages(*this);
        }
    } catch (const TLoadStopped&) {
        return;
    }
    if (FPoemCount == 0)
        ReportEmptyLibrary(*this, source);
}
