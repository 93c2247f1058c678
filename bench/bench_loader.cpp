// Reading a local poem source the way LoadPoems does (connection, query, the
// loader's row loop), without the window: the bundled TBZ300 (320 poems) from the
// SQLite file and from the Jet 4 test file of the same poems, and a table of
// 60,000 poems made from the bundled files.
#include "bench_main.h"
#include "library/db/database.h"
#include "library/db/database_query.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <vector>

namespace {

QTemporaryDir& BenchDir()
{
    static QTemporaryDir dir;
    return dir;
}

// db21.mdb with TBZ300 as bundled and BIG, the bundled poems repeated to `big` rows.
QString BenchDatabase(int big)
{
    const QString path = BenchDir().filePath(QStringLiteral("db21-%1.mdb").arg(big));
    if (QFile::exists(path))
        return path;
    const QString data = QStringLiteral(VQ_POEM_DATA_DIR);
    TPoemTable tbz300 = ReadTableArgument(QStringLiteral("TBZ300=") + data + QStringLiteral("/tbz300.jsonl"));
    std::vector<TPoemEntry> pool = tbz300.Rows;
    for (const char* file : {"/tb112.jsonl", "/tb100.jsonl"}) {
        const std::vector<TPoemEntry> more = ReadPoemFile(data + QString::fromUtf8(file));
        pool.insert(pool.end(), more.begin(), more.end());
    }
    TPoemTable large{QStringLiteral("BIG"), QString(), {}};
    for (int i = 0; i < big; ++i) {
        TPoemEntry entry = pool[static_cast<std::size_t>(i) % pool.size()];
        entry.Id = i + 1;
        large.Rows.push_back(std::move(entry));
    }
    WriteSQLiteFile(path, {tbz300, large});
    return path;
}

void ReadFile(benchmark::State& state, const QString& path, const QString& password, const QString& table)
{
    const std::string label = WideToAnsi(SourceOf(0).Label);
    std::int64_t kept = 0;
    for (auto _ : state) {
        std::vector<TPoemRecord> poems;
        TDbConnection connection;
        connection.SetConnectionString(LocalConnectionString(path, password));
        connection.Open();
        TDbQuery query(connection);
        query.SetSql(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" WHERE 1=1"));  // the loader's shape
        query.Open();
        query.First();
        kept = ReadPoems(query, label, poems);
        benchmark::DoNotOptimize(poems.data());
    }
    state.counters["poems"] = static_cast<double>(kept);
    state.SetItemsProcessed(state.iterations() * kept);
}

void ReadSource(benchmark::State& state, const QString& table, int rows)
{
    ReadFile(state, BenchDatabase(rows), QString(), table);
}

void BM_ReadBundledTangPoems(benchmark::State& state)
{
    ReadSource(state, QStringLiteral("TBZ300"), 60000);
}
BENCHMARK(BM_ReadBundledTangPoems)->Unit(benchmark::kMillisecond);

// The same 320 rows from db21-jet4.mdb through libmdb; "poems" must match the
// SQLite run's, and the time is meant to stay within twice the SQLite one.
void BM_ReadTangPoemsFromJet4(benchmark::State& state)
{
    ReadFile(state, QStringLiteral(VQ_JET_DATA_DIR "/db21-jet4.mdb"), QStringLiteral("shici936"),
             QStringLiteral("TBZ300"));
}
BENCHMARK(BM_ReadTangPoemsFromJet4)->Unit(benchmark::kMillisecond);

void BM_Read60000Poems(benchmark::State& state)
{
    ReadSource(state, QStringLiteral("BIG"), 60000);
}
BENCHMARK(BM_Read60000Poems)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // the SQL drivers are plugins
    return RunBenchmarks(argc, argv);
}
