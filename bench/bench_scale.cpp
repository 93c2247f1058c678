// The game at full scale, measured side by side in one run:
//   - local: a db21.mdb whose TBZ300 holds 300,000 poems, from OK in the
//     source dialog to the main window on screen with its first puzzle,
//     against a floor: a plain sqlite3 scan of the same rows with the texts
//     turned into GBK and cut into verse lines. Target: within 1.5x of the
//     floor, at most 450 bytes of memory per poem (text included);
//   - PickStanza on that library: under 20 ms;
//   - remote: bench_scale_remote.cpp, the whole corpus from the server
//     against a floor (the same rows through libpq and a server-side cursor,
//     texts into GBK, content cut into verse lines).
// VERSEQUEST_BENCH_DB may name a db21.mdb to use (one built from the corpus,
// say); otherwise the bundled poems are repeated to 300,000 rows.
#include "app/uMain.h"
#include "bench_main.h"
#include "library/app_error.h"
#include "library/gbk_codec.h"
#include "library/sources.h"
#include "poem_tables.h"
#include "scale_support.h"
#include "support/dialog_answerer.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <memory>

// Bytes the program holds from malloc: small blocks and mapped large ones.
std::size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

TDialogAccepted* gAccepter = nullptr;

namespace {

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

}  // namespace

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

TLibraryMemory LibraryMemory(TfrmMain& frm)
{
    malloc_trim(0);
    const std::size_t heap = HeapInUse();
    const std::int64_t resident = ResidentMemory().Current;
    std::vector<TPoemRecord>().swap(frm.FPoems);
    frm.FPoemCount = 0;
    malloc_trim(0);
    TLibraryMemory memory;
    memory.Heap = static_cast<std::int64_t>(heap - HeapInUse());
    memory.Resident = resident - ResidentMemory().Current;
    return memory;
}

void TLibraryMemory::Report(benchmark::State& state, std::int64_t poems) const
{
    const double count = static_cast<double>(std::max<std::int64_t>(poems, 1));
    state.counters["bytes_per_poem"] = static_cast<double>(Heap) / count;
    state.counters["rss_bytes_per_poem"] = static_cast<double>(Resident) / count;
}

// The middle value of `values` (0 for none).
double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

void TLoadFigures::Note(benchmark::State& state, const TfrmMain& frm, double load, double floor)
{
    state.SetIterationTime(load);
    Floors.push_back(floor);
    Ratios.push_back(load / floor);
    Poems = frm.FPoemCount;
    if (!frm.FPuzzleActive)
        state.SkipWithError("no puzzle on screen");
}

void TLoadFigures::Report(benchmark::State& state) const
{
    state.counters["poems"] = static_cast<double>(Poems);
    state.counters["floor_ms"] = Median(Floors) * 1000;
    state.counters["ratio"] = Median(Ratios);
    // The first load of the process, whose library takes memory the process
    // never had (the later ones reuse what the one before freed).
    state.counters["first_ratio"] = Ratios.empty() ? 0.0 : Ratios.front();
}

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

std::unique_ptr<TfrmMain> OpenLocalWindow()
{
    SetProgramDirectoryOverride(ProgramDir().path());
    auto frm = std::make_unique<TfrmMain>();
    SetProgramDirectoryOverride(QString());
    return frm;
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
    std::int64_t rows = 0;
    TLibraryMemory library;
    benchmark::IterationCount iteration = 0;
    TLoadFigures figures;
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
        figures.Note(state, *frm, std::chrono::duration<double>(shown - gAccepter->Accepted).count(), floor);
        // Measured last: giving the heap's free pages back makes the next
        // load fault in fresh ones, as a load in a new process does.
        if (++iteration == state.max_iterations)
            library = LibraryMemory(*frm);
        frm.reset();
        QCoreApplication::processEvents();
    }
    figures.Report(state);
    library.Report(state, figures.Poems);
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
