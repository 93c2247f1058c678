#include "library/odbc_drivers.h"

#include "library/app_error.h"
#include "library/pg_cursor.h"

#ifdef Q_OS_WIN
#include <windows.h>

#include <sql.h>
#include <sqlext.h>
#endif

#include <array>
#include <atomic>

namespace {

constexpr int kPostgreSqlPort = 5432;
constexpr int kSqlServerPort = 1433;
const QString kFreeTds = QStringLiteral("FreeTDS");
const QString kPsqlOdbc = QStringLiteral("PostgreSQL Unicode");

std::atomic<bool> gPostgreSqlThroughOdbc{false};

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

QString WindowsOdbcConnectionString(const TConnectionSettings& settings, const QString& driver)
{
    if (driver == kFreeTds)
        return OdbcConnectionString(settings);
    const bool postgreSql = settings.Provider == TDbProvider::PostgreSQL;
    // Microsoft's drivers take host, host,port or host\instance as they are.
    QString server = settings.DataSource.trimmed();
    QString port;
    if (postgreSql || server.contains(u',')) {
        const THostPort hostPort = SplitDataSource(server, postgreSql ? kPostgreSqlPort : kSqlServerPort);
        server = hostPort.Host;
        port = QString::number(hostPort.Port);
    }
    if (server.isEmpty())
        throw TAppError(QStringLiteral("连接字符串中没有指定服务器（Data Source）。"));
    QString text = QStringLiteral("DRIVER={%1};SERVER=").arg(driver) + OdbcValue(server);
    if (!port.isEmpty())
        text += postgreSql ? QStringLiteral(";PORT=") + port : QStringLiteral(",") + port;
    if (!settings.InitialCatalog.isEmpty())
        text += QStringLiteral(";DATABASE=") + OdbcValue(settings.InitialCatalog);
    text += QStringLiteral(";UID=") + OdbcValue(settings.UserId);
    text += QStringLiteral(";PWD=") + OdbcValue(settings.Password);
    // The game's strings ask for no encryption ("Use Encryption for Data=False"),
    // which ODBC Driver 18 would otherwise demand.
    // psqlODBC reads a result through a server-side cursor in batches, each
    // FETCH a command of its own under the command timeout, as the PostgreSQL
    // cursor of Linux builds does; one long SELECT would be cut off.
    text += postgreSql ? QStringLiteral(";UseDeclareFetch=1;Fetch=%1;pqopt=").arg(kPostgreSqlBatchRows) +
                             PostgreSqlOdbcOptions()
                       : QStringLiteral(";Encrypt=no");
    return text;
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
    while (SQL_SUCCEEDED(SQLDriversW(env, direction, name.data(), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                                     attributes.data(), static_cast<SQLSMALLINT>(attributes.size()),
                                     &attributesLength))) {
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
    return WindowsOdbcConnectionString(settings, driver);
#else
    if (settings.Provider == TDbProvider::PostgreSQL)
        return WindowsOdbcConnectionString(settings, kPsqlOdbc);
    return OdbcConnectionString(settings);
#endif
}
