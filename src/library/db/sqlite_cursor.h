#pragma once
// Results of an SQLite connection read straight through the sqlite3 handle
// of Qt's SQLite driver: values as that driver gives them, and text turned
// from SQLite's UTF-8 into GBK without a QVariant or a QString on the way.

#include <QString>

#include <memory>

struct sqlite3;
class TDbCursor;

// Runs `sql` on `db` and returns a cursor before its first row. Raises
// TAppError naming the query when SQLite refuses it. The cursor must go
// before the connection closes.
std::unique_ptr<TDbCursor> OpenSQLiteCursor(sqlite3* db, const QString& sql);
