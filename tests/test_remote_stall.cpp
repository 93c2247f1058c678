// A server that stops answering while its host's TCP stack still does, through each driver: libpq, with the
// server's backend stopped (SIGSTOP), and ODBC (psqlODBC), with a proxy in front of the server that stops relaying.
#include "support/load_watcher.h"
#include "support/stalling_proxy.h"

#include "library/db/database.h"
#include "library/db/database_query.h"
#include "library/db/odbc_drivers.h"
#include "library/db/pg_cursor.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>

namespace {

// The server process of the newest connection to database `name` of the server at `server`.
qint64 BackendOf(const QString& server, const QString& name)
{
    TDbConnection admin;
    admin.SetConnectionString(server);
    admin.Open();
    TDbQuery query(admin);
    query.SetSql(QStringLiteral("SELECT pid FROM pg_stat_activity WHERE datname = '%1' AND pid <> pg_backend_pid() "
                                "ORDER BY backend_start DESC LIMIT 1")
                     .arg(name));
    query.Open();
    return query.Eof() ? 0 : query.FieldAsInteger("pid");
}

// Makes the server stop answering (`stall`) for the life of the scope, and answer again (`resume`) at the end
// or, should nothing give up on it, after `patience`, so that a load waiting for it for good still ends.
class TStalledServer {
public:
    TStalledServer(const std::function<void()>& stall, std::function<void()> resume, std::chrono::seconds patience)
        : FResume(std::move(resume))
    {
        stall();
        FGuard = std::thread([this, patience] {
            std::unique_lock lock(FMutex);
            if (!FEnd.wait_for(lock, patience, [this] { return FEnded; })) {
                FWaitedOut = true;
                FResume();
            }
        });
    }
    ~TStalledServer()
    {
        {
            const std::lock_guard lock(FMutex);
            FEnded = true;
        }
        FEnd.notify_one();
        FGuard.join();
        FResume();
    }
    TStalledServer(const TStalledServer&) = delete;
    TStalledServer& operator=(const TStalledServer&) = delete;

    // True when the guard had to let the server answer again.
    bool WaitedOut()
    {
        const std::lock_guard lock(FMutex);
        return FWaitedOut;
    }

private:
    std::function<void()> FResume;
    std::mutex FMutex;
    std::condition_variable FEnd;
    bool FEnded = false, FWaitedOut = false;
    std::thread FGuard;
};

enum class TStallBy { Backend, Proxy };

struct TStallCase {
    const char* Name;
    int Rows;
    QString StallAt;  // the progress text at which the server stops
    QString Box;  // the error box then, if any
    int Poems;  // kept in the library
    int SlowRow = 0;  // the server takes 1.5 s over the row of this ID (less than the deadline)
};

std::vector<TStallCase> StallCases()
{
    const int batch = kPostgreSqlBatchRows;
    const QString gaveUp = QStringLiteral("）：数据库服务器 2 秒内没有应答，已断开连接 progress=none");
    return {
        {"before the count", 25, "正在加载诗词数据...",
         "box error 青简堂诗词猜诗 查询失败（SELECT COUNT(*) AS Cnt FROM TB100 WHERE 1=1" + gaveUp, 0},
        {"between batches", batch + 5, QStringLiteral("正在加载诗词数据...%1/%2").arg(batch).arg(batch + 5),
         "box error 青简堂诗词猜诗 读取查询结果失败（SELECT * FROM TB100 WHERE 1=1" + gaveUp, batch,
         batch + 1},  // the next batch, asked for ahead, is still on its way
        {"at the close", 25, "正在加载诗词数据...20/25", {}, 25},  // every row read: the load keeps them
    };
}

// How the server of `database` stops answering: its backend, or the links of `proxy`.
std::pair<std::function<void()>, std::function<void()>> StallOf(TStallBy by, const QString& server,
                                                                const TRemoteDatabase& database, TStallingProxy* proxy)
{
    if (by == TStallBy::Proxy)
        return {[proxy] { proxy->Stall(); }, [proxy] { proxy->Release(); }};
    const qint64 pid = BackendOf(server, SettingsFromConnectionString(database.Connection).InitialCatalog);
    EXPECT_GT(pid, 0);
    const auto signal = [pid](const char* name) {
        EXPECT_EQ(std::system(QStringLiteral("kill -%1 %2").arg(name).arg(pid).toLocal8Bit().constData()), 0);
    };
    return {[signal] { signal("STOP"); }, [signal] { signal("CONT"); }};
}

// The connection string of the database of `settings` through the proxy at `port`.
QString ThroughProxy(const TConnectionSettings& settings, std::uint16_t port)
{
    return QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1,%1;Initial Catalog=%2;User ID=%3;Password=%4")
        .arg(port)
        .arg(settings.InitialCatalog, settings.UserId, settings.Password);
}

// A connection given up to its thread is released once its driver returns.
void ExpectConnectionsReleased()
{
    QElapsedTimer clock;
    clock.start();
    while (!QSqlDatabase::connectionNames().isEmpty() && clock.elapsed() < 5000)
        QThread::msleep(10);
    ExpectNoOpenConnections();
}

// Loads the fifth source and stops the server at the case's text: the load gives up at the deadline with the
// case's box and library, the window is clean at once, and the same source loads and plays once the server
// answers again. Through ODBC the load reaches the server through a stalling proxy.
void ExpectStallGivenUp(const QString& server, const TStallCase& c, TStallBy by)
{
    TRemoteDatabase database(server, UsableRows(c.Rows));
    if (c.SlowRow > 0)
        database.SlowRow(c.SlowRow, 1.5);
    std::optional<TStallingProxy> proxy;
    std::optional<TScopedEnv> remote;
    if (by == TStallBy::Proxy) {
        const TConnectionSettings settings = SettingsFromConnectionString(database.Connection);
        proxy.emplace(static_cast<std::uint16_t>(SplitDataSource(settings.DataSource, kPostgreSqlDefaultPort).Port));
        remote.emplace("VERSEQUEST_REMOTE_CONNECTION", ThroughProxy(settings, proxy->Port()).toUtf8());
    }
    const bool odbcBefore = SetPostgreSqlThroughOdbc(by == TStallBy::Proxy);
    const auto restoreDriver = qScopeGuard([odbcBefore] { SetPostgreSqlThroughOdbc(odbcBefore); });
    auto frm = MakeWindow();
    TLoadWatcher watcher(*frm);
    std::optional<TStalledServer> stalled;
    QElapsedTimer clock;
    watcher.OnText = [&](const QString& text) {
        if (text == c.StallAt && !clock.isValid()) {  // once: the second load must not stop it
            const auto [stall, resume] = StallOf(by, server, database, proxy ? &*proxy : nullptr);
            stalled.emplace(stall, resume, std::chrono::seconds(20));
            clock.start();
        }
    };
    QueueRangeDialogAnswer(ChooseSource(4));
    QTest::mouseClick(frm->lblSwitchRange, Qt::LeftButton, {}, frm->lblSwitchRange->rect().center());
    ASSERT_TRUE(stalled);
    const qint64 waited = clock.elapsed();
    EXPECT_FALSE(stalled->WaitedOut()) << "the load waited for the server";
    std::cout << c.Name << ": the load gave up " << waited << " ms after the server stopped answering\n";
    EXPECT_GE(waited, 2000);
    EXPECT_LT(waited, 5000);
    const auto errorBox = std::find_if(watcher.Log.begin(), watcher.Log.end(),
                                       [](const QString& entry) { return entry.startsWith("box error"); });
    EXPECT_EQ((errorBox == watcher.Log.end() ? QString() : *errorBox).toStdString(), c.Box.toStdString());
    EXPECT_EQ(frm->FPoemCount, c.Poems);
    EXPECT_TRUE(!frm->FLoading && !frm->FProgressBar && !frm->FProgressLabel);
    stalled.reset();
    ExpectConnectionsReleased();
    ExpectCleanEnd(*frm);

    // The server answers again: the same source loads and plays.
    QueueRangeDialogAnswer(ChooseSource(4));
    QTest::mouseClick(frm->lblSwitchRange, Qt::LeftButton, {}, frm->lblSwitchRange->rect().center());
    EXPECT_EQ(frm->FPoemCount, c.Rows);
    EXPECT_TRUE(frm->FPuzzleActive);
}

// Guards against a server whose process stops answering while its host's TCP stack still does (a hung backend,
// a stalled proxy, a paused machine) freezing the window for good: each round trip gives up at its deadline, the
// player sees the box of a dead network, the library stays as after any failed load and the game plays on.
TEST(RemoteSource, AFrozenServerIsGivenUpAtTheDeadline)
{
#ifdef Q_OS_WIN
    GTEST_SKIP() << "Windows reaches PostgreSQL through ODBC (the case below) and has no kill -STOP for the "
                    "server's backend";
#endif
    REQUIRE_SERVER();
    const TScopedRoundTripDeadline deadline(std::chrono::seconds(2));
    for (const TStallCase& c : StallCases()) {
        SCOPED_TRACE(c.Name);
        ExpectStallGivenUp(server, c, TStallBy::Backend);
    }
}

// Guards against the same through ODBC, where no socket can be cut: the connection is given up to its thread.
TEST(RemoteSource, AStalledServerThroughOdbcIsGivenUpAtTheDeadline)
{
    REQUIRE_SERVER();
    const TScopedRoundTripDeadline deadline(std::chrono::seconds(2));
    for (const TStallCase& c : StallCases()) {
        SCOPED_TRACE(c.Name);
        ExpectStallGivenUp(server, c, TStallBy::Proxy);
    }
}

// Guards against the program's end waiting for an ODBC connection: one given up to its thread (Qt's clean-up of
// its connections would close it under the driver's call that never returned, and the driver waits for that
// call), or one closed, whose thread ended (in a mingw-w64 build a crash in that thread's end left winpthreads'
// lock of its thread-local keys held, and the program's end waited for it for good).
TEST(RemoteSource, TheProgramEndsAtOnceAfterAnOdbcConnection)
{
    REQUIRE_SERVER();
    const char* const kChild = "VERSEQUEST_TEST_ODBC_AND_END";
    if (qEnvironmentVariableIsSet(kChild)) {  // the program that uses a connection, then ends
        const bool giveUp = qEnvironmentVariable(kChild) == "give up";
        const TScopedRoundTripDeadline deadline(std::chrono::milliseconds(500));
        const TConnectionSettings settings = SettingsFromConnectionString(server);
        // Left stalled for good: the driver's call never returns.
        auto* proxy = new TStallingProxy(static_cast<std::uint16_t>(SplitDataSource(settings.DataSource, 0).Port));
        SetPostgreSqlThroughOdbc(true);
        TDbConnection connection;
        connection.SetConnectionString(ThroughProxy(settings, proxy->Port()));
        connection.Open();
        if (giveUp)
            proxy->Stall();
        TDbQuery query(connection);
        query.SetSql("SELECT 1 AS One");
        if (giveUp) {
            EXPECT_THROW(query.Open(), TAppError);
        } else {
            query.Open();
            EXPECT_EQ(query.FieldAsInteger("One"), 1);
            query.Close();
            connection.Close();
        }
        return;
    }
    for (const char* how : {"give up", "close"}) {
        SCOPED_TRACE(how);
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(kChild, how);
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {"--gtest_filter=RemoteSource.TheProgramEndsAtOnceAfterAnOdbcConnection"});
        const bool ended = child.waitForFinished(30000);
        if (!ended)
            child.kill();
        EXPECT_TRUE(ended) << "the program waited at its end";
        EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    }
}

}  // namespace
