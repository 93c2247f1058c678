// The game at full scale, measured side by side in one run:
//   - local: a db21.mdb whose TBZ300 holds 300,000 poems, from OK in the
//     source dialog to the main window on screen with its first puzzle,
//     against a floor: a plain sqlite3 scan of the same rows with the texts
//     turned into GBK and cut into verse lines. Target: within 1.5x of the
//     floor, at most 450 bytes of memory per poem (text included);
//   - PickStanza on that library: under 20 ms;
//   - remote (when VERSEQUEST_BENCH_REMOTE_CONNECTION names a server whose
//     TB100 holds the corpus, see scripts/remote-db.sh start --corpus): the
//     load from the connected box to the window against a floor (the same
//     rows through libpq and a server-side cursor, texts into GBK, content
//     cut into verse lines), its memory, and the window's answers at every
//     progress step.
// VERSEQUEST_BENCH_DB may name a db21.mdb to use (one built from the corpus,
// say); otherwise the bundled poems are repeated to 300,000 rows.
#include "app/uMain.h"
#include "bench_main.h"
#include "library/app_error.h"
#include "library/db/connection_string.h"
#include "library/gbk_codec.h"
#include "library/sources.h"
#include "poem_tables.h"
#include "support/dialog_answerer.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <memory>

namespace {

constexpr int kLocalPoems = 300000;

QTemporaryDir& ProgramDir()
{
    static QTemporaryDir dir;
    return dir;
}

// The poems of the bundled files, repeated to `count` rows, written through
// mkpoemdb's writer (the bench's own set-up, not what is measured).
void WriteRepeatedDatabase(const QString& path, int count)
{
    const QString data = QStringLiteral(VQ_POEM_DATA_DIR);
    std::vector<TPoemEntry> pool;
    for (const char* file : {"/tbz300.jsonl", "/tb112.jsonl", "/tb100.jsonl"}) {
        std::vector<TPoemEntry> more = ReadPoemFile(data + QString::fromUtf8(file));
        pool.insert(pool.end(), more.begin(), more.end());
    }
    std::vector<TPoemTable> tables{{QStringLiteral("TBZ300"), data, {}}, {QStringLiteral("TB112"), data, {}}};
    std::vector<TPoemEntry>& rows = tables[0].Rows;
    rows.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        rows.push_back(pool[static_cast<std::size_t>(i) % pool.size()]);  // the texts are shared, not copied
        rows.back().Id = i + 1;
    }
    WriteSQLiteFile(path, tables);
}

// The program directory with the large db21.mdb, made once.
QString LocalDatabase()
{
    static const QString path = [] {
        const QString target = ProgramDir().filePath(kLocalDatabaseName);
        const QString given = qEnvironmentVariable("VERSEQUEST_BENCH_DB");
        if (!given.isEmpty()) {
            if (!QFile::link(given, target))
                throw TAppError(QStringLiteral("Cannot link %1 as %2").arg(given, target));
        } else {
            WriteRepeatedDatabase(target, kLocalPoems);
        }
        return target;
    }();
    return path;
}

// Bytes the program holds from malloc: small blocks and mapped large ones.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// When OK was last pressed in the source dialog (main() accepts every one at once).
struct TDialogAccepted {
    std::chrono::steady_clock::time_point Accepted;
};
TDialogAccepted* gAccepter = nullptr;

// Counts the paint events of a window and its children.
class TPaintCounter : public QObject {
public:
    using QObject::QObject;
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

// Shows `frm` and returns once it has painted itself.
void ShowUntilPainted(TfrmMain& frm)
{
    TPaintCounter counter;
    frm.installEventFilter(&counter);
    frm.show();
    QElapsedTimer waited;
    waited.start();
    while (counter.Paints == 0 && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    frm.removeEventFilter(&counter);
}

// The bytes the library holds, measured as the heap it gives back.
std::size_t LibraryBytes(TfrmMain& frm)
{
    const std::size_t before = HeapInUse();
    std::vector<TPoemRecord>().swap(frm.FPoems);
    frm.FPoemCount = 0;
    return before - HeapInUse();
}

std::unique_ptr<TfrmMain> OpenLocalWindow()
{
    SetProgramDirectoryOverride(ProgramDir().path());
    auto frm = std::make_unique<TfrmMain>();
    SetProgramDirectoryOverride(QString());
    return frm;
}

// The middle value of `values` (0 for none).
double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// ---- The floor ------------------------------------------------------------------------

// A plain sqlite3 scan of TBZ300: every text turned into GBK, the content cut
// into verse lines, nothing kept. Returns the number of lines.
std::int64_t ScanFloor(const QString& path, std::int64_t& rows)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* scan = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_prepare_v2(db, "SELECT * FROM TBZ300 WHERE 1=1", -1, &scan, nullptr) != SQLITE_OK) {
        const QString message = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        throw TAppError(QStringLiteral("Cannot scan %1: %2").arg(path, message));
    }
    std::string gbk[4];
    TStrArray cut;
    std::int64_t lines = 0;
    rows = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(scan)) == SQLITE_ROW) {
        for (int column = 1; column <= 4; ++column) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(scan, column));
            gbk[column - 1].clear();
            if (text)
                AppendGbkFromUtf8(std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(scan, column))),
                                  gbk[column - 1]);
        }
        lines += SplitVerseLines(gbk[3], cut);
        ++rows;
    }
    sqlite3_finalize(scan);
    sqlite3_close(db);
    if (step != SQLITE_DONE)
        throw TAppError(QStringLiteral("Cannot scan %1 to its end").arg(path));
    return lines;
}

void BM_LocalFloor_Sqlite3ScanGbkLines(benchmark::State& state)
{
    const QString path = LocalDatabase();
    std::int64_t rows = 0, lines = 0;
    for (auto _ : state) {
        lines = ScanFloor(path, rows);
        benchmark::DoNotOptimize(lines);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["lines"] = static_cast<double>(lines);
}
BENCHMARK(BM_LocalFloor_Sqlite3ScanGbkLines)->Unit(benchmark::kMillisecond)->MinTime(3);

// ---- The game's load ------------------------------------------------------------------

// From OK in the source dialog to the main window on screen with its first
// puzzle: LoadPoems, the layout, the show and NewPuzzle. Each iteration also
// scans the floor right before, so that both see the same machine (other
// work on a shared machine moves both alike); "ratio" is the median of the
// iterations' load time over their floor time.
void BM_LocalOkToWindowOnScreen(benchmark::State& state)
{
    const QString path = LocalDatabase();
    std::int64_t poems = 0, rows = 0;
    double bytesPerPoem = 0;
    std::vector<double> floors, ratios;
    for (auto _ : state) {
        // The first scan after a library was freed runs slower (the heap and
        // caches settle); the floor is the second, warm one.
        benchmark::DoNotOptimize(ScanFloor(path, rows));
        const auto floorStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(ScanFloor(path, rows));
        const double floor = std::chrono::duration<double>(std::chrono::steady_clock::now() - floorStart).count();

        auto frm = OpenLocalWindow();
        ShowUntilPainted(*frm);
        const auto shown = std::chrono::steady_clock::now();
        const double load = std::chrono::duration<double>(shown - gAccepter->Accepted).count();
        state.SetIterationTime(load);
        floors.push_back(floor);
        ratios.push_back(load / floor);
        poems = frm->FPoemCount;
        if (!frm->FPuzzleActive)
            state.SkipWithError("no puzzle on screen");
        bytesPerPoem = static_cast<double>(LibraryBytes(*frm)) / static_cast<double>(std::max<std::int64_t>(poems, 1));
        frm.reset();
        QCoreApplication::processEvents();
    }
    state.counters["poems"] = static_cast<double>(poems);
    state.counters["bytes_per_poem"] = bytesPerPoem;
    state.counters["floor_ms"] = Median(floors) * 1000;
    state.counters["ratio"] = Median(ratios);
}
BENCHMARK(BM_LocalOkToWindowOnScreen)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(7);

// One stanza pick on the largest library, through the window.
void BM_PickStanzaOnTheLargestLibrary(benchmark::State& state)
{
    LocalDatabase();
    auto frm = OpenLocalWindow();
    for (auto _ : state) {
        const bool picked = frm->PickStanza();
        benchmark::DoNotOptimize(picked);
    }
    state.counters["poems"] = frm->FPoemCount;
}
BENCHMARK(BM_PickStanzaOnTheLargestLibrary)->Unit(benchmark::kMillisecond);

// ---- The remote source at full scale --------------------------------------------------

QString RemoteConnection()
{
    return qEnvironmentVariable("VERSEQUEST_BENCH_REMOTE_CONNECTION");
}

// The resident memory of the process, now and at its peak since the last
// reset, in bytes: one read of /proc/self/status (Linux).
struct TResidentMemory {
    std::int64_t Current = 0;
    std::int64_t Peak = 0;
};
TResidentMemory ResidentMemory()
{
    TResidentMemory memory;
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return memory;
    for (const QByteArray& line : status.readAll().split('\n')) {
        const auto bytes = [&line] { return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024; };
        if (line.startsWith("VmRSS:"))
            memory.Current = bytes();
        else if (line.startsWith("VmHWM:"))
            memory.Peak = bytes();
    }
    return memory;
}
void ResetPeakResident()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// Watches a remote load from inside: a zero-interval timer fires at every
// message point of the load. At each it checks that the window painted since
// the one before (the progress it shows), asks for the next repaint, and
// notes the longest time between two points: how long a close click waits.
class TStepWatcher : public QObject {
public:
    TStepWatcher(QWidget* window, int closeAtStep) : FWindow(window), FCloseAtStep(closeAtStep)
    {
        qApp->installEventFilter(this);
        QObject::connect(&FTimer, &QTimer::timeout, this, &TStepWatcher::Step);
        FTimer.start(0);
        FSince.start();
    }
    ~TStepWatcher() override { qApp->removeEventFilter(this); }

    int Steps = 0;
    int PaintedSteps = 0;
    qint64 LongestGapMs = 0;
    std::chrono::steady_clock::time_point Closed;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType() && FWindow &&
            static_cast<QWidget*>(watched)->window() == FWindow)
            FPainted = true;
        return false;
    }

private:
    void Step()
    {
        LongestGapMs = std::max(LongestGapMs, FSince.restart());
        ++Steps;
        if (FPainted)
            ++PaintedSteps;
        FPainted = false;
        if (!FWindow)
            return;
        FWindow->update();
        if (Steps == FCloseAtStep) {
            Closed = std::chrono::steady_clock::now();
            FWindow->close();
        }
    }

    QPointer<QWidget> FWindow;
    int FCloseAtStep;
    QTimer FTimer;
    QElapsedTimer FSince;
    bool FPainted = false;
};

// A window on an empty program directory (no local poems), pointed at the
// benchmark's server.
QPointer<TfrmMain> OpenRemoteWindow(QTemporaryDir& empty)
{
    qputenv("VERSEQUEST_REMOTE_CONNECTION", RemoteConnection().toUtf8());
    SetProgramDirectoryOverride(empty.path());
    QPointer<TfrmMain> frm = new TfrmMain;
    SetProgramDirectoryOverride(QString());
    ShowUntilPainted(*frm);
    frm->FRangeIndex = 4;
    return frm;
}

// The remote floor: the rows of TB100 through libpq and a server-side cursor
// in batches of kPostgreSqlBatchRows, every text turned into GBK, the content
// cut into verse lines, nothing kept. Returns the number of lines.
std::int64_t RemoteFloor(std::int64_t& rows)
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
    const auto fail = [&](const char* what) {
        const QString message = QString::fromUtf8(PQerrorMessage(connection));
        PQfinish(connection);
        throw TAppError(QStringLiteral("Remote floor: %1: %2").arg(QString::fromUtf8(what), message));
    };
    const auto command = [&](const QByteArray& sql, ExecStatusType expected) {
        PGresult* result = PQexec(connection, sql.constData());
        if (PQresultStatus(result) != expected) {
            PQclear(result);
            fail(sql.constData());
        }
        return result;
    };
    if (PQstatus(connection) != CONNECTION_OK)
        fail("connect");
    PQclear(command("BEGIN", PGRES_COMMAND_OK));
    PQclear(command("DECLARE floor_rows NO SCROLL CURSOR FOR SELECT * FROM TB100 WHERE 1=1", PGRES_COMMAND_OK));
    const QByteArray fetch = "FETCH FORWARD " + QByteArray::number(kPostgreSqlBatchRows) + " FROM floor_rows";
    std::string gbk[4];
    TStrArray cut;
    std::int64_t lines = 0;
    rows = 0;
    for (;;) {
        PGresult* batch = command(fetch, PGRES_TUPLES_OK);
        const int count = PQntuples(batch);
        const int columns[4] = {PQfnumber(batch, "content"), PQfnumber(batch, "title"), PQfnumber(batch, "author"),
                                PQfnumber(batch, "dynasty")};
        for (int row = 0; row < count; ++row) {
            for (int k = 0; k < 4; ++k) {
                gbk[k].clear();
                if (columns[k] >= 0 && !PQgetisnull(batch, row, columns[k]))
                    AppendGbkFromUtf8(std::string_view(PQgetvalue(batch, row, columns[k]),
                                                       static_cast<std::size_t>(PQgetlength(batch, row, columns[k]))),
                                      gbk[k]);
            }
            lines += SplitVerseLines(gbk[0], cut);
        }
        rows += count;
        PQclear(batch);
        if (count < kPostgreSqlBatchRows)
            break;
    }
    PQclear(command("COMMIT", PGRES_COMMAND_OK));
    PQfinish(connection);
    return lines;
}

// The whole corpus as the player waits for it: from the connected box to the
// window with the library and its first puzzle on screen (the window
// repaints its progress as it does in play), each iteration right after its
// floor; "ratio" is the median of load time over floor time.
void BM_RemoteConnectedBoxToWindow(benchmark::State& state)
{
    if (RemoteConnection().isEmpty()) {
        state.SkipWithError("VERSEQUEST_BENCH_REMOTE_CONNECTION is not set");
        return;
    }
    QTemporaryDir empty;
    std::int64_t poems = 0, rows = 0;
    std::vector<double> floors, ratios;
    for (auto _ : state) {
        const auto floorStart = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(RemoteFloor(rows));
        const double floor = std::chrono::duration<double>(std::chrono::steady_clock::now() - floorStart).count();
        QPointer<TfrmMain> frm = OpenRemoteWindow(empty);
        const auto start = std::chrono::steady_clock::now();
        frm->LoadPoems();
        frm->NewPuzzle();
        frm->repaint();
        const double load = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(load);
        floors.push_back(floor);
        ratios.push_back(load / floor);
        poems = frm->FPoemCount;
        if (!frm->FPuzzleActive)
            state.SkipWithError("no puzzle on screen");
        delete frm.data();
        QCoreApplication::processEvents();
    }
    state.counters["poems"] = static_cast<double>(poems);
    state.counters["floor_rows"] = static_cast<double>(rows);
    state.counters["floor_ms"] = Median(floors) * 1000;
    state.counters["ratio"] = Median(ratios);
}
BENCHMARK(BM_RemoteConnectedBoxToWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

void BM_RemoteCorpusLoad(benchmark::State& state)
{
    if (RemoteConnection().isEmpty()) {
        state.SkipWithError("VERSEQUEST_BENCH_REMOTE_CONNECTION is not set");
        return;
    }
    QTemporaryDir empty;
    std::int64_t poems = 0, libraryBytes = 0, peak = 0;
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
        painted = watcher.PaintedSteps;
        gap = watcher.LongestGapMs;
        libraryBytes = static_cast<std::int64_t>(LibraryBytes(*frm));
        delete frm.data();
    }
    state.counters["poems"] = static_cast<double>(poems);
    state.counters["library_MB"] = static_cast<double>(libraryBytes) / 1e6;
    state.counters["bytes_per_poem"] =
        static_cast<double>(libraryBytes) / static_cast<double>(std::max<std::int64_t>(poems, 1));
    state.counters["peak_rss_growth_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["message_points"] = steps;
    state.counters["points_with_paint"] = painted;
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

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    SetMessageBoxHook([](const TMessageBoxCall&) {});  // the connection box, a missing database
    static TDialogAccepted accepted;
    gAccepter = &accepted;
    new TDialogAnswerer(
        [](QDialog* dialog) {
            gAccepter->Accepted = std::chrono::steady_clock::now();
            dialog->accept();
        },
        &app);
    return RunBenchmarks(argc, argv);
}
