#include "library/db/connection_string.h"

#include "library/app_error.h"

#include <algorithm>
#include <utility>

namespace {

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

// Adds the "key=value" pair of `part` (part `number` of the string) to
// `pairs`; a blank part adds nothing.
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

// A value is wrapped in braces when the ODBC syntax would otherwise misread it.
QString QuoteConnectionValue(const QString& value)
{
    const bool plain =
        !value.contains(u';') && !value.contains(u'"') && !value.contains(u'\'') && value == value.trimmed();
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

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

QString LocalConnectionString(const QString& path, const QString& password)
{
    // Values that would break the string (a ";" in a folder name) are quoted;
    // ordinary ones stand as they are.
    return QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=") + QuoteConnectionValue(path) +
           QStringLiteral(";") + QStringLiteral("Jet OLEDB:Database Password=") + QuoteConnectionValue(password) +
           QStringLiteral(";") + QStringLiteral("Locale Identifier=2052;");
}
