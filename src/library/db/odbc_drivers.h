#pragma once
// Server connections through ODBC. On Linux SQL Server goes through the
// FreeTDS driver and PostgreSQL through Qt's own PostgreSQL driver (libpq);
// on Windows both go through ODBC with the drivers Windows has or the player
// installed: SQL Server's (every Windows has "SQL Server"; "ODBC Driver 17/18
// for SQL Server" are preferred when present) and psqlODBC for PostgreSQL.
// QtCore only.

#include "library/db/connection_string.h"

#include <QString>
#include <QStringList>

// True when `provider` is reached through Qt's ODBC driver on this platform.
bool ServerUsesOdbc(TDbProvider provider);

// Linux builds reach PostgreSQL through libpq; a test turns this on to reach
// it the Windows way instead, through psqlODBC ("PostgreSQL Unicode") with the
// connection string Windows builds use. Returns the setting it replaces.
// Windows builds always use ODBC.
bool SetPostgreSqlThroughOdbc(bool odbc);

// The ODBC drivers for `provider` on Windows, best first.
QStringList WindowsOdbcDrivers(TDbProvider provider);

// The first of WindowsOdbcDrivers(provider) among `installed` (names as ODBC
// lists them, any case); empty when none is.
QString ChooseOdbcDriver(TDbProvider provider, const QStringList& installed);

// The ODBC connection string for `settings` through `driver`, one of
// WindowsOdbcDrivers(settings.Provider) (FreeTDS, the SQL Server driver of
// Linux builds, among them). Raises TAppError for a missing server or a bad
// port.
QString OdbcConnectionString(const TConnectionSettings& settings, const QString& driver);

// The ODBC drivers installed on this system; empty where there is no ODBC
// driver manager to ask (Linux builds do not ask).
QStringList InstalledOdbcDrivers();

// The connection string Qt's ODBC driver opens for `settings`: SQL Server
// through FreeTDS on Linux; on Windows through the best installed driver. Raises TAppError, in
// Chinese, when no driver for the provider is installed.
QString ServerOdbcConnectionString(const TConnectionSettings& settings);
