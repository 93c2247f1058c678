#include "library/database.h"

#include "library/app_error.h"
#include "library/database_cursor.h"
#include "library/jet_file.h"
#include "library/odbc_drivers.h"
#include "library/pg_cursor.h"
#include "library/sqlite_cursor.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <atomic>
#include <utility>

namespace {

// The first 16 bytes of every SQLite 3 file.
constexpr char kSQLiteHeader[] = "SQLite format 3";  // with its terminating zero: 16 bytes
constexpr qint64 kSQLiteHeaderSize = sizeof(kSQLiteHeader);
static_assert(kSQLiteHeaderSize == 16);

constexpr int kPostgreSqlDefaultPort = 5432;
constexpr int kSqlServerDefaultPort = 1433;

QString DriverText(const QSqlError& error)
{
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("驱动程序没有给出原因") : text;
}

QString UniqueConnectionName()
{
    static std::atomic<unsigned> counter{0};
    return QStringLiteral("versequest-db-%1").arg(++counter);
}

// Strips one pair of matching quotes; a doubled quote inside stands for one.
QString Unquote(const QString& value)
{
    if (value.size() >= 2) {
        const QChar quote = value.front();
        if ((quote == u'"' || quote == u'\'') && value.back() == quote) {
            QString inner = value.mid(1, value.size() - 2);
            inner.replace(QString(2, quote), QString(quote));
            return inner;
        }
    }
    return value;
}

}  // namespace

// A value is wrapped in braces when the ODBC syntax would otherwise misread it.
QString OdbcValue(const QString& value)
{
    static const QString special = QStringLiteral(";{}=[](),?*!@");
    const bool needsBraces = std::any_of(value.begin(), value.end(), [](QChar c) {
        return special.contains(c);
    });
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

namespace {

enum class THeader { Empty, SQLite, Jet, Other };

// Enough of a file's start to tell SQLite from Jet.
constexpr qint64 kHeaderProbeSize = 20;

// What the file at `path` starts with. Raises TAppError when it cannot be read.
THeader ReadHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TAppError(QStringLiteral("无法打开诗词数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), file.errorString()));
    const QByteArray head = file.read(kHeaderProbeSize);
    if (head.isEmpty())
        return file.size() == 0 ? THeader::Empty : THeader::Other;
    if (head.left(kSQLiteHeaderSize) == QByteArray(kSQLiteHeader, kSQLiteHeaderSize))
        return THeader::SQLite;
    return IsJetHeader(head) ? THeader::Jet : THeader::Other;
}

[[noreturn]] void FailUnsupportedFile(const QString& path)
{
    throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：不是可识别的诗词数据库文件（既不是 SQLite 3 也不是 Jet 3/4 数据库）")
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

// A result read through Qt SQL.
class TQtSqlCursor final : public TDbCursor {
public:
    TQtSqlCursor(const QSqlDatabase& db, const QString& sql) : FQuery(db), FSql(sql)
    {
        FQuery.setForwardOnly(true);
        if (!FQuery.exec(sql))
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, DriverText(FQuery.lastError())));
    }
    ~TQtSqlCursor() override { FQuery.finish(); }

    QStringList ColumnNames() const override
    {
        const QSqlRecord record = FQuery.record();
        QStringList names;
        for (int i = 0; i < record.count(); ++i)
            names.push_back(record.fieldName(i));
        return names;
    }

    bool Next() override
    {
        if (FQuery.next())
            return true;
        const QSqlError error = FQuery.lastError();
        if (error.isValid())
            throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, DriverText(error)));
        return false;
    }

    QVariant Value(int index) const override { return FQuery.value(index); }

private:
    QSqlQuery FQuery;
    QString FSql;
};

}  // namespace

// ---- Connection strings -------------------------------------------------------

QString QuoteConnectionValue(const QString& value)
{
    const bool plain = !value.contains(u';') && !value.contains(u'"') && !value.contains(u'\'') &&
                       value == value.trimmed();
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// Adds the "key=value" pair `pair` (part `number` of the string) to `pairs`;
// a blank part adds nothing.
void AddConnectionPair(QMap<QString, QString>& pairs, const QString& part, int number)
{
    const QString pair = part.trimmed();
    if (pair.isEmpty())
        return;
    const qsizetype equals = pair.indexOf(u'=');
    if (equals <= 0)
        throw TAppError(QStringLiteral("连接字符串有误：第 %1 项不是“键=值”的形式。").arg(number));
    const QString key = pair.left(equals).trimmed().toLower();
    if (key.isEmpty())
        throw TAppError(QStringLiteral("连接字符串有误：第 %1 项缺少键名。").arg(number));
    pairs.insert(key, Unquote(pair.mid(equals + 1).trimmed()));
}

}  // namespace

QMap<QString, QString> ParseConnectionString(const QString& text)
{
    QMap<QString, QString> pairs;
    QString current;
    QChar quote;  // the quote a value is open with, or null
    bool inValue = false;
    int number = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!quote.isNull()) {
            current += c;
            if (c == quote) {
                // A doubled quote stays inside the value.
                if (i + 1 < text.size() && text.at(i + 1) == quote) {
                    current += text.at(++i);
                } else {
                    quote = QChar();
                }
            }
            continue;
        }
        if (c == u';') {
            AddConnectionPair(pairs, std::exchange(current, QString()), number++);
            inValue = false;
            continue;
        }
        if (c == u'=' && !inValue) {
            inValue = true;
            current += c;
            // A value may open with a quote after optional blanks.
            qsizetype j = i + 1;
            while (j < text.size() && text.at(j).isSpace())
                current += text.at(j++);
            if (j < text.size() && (text.at(j) == u'"' || text.at(j) == u'\'')) {
                quote = text.at(j);
                current += quote;
                i = j;
            } else {
                i = j - 1;
            }
            continue;
        }
        current += c;
    }
    if (!quote.isNull())
        throw TAppError(QStringLiteral("连接字符串有误：引号没有闭合。"));
    AddConnectionPair(pairs, current, number);
    return pairs;
}

TConnectionSettings SettingsFromConnectionString(const QString& text)
{
    const QMap<QString, QString> pairs = ParseConnectionString(text);
    TConnectionSettings settings;
    const QString provider = pairs.value(QStringLiteral("provider")).trimmed();
    if (provider.compare(QStringLiteral("Microsoft.Jet.OLEDB.4.0"), Qt::CaseInsensitive) == 0) {
        settings.Provider = TDbProvider::Jet;
        settings.Password = pairs.value(QStringLiteral("jet oledb:database password"));
    } else if (provider.compare(QStringLiteral("SQLite"), Qt::CaseInsensitive) == 0) {
        settings.Provider = TDbProvider::SQLite;
    } else if (provider.compare(QStringLiteral("SQLOLEDB.1"), Qt::CaseInsensitive) == 0 ||
               provider.compare(QStringLiteral("SQLOLEDB"), Qt::CaseInsensitive) == 0) {
        settings.Provider = TDbProvider::SqlServer;
    } else if (provider.compare(QStringLiteral("PostgreSQL"), Qt::CaseInsensitive) == 0) {
        settings.Provider = TDbProvider::PostgreSQL;
    } else if (provider.isEmpty()) {
        throw TAppError(QStringLiteral("连接字符串中没有指定数据库提供程序（Provider）。"));
    } else {
        throw TAppError(QStringLiteral("不支持的数据库提供程序：%1").arg(provider));
    }
    settings.DataSource = pairs.value(QStringLiteral("data source"));
    settings.InitialCatalog = pairs.value(QStringLiteral("initial catalog"));
    if (settings.Provider != TDbProvider::Jet) {
        settings.UserId = pairs.value(QStringLiteral("user id"));
        settings.Password = pairs.value(QStringLiteral("password"));
    }
    return settings;
}

THostPort SplitDataSource(const QString& dataSource, int defaultPort)
{
    THostPort result;
    const qsizetype comma = dataSource.indexOf(u',');
    result.Host = (comma < 0 ? dataSource : dataSource.left(comma)).trimmed();
    result.Port = defaultPort;
    if (comma >= 0) {
        bool ok = false;
        const int port = dataSource.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            throw TAppError(QStringLiteral("服务器地址 %1 的端口无效。").arg(dataSource));
        result.Port = port;
    }
    if (result.Host.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定服务器（Data Source）。"));
    return result;
}

QString OdbcConnectionString(const TConnectionSettings& settings)
{
    // Data Source is host, host,port or host\instance; FreeTDS takes the
    // instance form in SERVER and a port in PORT.
    QString server = settings.DataSource.trimmed();
    QString port;
    if (server.contains(u',')) {
        const THostPort hostPort = SplitDataSource(server, kSqlServerDefaultPort);
        server = hostPort.Host;
        port = QString::number(hostPort.Port);
    }
    if (server.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定服务器（Data Source）。"));
    QString text = QStringLiteral("DRIVER={FreeTDS};SERVER=") + OdbcValue(server);
    if (!port.isEmpty())
        text += QStringLiteral(";PORT=") + port;
    if (!settings.InitialCatalog.isEmpty())
        text += QStringLiteral(";DATABASE=") + OdbcValue(settings.InitialCatalog);
    text += QStringLiteral(";UID=") + OdbcValue(settings.UserId);
    text += QStringLiteral(";PWD=") + OdbcValue(settings.Password);
    text += QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
    return text;
}

QString PostgreSqlConnectOptions()
{
    // A network that goes silent mid-query is noticed by TCP itself: keepalive
    // probes while waiting for an answer, and a user timeout on unanswered
    // sends; otherwise libpq waits as long as TCP retries, a quarter of an hour.
    // Notices (a DROP TABLE IF EXISTS that finds nothing) are of no use here.
    return QStringLiteral("connect_timeout=%1;keepalives=1;keepalives_idle=%2;keepalives_interval=%3;"
                          "keepalives_count=%4;tcp_user_timeout=%5;"
                          "options='-c statement_timeout=%6 -c client_min_messages=warning'")
        .arg(kConnectTimeoutSeconds)
        .arg(kKeepaliveIdleSeconds)
        .arg(kKeepaliveIntervalSeconds)
        .arg(kKeepaliveCount)
        .arg(kNetworkSilenceSeconds * 1000)
        .arg(kCommandTimeoutSeconds * 1000);
}

// ---- Connection -----------------------------------------------------------------

TDbConnection::TDbConnection() : FName(UniqueConnectionName()) {}

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
            OpenServer(settings);
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
    QSqlDatabase db = AddDatabase(QStringLiteral("QSQLITE"), FName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=%1")
                             .arg(kCommandTimeoutSeconds * 1000));
    if (!db.open())
        throw TAppError(QStringLiteral("无法打开诗词数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(db.lastError())));
    // SQLite reads lazily; reading the schema now reports a damaged file here.
    QSqlQuery probe(db);
    if (!probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")))
        throw TAppError(QStringLiteral("无法读取诗词数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(probe.lastError())));
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
        throw TAppError(QStringLiteral("%1 是 Jet 数据库文件，只能读取，不能写入。").arg(QDir::toNativeSeparators(path)));
    if (header != THeader::Empty && header != THeader::SQLite)
        FailUnsupportedFile(path);
    QSqlDatabase db = AddDatabase(QStringLiteral("QSQLITE"), FName);
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kCommandTimeoutSeconds * 1000));
    if (!db.open())
        throw TAppError(QStringLiteral("无法打开数据库文件 %1：%2")
                            .arg(QDir::toNativeSeparators(path), DriverText(db.lastError())));
}

void TDbConnection::OpenServer(const TConnectionSettings& settings)
{
    QSqlDatabase db;
    if (ServerUsesOdbc(settings.Provider)) {
        const QString odbc = ServerOdbcConnectionString(settings);
        db = AddDatabase(QStringLiteral("QODBC"), FName);
        db.setDatabaseName(odbc);
        // The connection timeout of ODBC bounds every request on the
        // connection, which makes it the command timeout as well.
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1;SQL_ATTR_CONNECTION_TIMEOUT=%2")
                                 .arg(kConnectTimeoutSeconds)
                                 .arg(kCommandTimeoutSeconds));
    } else {
        const THostPort server = SplitDataSource(settings.DataSource, kPostgreSqlDefaultPort);
        db = AddDatabase(QStringLiteral("QPSQL"), FName);
        db.setHostName(server.Host);
        db.setPort(server.Port);
        db.setDatabaseName(settings.InitialCatalog);
        db.setUserName(settings.UserId);
        db.setPassword(settings.Password);
        db.setConnectOptions(PostgreSqlConnectOptions());
    }
    if (!db.open())
        throw TAppError(QStringLiteral("无法连接数据库服务器 %1：%2")
                            .arg(settings.DataSource, DriverText(db.lastError())));
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
    FJet.reset();
    if (QSqlDatabase::contains(FName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(FName, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(FName);
    }
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

void TDbConnection::Execute(const QString& sql)
{
    RequireWritable();
    QSqlQuery query(QSqlDatabase::database(FName, false));
    if (!query.exec(sql))
        Fail(QStringLiteral("数据库拒绝执行命令 %1：%2").arg(sql, DriverText(query.lastError())));
}

void TDbConnection::ExecuteBatch(const QString& sql, const std::vector<QVariantList>& rows)
{
    std::size_t next = 0;
    ExecuteBatch(sql, [&](QVariantList& values) {
        if (next == rows.size())
            return false;
        values = rows[next++];
        return true;
    });
}

void TDbConnection::ExecuteBatch(const QString& sql, const std::function<bool(QVariantList& values)>& nextRow)
{
    RequireWritable();
    QSqlQuery query(QSqlDatabase::database(FName, false));
    if (!query.prepare(sql))
        Fail(QStringLiteral("数据库拒绝执行命令 %1：%2").arg(sql, DriverText(query.lastError())));
    QVariantList values;
    for (std::int64_t row = 1; nextRow(values); ++row) {
        for (qsizetype i = 0; i < values.size(); ++i)
            query.bindValue(static_cast<int>(i), values[i]);
        if (!query.exec())
            Fail(QStringLiteral("数据库拒绝写入第 %1 行（%2）：%3")
                     .arg(row)
                     .arg(sql, DriverText(query.lastError())));
    }
}

void TDbConnection::BeginTransaction()
{
    RequireWritable();
    QSqlDatabase db = QSqlDatabase::database(FName, false);
    if (!db.transaction())
        throw TAppError(QStringLiteral("无法开始事务：%1").arg(DriverText(db.lastError())));
    FInTransaction = true;
}

void TDbConnection::Commit()
{
    RequireOpen();
    if (!FInTransaction)
        throw TAppError(QStringLiteral("没有可提交的事务。"));
    QSqlDatabase db = QSqlDatabase::database(FName, false);
    if (!db.commit())
        Fail(QStringLiteral("无法提交更改：%1").arg(DriverText(db.lastError())));
    FInTransaction = false;
}

void TDbConnection::Rollback() noexcept
{
    if (!FConnected || !FInTransaction)
        return;
    FInTransaction = false;
    QSqlDatabase db = QSqlDatabase::database(FName, false);
    db.rollback();
}

std::unique_ptr<TDbCursor> TDbConnection::OpenCursor(const QString& sql)
{
    if (FJet)
        return FJet->OpenCursor(sql);
    const QSqlDatabase db = QSqlDatabase::database(FName, false);
    // SQLite files are read through the driver's own handle, without a QVariant per value.
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        if (sqlite3* sqlite = *static_cast<sqlite3* const*>(handle.constData()))
            return OpenSQLiteCursor(sqlite, sql);
    // A PostgreSQL result comes in batches, each bound by the command timeout.
    if (FProvider == TDbProvider::PostgreSQL)
        return OpenPostgreSqlCursor(db, sql, FInTransaction);
    return std::make_unique<TQtSqlCursor>(db, sql);
}

void TDbConnection::Attach(TDbQuery* query)
{
    FQueries.push_back(query);
}

void TDbConnection::Detach(TDbQuery* query)
{
    FQueries.erase(std::remove(FQueries.begin(), FQueries.end(), query), FQueries.end());
}

// ---- Query ----------------------------------------------------------------------

TDbQuery::TDbQuery(TDbConnection& connection) : FConnection(&connection)
{
    connection.Attach(this);
}

TDbQuery::~TDbQuery()
{
    Release();
    if (FConnection)
        FConnection->Detach(this);
}

void TDbQuery::Release()
{
    FCursor.reset();
    FNames.clear();
    FEof = true;
    FOnFirstRow = false;
}

void TDbQuery::Open()
{
    Release();
    if (!FConnection)
        throw TAppError(QStringLiteral("查询的数据库连接已关闭。"));
    FConnection->RequireOpen();
    std::unique_ptr<TDbCursor> cursor = FConnection->OpenCursor(FSql);
    FNames = cursor->ColumnNames();
    FCursor = std::move(cursor);
    FEof = false;
    Next();
    FOnFirstRow = !FEof;
}

void TDbQuery::Close()
{
    Release();
}

void TDbQuery::First()
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (!FOnFirstRow)
        Open();
}

void TDbQuery::Next()
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (FEof)
        return;
    FOnFirstRow = false;
    try {
        if (FCursor->Next())
            return;
    } catch (...) {
        Release();
        throw;
    }
    FEof = true;
}

int TDbQuery::FieldCount() const
{
    return static_cast<int>(FNames.size());
}

QString TDbQuery::FieldName(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw TAppError(QStringLiteral("查询结果没有第 %1 列。").arg(index));
    return FNames.at(index);
}

void TDbQuery::RequireRow() const
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (FEof)
        throw TAppError(QStringLiteral("查询没有当前行。"));
}

int TDbQuery::IndexOf(const QString& name) const
{
    for (int i = 0; i < FieldCount(); ++i)
        if (FNames.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    throw TAppError(QStringLiteral("查询结果中没有 %2 列（%1）。").arg(FSql, name));
}

QString TDbQuery::TextOf(int index) const
{
    RequireRow();
    const QVariant value = FCursor->Value(index);
    if (!value.isValid() || value.isNull())
        return {};
    if (!value.canConvert<QString>())
        throw TAppError(QStringLiteral("%1 列的值无法读作文本。").arg(FNames.at(index)));
    return value.toString();
}

QString TDbQuery::FieldText(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw TAppError(QStringLiteral("查询结果没有第 %1 列。").arg(index));
    return TextOf(index);
}

QString TDbQuery::FieldAsText(const QString& name) const
{
    return TextOf(IndexOf(name));
}

void TDbQuery::FieldGbk(int index, std::string& gbk) const
{
    if (index < 0 || index >= FieldCount())
        throw TAppError(QStringLiteral("查询结果没有第 %1 列。").arg(index));
    RequireRow();
    if (!FCursor->GbkText(index, gbk))
        throw TAppError(QStringLiteral("%1 列的值无法读作文本。").arg(FNames.at(index)));
}

std::int64_t TDbQuery::FieldAsInteger(const QString& name) const
{
    const int index = IndexOf(name);
    RequireRow();
    const QVariant value = FCursor->Value(index);
    bool ok = false;
    const qlonglong number = value.isNull() ? 0 : value.toLongLong(&ok);
    if (!ok)
        throw TAppError(QStringLiteral("%1 列的值不是整数。").arg(FNames.at(index)));
    return number;
}
