#pragma once
// Results read through Qt SQL's own forward-only query on a connection of its
// own thread (sql_thread.h): the rows of a server reached through ODBC. The
// rows come over in batches, each one call under the round-trip deadline.

#include <QString>

#include <memory>

class TDbCursor;
class TSqlThread;

// Rows taken over from the connection's thread per call.
inline constexpr int kQtSqlBatchRows = 2000;

// Runs `sql` on the connection of `thread`, which outlives the cursor, and
// returns a cursor before its first row. Raises TAppError naming the query
// when the driver refuses it or the deadline passes.
std::unique_ptr<TDbCursor> OpenQtSqlCursor(TSqlThread& thread, const QString& sql);
