// The remote source at full scale, when VERSEQUEST_BENCH_REMOTE_CONNECTION
// names a server whose TB100 holds the corpus (scripts/remote-db.sh start
// --corpus): the load from the connected box to the window against its libpq
// floor, the load's memory and its message points, and a close in the middle.
#include "app/uMain.h"
#include "library/app_error.h"
#include "library/db/connection_string.h"
#include "library/gbk_codec.h"
#include "library/poem.h"
#include "scale_support.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <algorithm>
#include <chrono>

namespace {

QString RemoteConnection()
{
    return qEnvironmentVariable("VERSEQUEST_BENCH_REMOTE_CONNECTION");
}

// Watches a remote load from inside: a zero-interval timer fires at every
// message point of the load and notes the longest time between two points
// (how long a close click waits); an event filter counts the paints of the
// progress label (a frame of the screen at most).
class TStepWatcher : public QObject {
public:
    TStepWatcher(TfrmMain* window, int closeAtStep) : FWindow(window), FCloseAtStep(closeAtStep)
    {
        qApp->installEventFilter(this);
        QObject::connect(&FTimer, &QTimer::timeout, this, &TStepWatcher::Step);
        FTimer.start(0);
        FSince.start();
    }
    ~TStepWatcher() override { qApp->removeEventFilter(this); }

    int Steps = 0;
    int Paints = 0;
    qint64 LongestGapMs = 0;
    std::chrono::steady_clock::time_point Closed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && FWindow && watched == FWindow->FProgressLabel)
            ++Paints;
        return false;
    }

private:
    void Step()
    {
        LongestGapMs = std::max(LongestGapMs, FSince.restart());
        ++Steps;
        if (FWindow && Steps == FCloseAtStep) {
            Closed = std::chrono::steady_clock::now();
            FWindow->close();
        }
    }

    QPointer<TfrmMain> FWindow;
    int FCloseAtStep;
    QTimer FTimer;
    QElapsedTimer FSince;
};

// A window on an empty program directory (no local poems), pointed at the
// benchmark's server, shown unless `shown` is false.
QPointer<TfrmMain> OpenRemoteWindow(QTemporaryDir& empty, bool shown = true)
{
    qputenv("VERSEQUEST_REMOTE_CONNECTION", RemoteConnection().toUtf8());
    SetProgramDirectoryOverride(empty.path());
    QPointer<TfrmMain> frm = new TfrmMain;
    SetProgramDirectoryOverride(QString());
    if (shown)
        ShowUntilPainted(*frm);
    frm->FRangeIndex = 4;
    return frm;
}

// A libpq connection to the benchmark's server; raises TAppError when it fails.
PGconn* ConnectFloor()
{
    const TConnectionSettings settings = SettingsFromConnectionString(RemoteConnection());
    const THostPort server = SplitDataSource(settings.DataSource, kPostgreSqlDefaultPort);
    const char* keys[] = {"host", "port", "dbname", "user", "password", nullptr};
    const QByteArray values[] = {server.Host.toUtf8(), QByteArray::number(server.Port),
                                 settings.InitialCatalog.toUtf8(), settings.UserId.toUtf8(),
                                 settings.Password.toUtf8()};
    const char* valuePointers[] = {values[0].constData(), values[1].constData(), values[2].constData(),
                                   values[3].constData(), values[4].constData(), nullptr};
    PGconn* connection = PQconnectdbParams(keys, valuePointers, 0);
    if (PQstatus(connection) != CONNECTION_OK) {
        const QString message = QString::fromUtf8(PQerrorMessage(connection));
        PQfinish(connection);
        throw TAppError(QStringLiteral("Remote floor: cannot connect: %1").arg(message));
    }
    return connection;
}

// Runs `sql`; its result, or TAppError (closing the connection) when its status is not `expected`.
PGresult* FloorCommand(PGconn* connection, const QByteArray& sql, ExecStatusType expected)
{
    PGresult* result = PQexec(connection, sql.constData());
    if (PQresultStatus(result) != expected) {
        const QString message = QString::fromUtf8(PQerrorMessage(connection));
        PQclear(result);
        PQfinish(connection);
        throw TAppError(QStringLiteral("Remote floor: %1: %2").arg(QString::fromUtf8(sql), message));
    }
    return result;
}

// The rows of one batch: every text turned into GBK, the content cut into
// verse lines. Returns the number of lines.
std::int64_t FloorBatch(const PGresult* batch)
{
    thread_local std::string gbk[4];
    thread_local TStrArray cut;
    const int columns[4] = {PQfnumber(batch, "content"), PQfnumber(batch, "title"), PQfnumber(batch, "author"),
                            PQfnumber(batch, "dynasty")};
    std::int64_t lines = 0;
    for (int row = 0; row < PQntuples(batch); ++row) {
        for (int k = 0; k < 4; ++k) {
            gbk[k].clear();
            if (columns[k] >= 0 && !PQgetisnull(batch, row, columns[k]))
                AppendGbkFromUtf8(std::string_view(PQgetvalue(batch, row, columns[k]),
                                                   static_cast<std::size_t>(PQgetlength(batch, row, columns[k]))),
                                  gbk[k]);
        }
        lines += SplitVerseLines(gbk[0], cut);
    }
    return lines;
}

// The remote floor: the rows of TB100 through libpq and a server-side cursor
// in batches of kPostgreSqlBatchRows, every text turned into GBK, the content
// cut into verse lines, nothing kept. Returns the number of lines.
std::int64_t RemoteFloor(std::int64_t& rows)
{
    PGconn* connection = ConnectFloor();
    PQclear(FloorCommand(connection, "BEGIN", PGRES_COMMAND_OK));
    PQclear(FloorCommand(connection, "DECLARE floor_rows NO SCROLL CURSOR FOR SELECT * FROM TB100 WHERE 1=1",
                         PGRES_COMMAND_OK));
    const QByteArray fetch = "FETCH FORWARD " + QByteArray::number(kPostgreSqlBatchRows) + " FROM floor_rows";
    std::int64_t lines = 0;
    rows = 0;
    for (int count = kPostgreSqlBatchRows; count == kPostgreSqlBatchRows;) {
        PGresult* batch = FloorCommand(connection, fetch, PGRES_TUPLES_OK);
        count = PQntuples(batch);
        lines += FloorBatch(batch);
        rows += count;
        PQclear(batch);
    }
    PQclear(FloorCommand(connection, "COMMIT", PGRES_COMMAND_OK));
    PQfinish(connection);
    return lines;
}

void BM_RemoteCorpusLoad(benchmark::State& state)
{
    if (RemoteConnection().isEmpty()) {
        state.SkipWithError("VERSEQUEST_BENCH_REMOTE_CONNECTION is not set");
        return;
    }
    QTemporaryDir empty;
    std::int64_t poems = 0, peak = 0;
    TLibraryMemory library;
    int steps = 0, painted = 0;
    qint64 gap = 0;
    for (auto _ : state) {
        QPointer<TfrmMain> frm = OpenRemoteWindow(empty);
        const std::int64_t resident = ResidentMemory().Current;
        ResetPeakResident();
        TStepWatcher watcher(frm, -1);
        const auto start = std::chrono::steady_clock::now();
        frm->LoadPoems();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        peak = ResidentMemory().Peak - resident;
        poems = frm->FPoemCount;
        steps = watcher.Steps;
        painted = watcher.Paints;
        gap = watcher.LongestGapMs;
        library = LibraryMemory(*frm);
        delete frm.data();
    }
    state.counters["poems"] = static_cast<double>(poems);
    state.counters["library_MB"] = static_cast<double>(library.Heap) / 1e6;
    library.Report(state, poems);
    state.counters["peak_rss_growth_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["message_points"] = steps;
    state.counters["label_paints"] = painted;
    state.counters["longest_gap_ms"] = static_cast<double>(gap);
}
BENCHMARK(BM_RemoteCorpusLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A close click in the middle of the remote load: how long until the load
// stops and the window is gone.
void BM_RemoteCloseMidLoad(benchmark::State& state)
{
    if (RemoteConnection().isEmpty()) {
        state.SkipWithError("VERSEQUEST_BENCH_REMOTE_CONNECTION is not set");
        return;
    }
    QTemporaryDir empty;
    std::int64_t poems = 0;
    bool gone = false;
    for (auto _ : state) {
        QPointer<TfrmMain> frm = OpenRemoteWindow(empty);
        TStepWatcher watcher(frm, 10000);  // about 100,000 poems in
        frm->LoadPoems();
        poems = frm ? frm->FPoemCount : -1;
        for (int i = 0; i < 10 && frm; ++i) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        gone = frm.isNull();
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - watcher.Closed).count());
        delete frm.data();
    }
    state.counters["poems_when_stopped"] = static_cast<double>(poems);
    state.counters["window_gone"] = gone ? 1 : 0;
}
BENCHMARK(BM_RemoteCloseMidLoad)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// Last, so that the memory figures above see a fresh process. The whole
// corpus as the player waits for it: from the connected box to the window
// with the library and its first puzzle on screen, each iteration right after
// its floor; "ratio" is the median of load time over floor time. Argument 0:
// at start-up (the source chosen in the first dialog or by --source 5), the
// window comes up after the load; 1: through 切换范围, the window on screen
// shows its progress display, which takes every tenth poem.
void BM_RemoteConnectedBoxToWindow(benchmark::State& state)
{
    if (RemoteConnection().isEmpty()) {
        state.SkipWithError("VERSEQUEST_BENCH_REMOTE_CONNECTION is not set");
        return;
    }
    QTemporaryDir empty;
    std::int64_t rows = 0;
    TLoadFigures figures;
    for (auto _ : state) {
        const auto floorStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(RemoteFloor(rows));
        const double floor = std::chrono::duration<double>(std::chrono::steady_clock::now() - floorStart).count();
        const bool switched = state.range(0) == 1;
        QPointer<TfrmMain> frm = OpenRemoteWindow(empty, switched);
        const auto start = std::chrono::steady_clock::now();
        frm->LoadPoems();
        frm->NewPuzzle();
        if (switched)
            frm->repaint();
        else
            ShowUntilPainted(*frm);
        figures.Note(state, *frm, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
                     floor);
        delete frm.data();
        QCoreApplication::processEvents();
    }
    figures.Report(state);
    state.counters["floor_rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_RemoteConnectedBoxToWindow)
    ->ArgName("switched")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

}  // namespace
