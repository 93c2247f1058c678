#include "library/db/qt_sql_cursor.h"

#include "library/app_error.h"
#include "library/db/database_cursor.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

class TQtSqlCursor final : public TDbCursor {
public:
    TQtSqlCursor(const QSqlDatabase& db, const QString& sql) : FQuery(db), FSql(sql)
    {
        FQuery.setForwardOnly(true);
        if (!FQuery.exec(sql))
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, DriverText(FQuery.lastError().text())));
    }
    ~TQtSqlCursor() override { FQuery.finish(); }
    TQtSqlCursor(const TQtSqlCursor&) = delete;
    TQtSqlCursor& operator=(const TQtSqlCursor&) = delete;

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
            throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, DriverText(error.text())));
        return false;
    }

    QVariant Value(int index) const override { return FQuery.value(index); }

private:
    QSqlQuery FQuery;
    QString FSql;
};

}  // namespace

std::unique_ptr<TDbCursor> OpenQtSqlCursor(const QSqlDatabase& db, const QString& sql)
{
    return std::make_unique<TQtSqlCursor>(db, sql);
}
