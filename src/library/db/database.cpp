#include "library/db/database.h"

#include "library/app_error.h"
#include "library/db/database_cursor.h"
#include "library/db/database_query.h"
#include "library/db/jet/jet_file.h"
#include "library/db/odbc_drivers.h"
#include "library/db/pg_cursor.h"
#include "library/db/pg_watchdog.h"
#include "library/db/qt_sql_cursor.h"
#include "library/db/sqlite_cursor.h"

#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <atomic>

namespace {

// The first 16 bytes of every SQLite 3 file.
constexpr char kSQLiteHeader[] = "SQLite format 3";  // with its terminating zero: 16 bytes
constexpr qint64 kSQLiteHeaderSize = sizeof(kSQLiteHeader);
static_assert(kSQLiteHeaderSize == 16);

QString UniqueConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("versequest-db-%1").arg(++counter);
}

enum class THeader { Empty, SQLite, Jet, Other };

// Enough of a file's start to tell SQLite from Jet.
constexpr qint64 kHeaderProbeSize = 20;

// What the file at `path` starts with. Raises TAppError when it cannot be read.
THeader ReadHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TAppError(
            QStringLiteral("无法打开诗词数据库文件 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray head = file.read(kHeaderProbeSize);
    if (head.isEmpty())
        return file.size() == 0 ? THeader::Empty : THeader::Other;
    if (head.left(kSQLiteHeaderSize) == QByteArray(kSQLiteHeader, kSQLiteHeaderSize))
        return THeader::SQLite;
    return IsJetHeader(head) ? THeader::Jet : THeader::Other;
}

[[noreturn]] void FailUnsupportedFile(const QString& path)
{
    throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：不是可识别的诗词数据库文件（既不是 SQLite 3 也不是 Jet "
                                   "3/4 或 Access 2007 及以后版本的数据库）")
                        .arg(QDir::toNativeSeparators(path)));
}

QSqlDatabase AddDatabase(const QString& driver, const QString& name)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, name);
    if (!db.isValid()) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw TAppError(QStringLiteral("缺少数据库驱动 %1，请安装后再试。").arg(driver));
    }
    return db;
}

// The connection of a server through ODBC connection string `odbc`: SQL
// Server through FreeTDS on Linux; on Windows, SQL Server and PostgreSQL
// through the drivers installed.
QSqlDatabase AddOdbcDatabase(const QString& odbc, const QString& name)
{
    QSqlDatabase db = AddDatabase(QStringLiteral("QODBC"), name);
    db.setDatabaseName(odbc);
    // The login timeout bounds connecting. ODBC defines the connection
    // timeout for every request on the connection; FreeTDS applies it only
    // while connecting and bounds requests by its own query timeout
    // (freetds.conf's "timeout", none by default).
    db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%2")
                             .arg(kConnectTimeoutSeconds)
                             .arg(kCommandTimeoutSeconds));
    return db;
}

QSqlDatabase AddPostgreSqlDatabase(const TConnectionSettings& settings, const QString& name)
{
    const THostPort server = SplitDataSource(settings.DataSource, kPostgreSqlDefaultPort);
    QSqlDatabase db = AddDatabase(QStringLiteral("QPSQL"), name);
    db.setHostName(server.Host);
    db.setPort(server.Port);
    db.setDatabaseName(settings.InitialCatalog);
    db.setUserName(settings.UserId);
    db.setPassword(settings.Password);
    db.setConnectOptions(PostgreSqlConnectOptions());
    return db;
}

// A command's task: runs `sql`.
std::optional<QString> ExecuteTask(TSqlSession& session, const QString& sql)
{
    QSqlQuery query(session.Database());
    if (!query.exec(sql))
        return query.lastError().text();
    return std::nullopt;
}

enum class TTransactionStep { Begin, Commit, Rollback };

std::optional<QString> TransactionTask(TSqlSession& session, TTransactionStep step)
{
    QSqlDatabase db = session.Database();
    const bool done = step == TTransactionStep::Begin    ? db.transaction()
                      : step == TTransactionStep::Commit ? db.commit()
                                                         : db.rollback();
    if (!done)
        return db.lastError().text();
    return std::nullopt;
}

}  // namespace

TDbConnection::TDbConnection() = default;

TDbConnection::~TDbConnection()
{
    Close();
}

void TDbConnection::Open()
{
    if (FConnected)
        return;
    const TConnectionSettings settings = SettingsFromConnectionString(FConnectionString);
    FProvider = settings.Provider;
    // A new name each time: a connection given up to its thread keeps its
    // name until the driver returns.
    FName = UniqueConnectionName();
    try {
        switch (settings.Provider) {
        case TDbProvider::Jet:
            OpenJet(settings);
            break;
        case TDbProvider::SQLite:
            OpenSQLite(settings);
            break;
        case TDbProvider::SqlServer:
        case TDbProvider::PostgreSQL:
            ServerUsesOdbc(settings.Provider) ? OpenOdbc(settings) : OpenServer(settings);
            break;
        }
    } catch (...) {
        Close();
        throw;
    }
    FConnected = true;
}

void TDbConnection::OpenJet(const TConnectionSettings& settings)
{
    // The poem file is SQLite 3 (no password of its own: the database
    // password is accepted and not needed) or Jet 3/4, read through libmdb,
    // which checks the password the file stores.
    const QString& path = settings.DataSource;
    if (path.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定数据库文件（Data Source）。"));
    const THeader header = ReadHeader(path);
    if (header == THeader::Jet) {
        FJet = TJetFile::Open(path, settings.Password);
        return;
    }
    if (header != THeader::SQLite)
        FailUnsupportedFile(path);
    FSession = std::make_unique<TSqlSession>(FName);
    QSqlDatabase db = AddDatabase(QStringLiteral("QSQLITE"), FName);
    db.setDatabaseName(path);
    db.setConnectOptions(
        QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1").arg(kCommandTimeoutSeconds * 1000));
    if (!db.open())
        throw TAppError(QStringLiteral("无法打开诗词数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(db.lastError().text())));
    // SQLite reads lazily; reading the schema now reports a damaged file here.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
        throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(probe.lastError().text())));
}

void TDbConnection::OpenSQLite(const TConnectionSettings& settings)
{
    // Written only by tools: the file must exist (empty or SQLite), so that a
    // typing error never creates a stray database somewhere else.
    const QString& path = settings.DataSource;
    if (path.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定数据库文件（Data Source）。"));
    const THeader header = ReadHeader(path);
    if (header == THeader::Jet)
        throw TAppError(
            QStringLiteral("%1 是 Jet 数据库文件，只能读取，不能写入。").arg(QDir::toNativeSeparators(path)));
    if (header != THeader::Empty && header != THeader::SQLite)
        FailUnsupportedFile(path);
    FSession = std::make_unique<TSqlSession>(FName);
    QSqlDatabase db = AddDatabase(QStringLiteral("QSQLITE"), FName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kCommandTimeoutSeconds * 1000));
    if (!db.open())
        throw TAppError(QStringLiteral("无法打开数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(db.lastError().text())));
}

// PostgreSQL through libpq, on this thread under the watchdog.
void TDbConnection::OpenServer(const TConnectionSettings& settings)
{
    FSession = std::make_unique<TSqlSession>(FName);
    QSqlDatabase db = AddPostgreSqlDatabase(settings, FName);
    FWatchdog = std::make_unique<TPgWatchdog>(db.driver());
    bool opened = false;
    {
        const TPgWatchdog::TRoundTrip trip(FWatchdog.get());
        opened = db.open();
    }
    if (FWatchdog)
        FWatchdog->Opened();
    // A driver cut off in its set-up queries may still call itself open.
    if (!opened || FWatchdog->Fired())
        throw TAppError(QStringLiteral("无法连接数据库服务器 %1：%2")
                            .arg(settings.DataSource, FWatchdog->Reason(db.lastError().text())));
}

// A server through ODBC, on a thread of the connection's own: the Qt
// connection is made, used and removed there.
void TDbConnection::OpenOdbc(const TConnectionSettings& settings)
{
    const QString odbc = ServerOdbcConnectionString(settings);
    FThread = std::make_unique<TSqlThread>(FName);
    const std::optional<QString> failure = FThread->Run([odbc](TSqlSession& session) -> std::optional<QString> {
        QSqlDatabase db = AddOdbcDatabase(odbc, session.Name);
        if (!db.open())
            return db.lastError().text();
        return std::nullopt;
    });
    if (failure)
        throw TAppError(QStringLiteral("无法连接数据库服务器 %1：%2").arg(settings.DataSource, *failure));
}

void TDbConnection::Close()
{
    // Queries go first: a Qt connection must not be removed under them.
    for (TDbQuery* query : FQueries) {
        query->Release();
        query->FConnection = nullptr;
    }
    FQueries.clear();
    Rollback();
    // The watchdog stops before the driver lets go of its socket. Closing
    // waits for no answer from the server, so it needs no deadline. A
    // connection's thread releases its Qt connection itself.
    FWatchdog.reset();
    FJet.reset();
    FThread.reset();
    FSession.reset();
    FConnected = false;
}

void TDbConnection::RequireOpen() const
{
    if (!FConnected)
        throw TAppError(QStringLiteral("数据库连接尚未打开。"));
}

void TDbConnection::RequireWritable() const
{
    RequireOpen();
    if (FJet)
        throw TAppError(QStringLiteral("Jet 数据库文件只能读取，不能修改。"));
}

void TDbConnection::Fail(const QString& message)
{
    Rollback();
    throw TAppError(message);
}

std::optional<QString> TDbConnection::Run(const TSqlTask& task)
{
    if (FThread)
        return FThread->Run(task);
    std::optional<QString> failure;
    {
        const TPgWatchdog::TRoundTrip trip(FWatchdog.get());
        failure = task(*FSession);
    }
    if (!failure)
        return std::nullopt;
    return FWatchdog ? FWatchdog->Reason(*failure) : DriverText(*failure);
}

void TDbConnection::Execute(const QString& sql)
{
    RequireWritable();
    if (const auto failure = Run([sql](TSqlSession& session) { return ExecuteTask(session, sql); }))
        Fail(QStringLiteral("数据库拒绝执行命令 %1：%2").arg(sql, *failure));
}

void TDbConnection::ExecuteBatch(const QString& sql, const std::function<bool(QVariantList& values)>& nextRow)
{
    RequireWritable();
    // Each command is a round trip of its own, and so is letting go of the
    // prepared statement; the rows are made in between, on this thread.
    const auto release = qScopeGuard([this] {
        Run([](TSqlSession& session) {
            session.Command.reset();
            return std::optional<QString>();
        });
    });
    const auto prepare = [sql](TSqlSession& session) -> std::optional<QString> {
        session.Command = std::make_unique<QSqlQuery>(session.Database());
        if (!session.Command->prepare(sql))
            return session.Command->lastError().text();
        return std::nullopt;
    };
    if (const auto failure = Run(prepare))
        Fail(QStringLiteral("数据库拒绝执行命令 %1：%2").arg(sql, *failure));
    QVariantList values;
    for (std::int64_t row = 1; nextRow(values); ++row) {
        const auto write = [values](TSqlSession& session) -> std::optional<QString> {
            for (qsizetype i = 0; i < values.size(); ++i)
                session.Command->bindValue(static_cast<int>(i), values[i]);
            if (!session.Command->exec())
                return session.Command->lastError().text();
            return std::nullopt;
        };
        if (const auto failure = Run(write))
            Fail(QStringLiteral("数据库拒绝写入第 %1 行（%2）：%3").arg(row).arg(sql, *failure));
    }
}

void TDbConnection::BeginTransaction()
{
    RequireWritable();
    if (const auto failure =
            Run([](TSqlSession& session) { return TransactionTask(session, TTransactionStep::Begin); }))
        throw TAppError(QStringLiteral("无法开始事务：%1").arg(*failure));
    FInTransaction = true;
}

void TDbConnection::Commit()
{
    RequireOpen();
    if (!FInTransaction)
        throw TAppError(QStringLiteral("没有可提交的事务。"));
    if (const auto failure =
            Run([](TSqlSession& session) { return TransactionTask(session, TTransactionStep::Commit); }))
        Fail(QStringLiteral("无法提交更改：%1").arg(*failure));
    FInTransaction = false;
}

void TDbConnection::Rollback() noexcept
{
    if (!FConnected || !FInTransaction)
        return;
    FInTransaction = false;
    Run([](TSqlSession& session) { return TransactionTask(session, TTransactionStep::Rollback); });
}

std::unique_ptr<TDbCursor> TDbConnection::OpenCursor(const QString& sql)
{
    if (FJet)
        return FJet->OpenCursor(sql);
    if (FThread)
        return OpenQtSqlCursor(*FThread, sql);
    const QSqlDatabase db = FSession->Database();
    // SQLite files are read through the driver's own handle, without a QVariant per value.
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData()))
            return OpenSQLiteCursor(sqlite, sql);
    // A PostgreSQL result comes in batches, each bound by the command timeout.
    if (!FWatchdog)
        throw TAppError(QStringLiteral("数据库连接无法读取查询结果。"));
    return OpenPostgreSqlCursor(db, *FWatchdog, sql, FInTransaction);
}

void TDbConnection::Attach(TDbQuery* query)
{
    FQueries.push_back(query);
}

void TDbConnection::Detach(TDbQuery* query)
{
    FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), query), FQueries.end());
}
