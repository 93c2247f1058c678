#include "library/db/odbc_drivers.h"

#include "library/app_error.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <sql.h>
#include <sqlext.h>
#endif

#include <algorithm>
#include <array>
#include <atomic>

namespace {

const QString kFreeTds = QStringLiteral("FreeTDS");
const QString kPsqlOdbc = QStringLiteral("PostgreSQL Unicode");

std::atomic<bool> gPostgreSqlThroughOdbc{false};

// `value` as it can stand in an ODBC connection string: in braces when the
// ODBC syntax would otherwise misread it.
QString OdbcValue(const QString& value)
{
    static const QString special = QStringLiteral(";{}=[](),?*!@");
    const bool needsBraces = std::any_of(value.begin(), value.end(), [](QChar c) { return special.contains(c); });
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QStringLiteral("}"), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

// libpq's options for psqlODBC, which passes them on (pqopt): the same
// connection, network and statement timeouts as Qt's PostgreSQL driver gets.
QString PostgreSqlOdbcOptions()
{
    QString options = PostgreSqlConnectOptions();
    options.replace(u';', u' ');
    return QStringLiteral("{%1}").arg(options);
}

}  // namespace

bool ServerUsesOdbc(TDbProvider provider)
{
#ifdef Q_OS_WIN
    return provider == TDbProvider::SqlServer || provider == TDbProvider::PostgreSQL;
#else
    return provider == TDbProvider::SqlServer || (provider == TDbProvider::PostgreSQL && gPostgreSqlThroughOdbc);
#endif
}

bool SetPostgreSqlThroughOdbc(bool odbc)
{
    return gPostgreSqlThroughOdbc.exchange(odbc);
}

QStringList WindowsOdbcDrivers(TDbProvider provider)
{
    if (provider == TDbProvider::PostgreSQL)
        return {QStringLiteral("PostgreSQL Unicode(x64)"), kPsqlOdbc};
    return {QStringLiteral("ODBC Driver 18 for SQL Server"), QStringLiteral("ODBC Driver 17 for SQL Server"),
            QStringLiteral("SQL Server"), kFreeTds};
}

QString ChooseOdbcDriver(TDbProvider provider, const QStringList& installed)
{
    for (const QString& driver : WindowsOdbcDrivers(provider))
        if (installed.contains(driver, Qt::CaseInsensitive))
            return driver;
    return {};
}

QString OdbcConnectionString(const TConnectionSettings& settings, const QString& driver)
{
    const bool postgreSql = settings.Provider == TDbProvider::PostgreSQL;
    const bool freeTds = driver == kFreeTds;
    // Data Source is host, host,port or host\instance. The SQL Server drivers
    // take it as it is, FreeTDS the instance form in SERVER and a port in PORT.
    QString server = settings.DataSource.trimmed();
    QString port;
    if (postgreSql || server.contains(u',')) {
        const THostPort hostPort = SplitDataSource(server, postgreSql ? kPostgreSqlDefaultPort : kSqlServerDefaultPort);
        server = hostPort.Host;
        port = QString::number(hostPort.Port);
    }
    if (server.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定服务器（Data Source）。"));
    QString text = QStringLiteral("DRIVER={%1};SERVER=").arg(driver) + OdbcValue(server);
    if (!port.isEmpty())
        text += (postgreSql || freeTds ? QStringLiteral(";PORT=") : QStringLiteral(",")) + port;
    if (!settings.InitialCatalog.isEmpty())
        text += QStringLiteral(";DATABASE=") + OdbcValue(settings.InitialCatalog);
    text += QStringLiteral(";UID=") + OdbcValue(settings.UserId);
    text += QStringLiteral(";PWD=") + OdbcValue(settings.Password);
    if (freeTds)
        return text + QStringLiteral(";TDS_Version=7.4;ClientCharset=UTF-8");
    // psqlODBC reads a result through a server-side cursor in batches, each
    // FETCH a command of its own under the command timeout, as the PostgreSQL
    // cursor of Linux builds does; one long SELECT would be cut off.
    if (postgreSql)
        return text + QStringLiteral(";UseDeclareFetch=1;Fetch=%1;pqopt=").arg(kPostgreSqlBatchRows) +
               PostgreSqlOdbcOptions();
    // The game's strings ask for no encryption ("Use Encryption for Data=False"),
    // which ODBC Driver 18 would otherwise demand.
    return text + QStringLiteral(";Encrypt=no");
}

QStringList InstalledOdbcDrivers()
{
    QStringList drivers;
#ifdef Q_OS_WIN
    SQLHENV env = SQL_NULL_HENV;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)))
        return drivers;
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    std::array<SQLWCHAR, 256> name{};
    std::array<SQLWCHAR, 2048> attributes{};
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (
        SQL_SUCCEEDED(SQLDriversW(env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                  attributes.data(), static_cast<SQLSMALLINT>(attributes.size()), &attributesLength))) {
        drivers << QString::fromWCharArray(reinterpret_cast<const wchar_t*>(name.data()));
        direction = SQL_FETCH_NEXT;
    }
    SQLFreeHandle(SQL_HANDLE_ENV, env);
#endif
    return drivers;
}

QString ServerOdbcConnectionString(const TConnectionSettings& settings)
{
#ifdef Q_OS_WIN
    const QString driver = ChooseOdbcDriver(settings.Provider, InstalledOdbcDrivers());
    if (driver.isEmpty()) {
        const bool postgreSql = settings.Provider == TDbProvider::PostgreSQL;
        throw TAppError(postgreSql ? QStringLiteral("无法连接数据库服务器 %1：没有安装 PostgreSQL 的 ODBC 驱动程序"
                                                    "（psqlODBC，驱动名 PostgreSQL Unicode）。请先安装 psqlODBC。")
                                         .arg(settings.DataSource)
                                   : QStringLiteral("无法连接数据库服务器 %1：没有安装 SQL Server 的 ODBC 驱动程序"
                                                    "（SQL Server 或 ODBC Driver 17/18 for SQL Server）。")
                                         .arg(settings.DataSource));
    }
    return OdbcConnectionString(settings, driver);
#else
    if (settings.Provider == TDbProvider::PostgreSQL)
        return OdbcConnectionString(settings, kPsqlOdbc);
    return OdbcConnectionString(settings, kFreeTds);
#endif
}
