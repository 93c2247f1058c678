#include "library/db/qt_sql_cursor.h"

#include "library/app_error.h"
#include "library/db/database_cursor.h"
#include "library/db/sql_thread.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>
#include <optional>
#include <vector>

namespace {

using TRows = std::vector<QVariantList>;

// The result `number` of `session`: up to kQtSqlBatchRows more rows into
// `rows`, `*atEnd` once they are used up; the driver's text when a read fails.
std::optional<QString> ReadBatch(TSqlSession& session, unsigned number, TRows& rows, bool& atEnd)
{
    QSqlQuery& query = *session.Cursors.at(number);
    const int columns = query.record().count();
    while (rows.size() < static_cast<std::size_t>(kQtSqlBatchRows)) {
        if (!query.next()) {
            if (const QSqlError error = query.lastError(); error.isValid())
                return error.text();
            atEnd = true;
            return std::nullopt;
        }
        QVariantList values;
        values.reserve(columns);
        for (int i = 0; i < columns; ++i)
            values.push_back(query.value(i));
        rows.push_back(std::move(values));
    }
    return std::nullopt;
}

class TQtSqlCursor final : public TDbCursor {
public:
    TQtSqlCursor(TSqlThread& thread, const QString& sql) : FThread(thread), FSql(sql)
    {
        static std::atomic<unsigned> counter{0};
        FNumber = ++counter;
        const auto names = std::make_shared<QStringList>();
        const std::optional<QString> failure =
            FThread.Run([number = FNumber, sql, names](TSqlSession& session) -> std::optional<QString> {
                auto query = std::make_unique<QSqlQuery>(session.Database());
                query->setForwardOnly(true);
                if (!query->exec(sql))
                    return query->lastError().text();
                const QSqlRecord record = query->record();
                for (int i = 0; i < record.count(); ++i)
                    names->push_back(record.fieldName(i));
                session.Cursors[number] = std::move(query);
                return std::nullopt;
            });
        if (failure)
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, *failure));
        FNames = *names;
    }
    // Letting go of the result is a call of its own (the server may close a cursor).
    ~TQtSqlCursor() override
    {
        FThread.Run([number = FNumber](TSqlSession& session) -> std::optional<QString> {
            session.Cursors.erase(number);
            return std::nullopt;
        });
    }
    TQtSqlCursor(const TQtSqlCursor&) = delete;
    TQtSqlCursor& operator=(const TQtSqlCursor&) = delete;

    QStringList ColumnNames() const override { return FNames; }

    // Rows read before a failure are given first; the failure then.
    bool Next() override
    {
        if (FRow + 1 < FRows.size()) {
            ++FRow;
            return true;
        }
        FRows.clear();
        FRow = 0;
        if (!FFailure && !FAtEnd)
            Fetch();
        if (!FRows.empty())
            return true;
        if (FFailure)
            throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, *FFailure));
        return false;
    }

    QVariant Value(int index) const override { return FRows.at(FRow).value(index); }

private:
    void Fetch()
    {
        const auto rows = std::make_shared<TRows>();
        const auto atEnd = std::make_shared<bool>(false);
        FFailure = FThread.Run([number = FNumber, rows, atEnd](TSqlSession& session) {
            return ReadBatch(session, number, *rows, *atEnd);
        });
        if (!FFailure) {
            FRows = std::move(*rows);
            FAtEnd = *atEnd;
        } else if (!FThread.GivenUp()) {
            FRows = std::move(*rows);  // the thread is done with them
        }
    }

    TSqlThread& FThread;
    QString FSql;
    unsigned FNumber = 0;
    QStringList FNames;
    TRows FRows;
    std::size_t FRow = 0;
    bool FAtEnd = false;
    std::optional<QString> FFailure;
};

}  // namespace

std::unique_ptr<TDbCursor> OpenQtSqlCursor(TSqlThread& thread, const QString& sql)
{
    return std::make_unique<TQtSqlCursor>(thread, sql);
}
