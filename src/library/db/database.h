#pragma once
// The connection of the database layer the loader and mkpoemdb are written
// against, on top of Qt SQL: opened from an ADO-style connection string
// (connection_string.h), read through forward-only queries (database_query.h),
// and written through commands and transactions, which only mkpoemdb uses.
// Every failure raises TAppError with a message that names what failed and
// carries the driver's own text. QtCore and QtSql only: no widgets, so that
// command-line tools can use it under a QCoreApplication.
//
// Every round trip to a server has a client-side deadline
// (round_trip_deadline.h): a server that stops answering is given up as a
// broken network is. PostgreSQL through libpq runs on the caller's thread
// under a watchdog (pg_watchdog.h); a connection through ODBC runs its calls
// on a thread of its own (sql_thread.h).

#include "library/db/connection_string.h"
#include "library/db/sql_thread.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TDbCursor;
class TDbQuery;
class TJetFile;
class TPgWatchdog;

// A connection. Nothing happens until Open(); the destructor closes it and
// releases the Qt connection (queries still alive are detached first), on
// every way out. No log-in dialog is ever shown.
class TDbConnection {
public:
    TDbConnection();
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    void SetConnectionString(const QString& text) { FConnectionString = text; }
    void Open();
    void Close();
    TDbProvider Provider() const { return FProvider; }

    // Runs a statement that returns no rows (DDL and the like).
    void Execute(const QString& sql);
    // Runs `sql` with "?" placeholders, prepared once, for rows made one at a
    // time: `nextRow` fills the values of the next row and returns false when
    // there is none, so that a large import never holds its rows all at once.
    // Inside a transaction that makes hundreds of thousands of rows fast.
    void ExecuteBatch(const QString& sql, const std::function<bool(QVariantList& values)>& nextRow);

    // Transactions. A command that fails inside one rolls it back at once (a
    // PostgreSQL transaction is unusable after an error anyway); Rollback()
    // then has nothing left to do. Rollback() never raises.
    void BeginTransaction();
    void Commit();
    void Rollback() noexcept;

private:
    friend class TDbQuery;
    // Runs `sql` and returns a cursor before its first row; each kind of
    // database file or server reads its rows through a cursor of its own.
    std::unique_ptr<TDbCursor> OpenCursor(const QString& sql);
    void Attach(TDbQuery* query);
    void Detach(TDbQuery* query);
    void RequireOpen() const;
    void RequireWritable() const;
    [[noreturn]] void Fail(const QString& message);
    // Runs `task` as one round trip: on the connection's thread through ODBC,
    // here otherwise. Returns why it failed, as the player reads it (the
    // driver's text, or the deadline that cut it off), or nullopt.
    std::optional<QString> Run(const TSqlTask& task);
    void OpenJet(const TConnectionSettings& settings);
    void OpenSQLite(const TConnectionSettings& settings);
    void OpenServer(const TConnectionSettings& settings);
    void OpenOdbc(const TConnectionSettings& settings);

    QString FName;
    QString FConnectionString;
    bool FConnected = false;
    bool FInTransaction = false;
    TDbProvider FProvider = TDbProvider::Jet;
    std::vector<TDbQuery*> FQueries;
    std::unique_ptr<TJetFile> FJet;  // the open Jet file, when the local file is one
    std::unique_ptr<TPgWatchdog> FWatchdog;  // on a PostgreSQL connection through libpq
    std::unique_ptr<TSqlThread> FThread;  // on a connection through ODBC
    std::unique_ptr<TSqlSession> FSession;  // the Qt connection of any other
};
