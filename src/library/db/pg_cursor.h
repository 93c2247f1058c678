#pragma once
// Results of a PostgreSQL connection read through a server-side cursor, a
// batch of rows at a time. Each batch is one command, bound by the command
// timeout; a plain SELECT would be one command for as long as the reader
// takes over its rows, and a large table read with progress display outlasts
// any command timeout. Every call that waits for the server is a round trip
// of the connection's watchdog (pg_watchdog.h).

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
