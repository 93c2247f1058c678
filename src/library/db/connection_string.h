#pragma once
// The connection strings of the database layer: ADO-style "key=value;..."
// text, the settings a connection takes from it, and the PostgreSQL options
// with their timeouts (the ODBC strings are odbc_drivers.h's). QtCore only.
//
// Providers:
//   Microsoft.Jet.OLEDB.4.0  the local poem file, opened read-only: an SQLite 3 file,
//                            or a Jet 3/4 (.mdb) file read through libmdb (jet_file.h)
//   SQLite                   an SQLite 3 file (or an empty file), opened for writing
//   SQLOLEDB.1, SQLOLEDB     SQL Server through ODBC and the FreeTDS driver
//   PostgreSQL               PostgreSQL; Data Source=host[,port]
// Keys are case-insensitive; values may be empty and may be quoted with " or '.

#include <QMap>
#include <QString>

enum class TDbProvider { Jet, SQLite, SqlServer, PostgreSQL };

// Seconds a connection attempt may take, and a single command.
inline constexpr int kConnectTimeoutSeconds = 15;
inline constexpr int kCommandTimeoutSeconds = 30;
// A server connection whose network stays silent this long is given up:
// keepalive probes start after the idle time and fail after the count.
inline constexpr int kNetworkSilenceSeconds = 30;
inline constexpr int kKeepaliveIdleSeconds = 10;
inline constexpr int kKeepaliveIntervalSeconds = 5;
inline constexpr int kKeepaliveCount = 4;

// The servers' ports when Data Source names none.
inline constexpr int kPostgreSqlDefaultPort = 5432;
inline constexpr int kSqlServerDefaultPort = 1433;

// Rows a server result is fetched in per batch (a server-side cursor on
// PostgreSQL, psqlODBC's declare/fetch): each batch is one command under the
// command timeout.
inline constexpr int kPostgreSqlBatchRows = 2000;

// The connection string of the local poem database at `path`.
QString LocalConnectionString(const QString& path, const QString& password);

// `value` as it can stand in a connection string: quoted when it holds a
// ";" or a quote or starts or ends with a blank.
QString QuoteConnectionValue(const QString& value);

// The pairs of a connection string, keys lower-cased. Raises TAppError for a
// pair without "=" or an unterminated quote. The message never repeats the
// string itself, which may hold a password.
QMap<QString, QString> ParseConnectionString(const QString& text);

// What a connection needs to know, taken from a connection string.
struct TConnectionSettings {
    TDbProvider Provider = TDbProvider::Jet;
    QString DataSource;  // file path, or host[,port] / host\instance
    QString InitialCatalog;  // database name
    QString UserId;
    QString Password;  // of the account; for Jet, the database password
};
// Raises TAppError for a malformed string or an unknown or missing provider.
TConnectionSettings SettingsFromConnectionString(const QString& text);

// Host and port of "host[,port]"; port is `defaultPort` when none is given.
// Raises TAppError for an empty host or a port that is not 1..65535.
struct THostPort {
    QString Host;
    int Port = 0;
};
THostPort SplitDataSource(const QString& dataSource, int defaultPort);

// The driver options QPSQL gets: connection, network and statement timeouts.
QString PostgreSqlConnectOptions();
