#pragma once
// Results read through Qt SQL's own forward-only query: the rows of a server
// reached through ODBC, whose driver keeps its own timeouts.

#include <QSqlDatabase>
#include <QString>

#include <memory>

class TDbCursor;

// Runs `sql` on `db` and returns a cursor before its first row. Raises
// TAppError naming the query when the driver refuses it.
std::unique_ptr<TDbCursor> OpenQtSqlCursor(const QSqlDatabase& db, const QString& sql);
