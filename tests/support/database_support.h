#pragma once
// Helpers of the suites that read poem databases: SQLite files with any
// tables and columns, scoped environment variables, and a database of its
// own on the PostgreSQL server of scripts/remote-db.sh. No window here.

#include "library/db/database.h"
#include "library/db/pg_watchdog.h"
#include "poem_tables.h"

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

// A poem with four usable lines, and one with none (runs of four characters).
inline const QString kJingYeSi = QStringLiteral("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。");
inline const QString kNoLines = QStringLiteral("采薇采薇，薇亦作止。");

// A table: its name, its column definitions ("ID INTEGER, title TEXT") and rows.
struct TTestTable {
    QString Name;
    QString Columns;
    std::vector<QVariantList> Rows;
};

// A NULL text value.
inline QVariant NullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

// Writes an SQLite file with `tables` at `path`, straight through Qt SQL.
inline void WriteTestDatabase(const QString& path, const std::vector<TTestTable>& tables)
{
    const QString name = QStringLiteral("test-writer");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        db.transaction();
        for (const TTestTable& table : tables) {
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(table.Name, table.Columns)))
                << query.lastError().text().toStdString();
            for (const QVariantList& row : table.Rows) {
                const QString marks = QStringLiteral("?,").repeated(row.size()).chopped(1);
                ASSERT_TRUE(query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table.Name, marks)));
                for (qsizetype i = 0; i < row.size(); ++i)
                    query.bindValue(static_cast<int>(i), row[i]);
                ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// Writes `bytes` to the file at `path`.
inline void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Every Qt SQL connection is released once a load is over.
inline void ExpectNoOpenConnections()
{
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty()) << QSqlDatabase::connectionNames().join(u',').toStdString();
}

// Sets (or, with nullopt, unsets) an environment variable for the scope's life.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::optional<QByteArray>& value) : FName(name)
    {
        if (qEnvironmentVariableIsSet(name))
            FOld = qgetenv(name);
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~TScopedEnv() { FOld ? qputenv(FName, *FOld) : qunsetenv(FName); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    std::optional<QByteArray> FOld;
};

// Gives each round trip of the server connections opened in the scope
// `deadline` instead of the usual one, so that a test of a server that stops
// answering takes seconds.
class TScopedRoundTripDeadline {
public:
    explicit TScopedRoundTripDeadline(std::chrono::milliseconds deadline)
        : FPrevious(SetRoundTripDeadline(deadline)) { }
    ~TScopedRoundTripDeadline() { SetRoundTripDeadline(FPrevious); }
    TScopedRoundTripDeadline(const TScopedRoundTripDeadline&) = delete;
    TScopedRoundTripDeadline& operator=(const TScopedRoundTripDeadline&) = delete;

private:
    std::chrono::milliseconds FPrevious;
};

// ---- The PostgreSQL server of scripts/remote-db.sh -------------------------

// Skips the test unless VERSEQUEST_TEST_REMOTE_CONNECTION names the server;
// `server` holds its connection string after.
#define REQUIRE_SERVER()                                                                                               \
    const QString server = qEnvironmentVariable("VERSEQUEST_TEST_REMOTE_CONNECTION");                                  \
    if (server.isEmpty())                                                                                              \
    GTEST_SKIP() << "VERSEQUEST_TEST_REMOTE_CONNECTION is not set; start scripts/remote-db.sh"

inline QString WithCatalog(const QString& connection, const QString& catalog, const QString& password)
{
    const TConnectionSettings settings = SettingsFromConnectionString(connection);
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=%3;Password=%4")
        .arg(settings.DataSource, catalog, settings.UserId, password);
}

// A database of its own on the test server, with `rows` in TB100 unless nullopt,
// and the fifth source pointed at it; dropped at the end.
class TRemoteDatabase {
public:
    TRemoteDatabase(const QString& server, const std::optional<std::vector<TPoemEntry>>& rows) : FServer(server)
    {
        static int count = 0;
        FName = QStringLiteral("vq_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++count);
        Connection = WithCatalog(server, FName, SettingsFromConnectionString(server).Password);
        Admin("DROP DATABASE IF EXISTS " + FName);
        Admin("CREATE DATABASE " + FName);
        FEnv.emplace("VERSEQUEST_REMOTE_CONNECTION", Connection.toUtf8());
        if (rows)
            WriteTB100(*rows);
    }
    ~TRemoteDatabase()
    {
        FEnv.reset();
        try {
            Admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(FName));
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
    void WriteTB100(const std::vector<TPoemEntry>& rows) const
    {
        WriteServerTables(Connection, {TPoemTable{"TB100", QString(), rows}});
    }
    // Makes the server wait `seconds` before it fetches the row of ID `id`
    // through a cursor (a count is not slowed): TB100 becomes a view of its
    // rows, so that a test can act while a reader waits for that row's batch.
    void SlowRow(int id, double seconds) const
    {
        TDbConnection connection;
        connection.SetConnectionString(Connection);
        connection.Open();
        connection.Execute("ALTER TABLE TB100 RENAME TO TB100_ROWS");
        connection.Execute(QStringLiteral("CREATE VIEW TB100 AS SELECT *, CASE WHEN ID = %1 AND current_query() LIKE "
                                          "'FETCH%' THEN pg_sleep(%2)::text END AS WAITED FROM TB100_ROWS")
                               .arg(id)
                               .arg(seconds));
    }

    QString Connection;

private:
    void Admin(const QString& sql) const
    {
        TDbConnection connection;
        connection.SetConnectionString(FServer);
        connection.Open();
        connection.Execute(sql);
    }

    QString FServer, FName;
    std::optional<TScopedEnv> FEnv;
};

// `count` poems of four usable lines, IDs from 1.
inline std::vector<TPoemEntry> UsableRows(int count)
{
    std::vector<TPoemEntry> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({i, QStringLiteral("诗%1").arg(i), QStringLiteral("李白"), QStringLiteral(" 唐 "), kJingYeSi});
    return rows;
}
