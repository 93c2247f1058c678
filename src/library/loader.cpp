#include "app/uMain.h"
#include "library/app_error.h"
#include "library/database.h"
#include "library/poem_rows.h"
#include "library/sources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMetaObject>
#include <QProgressBar>

#include <algorithm>
#include <limits>
#include <optional>

// ---- LoadPoems --------------------------------------------------------------------

namespace {

constexpr int kProgressWidth = 400;
constexpr int kProgressHeight = 24;
constexpr int kProgressLabelHeight = 20;
constexpr int kProgressLabelGap = 28;
constexpr unsigned kProgressTextColor = 0x3C1E00;
constexpr unsigned kProgressLabelColor = 0xEBDDD4;
constexpr int kProgressStep = 10;
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
        label->SetFontColor(Rgb(kProgressTextColor));
        label->SetTransparent(false, Rgb(kProgressLabelColor));
        label->setText(QStringLiteral("你正在连接网络数据库，请稍候......"));
        label->show();
        form.FProgressLabel = label;
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

private:
    TfrmMain& FForm;
};

// Lets the window handle pending messages; false when the player closed the
// window meanwhile and the load is to stop.
bool ProcessMessages(const TfrmMain& form)
{
    QCoreApplication::processEvents();
    return !form.FCloseRequested;
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
    const std::string label = WideToAnsi(source.Label);

    // Destroyed in reverse order: query, connection, then the progress display.
    std::optional<TProgressDisplay> progress;
    TDbConnection connection;
    std::int64_t total = 0;

    if (source.Remote) {
        connection.SetConnectionString(DeploymentValue(TDeploymentKey::RemoteConnection));
        connection.SetLoginPrompt(false);
        progress.emplace(*this);
        if (!ProcessMessages(*this))
            return;
        try {
            connection.Open();
        } catch (const std::exception&) {
            progress.reset();
            ShowMessageBox(QStringLiteral("远程数据库连接不成功，请检查网络后再试。"), QStringLiteral("连接失败"),
                           TMsgIcon::Error);
            return;
        }
        ShowMessageBox(QStringLiteral("连接成功，你现在可以开始了......"), QStringLiteral("提示"),
                       TMsgIcon::Information);
        if (FCloseRequested)
            return;
        FProgressLabel->setText(QStringLiteral("正在加载诗词数据..."));
        if (!ProcessMessages(*this))
            return;
        {
            TDbQuery count(connection);
            count.SetSql(CountSql(source));
            count.Open();
            total = count.FieldAsInteger(QStringLiteral("Cnt"));
            count.Close();
        }
        FProgressBar->setMaximum(
            static_cast<int>(std::clamp<std::int64_t>(total, 0, std::numeric_limits<int>::max())));
        FPoems.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(total, 0, kMostReservedPoems)));
    } else {
        const QString path = ProgramDirectory() + kLocalDatabaseName;
        if (!QFileInfo::exists(path)) {
            ShowMessageBox(QStringLiteral("找不到数据库文件：") + QDir::toNativeSeparators(path),
                           QStringLiteral("错误"), TMsgIcon::Error);
            return;
        }
        connection.SetConnectionString(
            LocalConnectionString(QDir::toNativeSeparators(path), DeploymentValue(TDeploymentKey::DbPassword)));
        connection.SetLoginPrompt(false);
        connection.Open();
        // Counted first so that the library takes its room once: growing it
        // a record at a time moves every record again and again. Only a
        // hint: a count that fails (a damaged file) leaves the poems before
        // the damage to the read below, which reports it.
        try {
            TDbQuery count(connection);
            count.SetSql(CountSql(source));
            count.Open();
            FPoems.reserve(static_cast<std::size_t>(
                std::clamp<std::int64_t>(count.FieldAsInteger(QStringLiteral("Cnt")), 0, kMostReservedPoems)));
        } catch (const TAppError&) {
        }
    }

    {
        TDbQuery poems(connection);
        poems.SetSql(PoemsSql(source));
        poems.Open();
        poems.First();
        int kept = 0;
        std::optional<TPoemColumns> columns;  // looked up at the first row
        while (!poems.Eof()) {
            if (!columns)
                columns = PoemColumnsOf(poems);
            // A record enters the library complete, and only with lines:
            // other code may run at the message points below.
            TPoemRow row;
            ReadPoemRow(poems, *columns, row);
            TPoemRecord record = PoemFromRow(std::move(row), label, kept);
            if (!record.Lines.empty()) {
                FPoems.push_back(std::move(record));
                kept += 1;
                FPoemCount = kept;
            }
            if (source.Remote && kept % kProgressStep == 0) {
                FProgressBar->setValue(kept);
                FProgressLabel->setText(ProgressText(kept, total));
                if (!ProcessMessages(*this))
                    return;
            }
            poems.Next();
        }
        poems.Close();
    }
    connection.Close();
    if (FPoems.capacity() - FPoems.size() > FPoems.size() / 16)
        FPoems.shrink_to_fit();  // rows without verse lines left room unused

    if (source.Remote) {
        progress.reset();
        if (!ProcessMessages(*this))
            return;
    }

    if (FPoemCount == 0) {
        if (source.Remote)
            ShowMessageBox(QStringLiteral("远程数据库") + source.Table + QStringLiteral("表中没有适用诗句！"),
                           QStringLiteral("提示"), TMsgIcon::Warning);
        else
            ShowMessageBox(QStringLiteral("数据库") + source.Table + QStringLiteral("表中没有适用诗句！"),
                           QStringLiteral("错误"), TMsgIcon::Error);
    }
}
