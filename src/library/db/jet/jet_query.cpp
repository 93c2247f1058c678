#include "library/db/jet/jet_query.h"

#include "library/app_error.h"

#include <QRegularExpression>

namespace {

bool Holds(TJetQuery::TOp op, std::int64_t id, std::int64_t value)
{
    switch (op) {
    case TJetQuery::TOp::Less:
        return id < value;
    case TJetQuery::TOp::LessEqual:
        return id <= value;
    case TJetQuery::TOp::Greater:
        return id > value;
    case TJetQuery::TOp::GreaterEqual:
        return id >= value;
    case TJetQuery::TOp::Equal:
        return id == value;
    }
    return false;
}

TJetQuery::TOp OpOf(QStringView op)
{
    if (op == u"<")
        return TJetQuery::TOp::Less;
    if (op == u"<=")
        return TJetQuery::TOp::LessEqual;
    if (op == u">")
        return TJetQuery::TOp::Greater;
    if (op == u">=")
        return TJetQuery::TOp::GreaterEqual;
    return TJetQuery::TOp::Equal;
}

[[noreturn]] void FailQuery(const QString& sql)
{
    throw TAppError(QStringLiteral("Jet 数据库文件只能执行读取诗词来源的查询，无法执行：%1").arg(sql));
}

}  // namespace

bool TJetQuery::Passes(const std::int64_t* id) const
{
    if (Conditions.empty())
        return true;
    if (!id)
        return false;
    for (const TCondition& condition : Conditions)
        if (!Holds(condition.Op, *id, condition.Value))
            return false;
    return true;
}

TJetQuery ParseJetQuery(const QString& sql)
{
    static const QRegularExpression shape(
        QStringLiteral(R"(^\s*SELECT\s+\*\s+FROM\s+([A-Za-z_][A-Za-z0-9_]*)\s+WHERE\s+1\s*=\s*1)"
                       R"(((?:\s+AND\s+ID\s*(?:<=|>=|<|>|=)\s*[+-]?\d+)*)\s*$)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression condition(QStringLiteral(R"(\s+AND\s+ID\s*(<=|>=|<|>|=)\s*([+-]?\d+))"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(sql);
    if (!match.hasMatch())
        FailQuery(sql);
    TJetQuery query;
    query.Table = match.captured(1);
    QRegularExpressionMatchIterator it = condition.globalMatch(match.captured(2));
    while (it.hasNext()) {
        const QRegularExpressionMatch part = it.next();
        bool ok = false;
        const std::int64_t value = part.captured(2).toLongLong(&ok);
        if (!ok)
            FailQuery(sql);
        query.Conditions.push_back({OpOf(part.captured(1)), value});
    }
    return query;
}
