#pragma once
// The database layer the loader and mkpoemdb are written against: a
// connection opened from an ADO-style connection string ("key=value;...")
// and forward-only queries over it, both on top of Qt SQL. Every failure
// raises TAppError with a message that names what failed and carries the
// driver's own text. QtCore and QtSql only: no widgets, so that command-line
// tools can use it under a QCoreApplication.
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
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TDbCursor;
class TDbQuery;
class TJetFile;

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
    QString DataSource;      // file path, or host[,port] / host\instance
    QString InitialCatalog;  // database name
    QString UserId;
    QString Password;        // of the account; for Jet, the database password
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

// `value` as it can stand in an ODBC connection string: in braces when the
// ODBC syntax would otherwise misread it.
QString OdbcValue(const QString& value);
// The ODBC connection string for SQL Server through FreeTDS.
QString OdbcConnectionString(const TConnectionSettings& settings);
// The driver options QPSQL gets: connection, network and statement timeouts.
QString PostgreSqlConnectOptions();

// A connection. Nothing happens until Open(); the destructor closes it and
// releases the Qt connection (queries still alive are detached first), on
// every way out.
class TDbConnection {
public:
    TDbConnection();
    ~TDbConnection();
    TDbConnection(const TDbConnection&) = delete;
    TDbConnection& operator=(const TDbConnection&) = delete;

    void SetConnectionString(const QString& text) { FConnectionString = text; }
    // No log-in dialog is ever shown here; kept so that callers state it.
    void SetLoginPrompt(bool prompt) { FLoginPrompt = prompt; }
    bool LoginPrompt() const { return FLoginPrompt; }

    void Open();
    void Close();
    bool Connected() const { return FConnected; }
    TDbProvider Provider() const { return FProvider; }

    // Runs a statement that returns no rows (DDL and the like).
    void Execute(const QString& sql);
    // Runs `sql` with "?" placeholders once for every row of `rows`, prepared
    // once; inside a transaction that makes hundreds of rows fast.
    void ExecuteBatch(const QString& sql, const std::vector<QVariantList>& rows);
    // The same for rows made one at a time: `nextRow` fills the values of the
    // next row and returns false when there is none, so that a large import
    // never holds its rows all at once.
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
    void OpenJet(const TConnectionSettings& settings);
    void OpenSQLite(const TConnectionSettings& settings);
    void OpenServer(const TConnectionSettings& settings);

    QString FName;
    QString FConnectionString;
    bool FLoginPrompt = false;
    bool FConnected = false;
    bool FInTransaction = false;
    TDbProvider FProvider = TDbProvider::Jet;
    std::vector<TDbQuery*> FQueries;
    std::unique_ptr<TJetFile> FJet;  // the open Jet file, when the local file is one
};

// A forward-only query bound to a connection. Open() runs the SQL text and
// positions on the first row; Eof() tells when the rows are used up.
class TDbQuery {
public:
    explicit TDbQuery(TDbConnection& connection);
    ~TDbQuery();
    TDbQuery(const TDbQuery&) = delete;
    TDbQuery& operator=(const TDbQuery&) = delete;

    void SetSql(const QString& sql) { FSql = sql; }
    void Open();
    void Close();
    bool Active() const { return FCursor != nullptr; }

    // First() on a query past its first row runs it again (forward-only).
    void First();
    void Next();
    bool Eof() const { return FEof; }

    int FieldCount() const;
    QString FieldName(int index) const;
    // The value as text; NULL reads as empty text.
    QString FieldText(int index) const;
    // By name, compared without regard to ASCII case; the first match wins.
    // A missing column raises TAppError.
    QString FieldAsText(const QString& name) const;
    std::int64_t FieldAsInteger(const QString& name) const;
    // The index of the column `name` as FieldAsText finds it; raises TAppError
    // naming the query when there is none.
    int FieldIndex(const QString& name) const { return IndexOf(name); }
    // The value of column `index` as GBK text in `gbk`, the fast way for
    // reading many rows: what WideToAnsi(FieldText(index)) gives.
    void FieldGbk(int index, std::string& gbk) const;

private:
    friend class TDbConnection;
    void Release();
    void RequireRow() const;
    int IndexOf(const QString& name) const;
    QString TextOf(int index) const;

    TDbConnection* FConnection;
    QString FSql;
    std::unique_ptr<TDbCursor> FCursor;
    QStringList FNames;
    bool FEof = true;
    bool FOnFirstRow = false;
};
