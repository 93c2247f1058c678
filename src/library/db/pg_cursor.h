#pragma once
// Results of a PostgreSQL connection read through a server-side cursor, a
// batch of rows at a time. Each batch is one command, bound by the command
// timeout; a plain SELECT would be one command for as long as the reader
// takes over its rows, and a large table read with progress display outlasts
// any command timeout. Every call that waits for the server is a round trip
// of the connection's watchdog (pg_watchdog.h).
//
// The batches are read through the driver's libpq connection, each asked for
// as soon as the one before arrives. While a cursor reads, its connection
// serves no other command: one in between would take the batch under way,
// and the cursor then fails at its next batch with the driver's error.

#include <QSqlDatabase>
#include <QString>

#include <memory>

class TDbCursor;
class TPgWatchdog;

// Runs `sql` on `db` through a cursor and returns a cursor before its first
// row. Outside a transaction (`inTransaction` false) it opens one of its own,
// undone when the cursor goes. Raises TAppError naming the query. `watchdog`
// watches `db` and outlives the cursor.
std::unique_ptr<TDbCursor> OpenPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql,
                                                bool inTransaction);
