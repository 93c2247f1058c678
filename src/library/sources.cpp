#include "library/sources.h"

#include "deployment_defaults.h"
#include "library/app_error.h"

#include <array>

namespace {

const std::array<TPoemSource, kSourceCount>& Sources()
{
    static const std::array<TPoemSource, kSourceCount> sources{{
        {QStringLiteral("唐诗三百首"), QStringLiteral("TBZ300"), QString(), false},
        {QStringLiteral("小学诗词"), QStringLiteral("TB112"), QStringLiteral(" AND ID<140"), false},
        {QStringLiteral("初中诗词"), QStringLiteral("TB112"), QStringLiteral(" AND ID>=140 AND ID<=269"), false},
        {QStringLiteral("高中诗词"), QStringLiteral("TB112"), QStringLiteral(" AND ID>=270 AND ID<=342"), false},
        {QStringLiteral("其他诗词"), QStringLiteral("TB100"), QString(), true},
    }};
    return sources;
}

}  // namespace

const TPoemSource& SourceOf(int index)
{
    if (index < 0 || index >= kSourceCount)
        throw TAppError(QStringLiteral("没有第 %1 号诗词来源。").arg(index));
    return Sources()[static_cast<std::size_t>(index)];
}

QString CountSql(const TPoemSource& source)
{
    return QStringLiteral("SELECT COUNT(*) AS Cnt FROM ") + source.Table + QStringLiteral(" WHERE 1=1") + source.Filter;
}

QString PoemsSql(const TPoemSource& source)
{
    return QStringLiteral("SELECT * FROM ") + source.Table + QStringLiteral(" WHERE 1=1") + source.Filter;
}

QString DeploymentVariable(TDeploymentKey key)
{
    switch (key) {
    case TDeploymentKey::DbPassword:
        return QStringLiteral("VERSEQUEST_DB_PASSWORD");
    case TDeploymentKey::RemoteConnection:
        return QStringLiteral("VERSEQUEST_REMOTE_CONNECTION");
    }
    return {};
}

QString DeploymentValue(TDeploymentKey key)
{
    const QString variable = DeploymentVariable(key);
    if (qEnvironmentVariableIsSet(variable.toLatin1().constData()))
        return qEnvironmentVariable(variable.toLatin1().constData());
    switch (key) {
    case TDeploymentKey::DbPassword:
        return QString::fromUtf8(VERSEQUEST_DEFAULT_DB_PASSWORD);
    case TDeploymentKey::RemoteConnection:
        return QString::fromUtf8(VERSEQUEST_DEFAULT_REMOTE_CONNECTION);
    }
    return {};
}
