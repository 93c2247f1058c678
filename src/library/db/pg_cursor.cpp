#include "library/db/pg_cursor.h"

#include "library/app_error.h"
#include "library/db/connection_string.h"
#include "library/db/database_cursor.h"
#include "library/db/pg_watchdog.h"
#include "library/gbk_codec.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSqlResult>

#include <atomic>
#include <optional>

#ifdef VQ_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace {

class TPostgreSqlCursor final : public TDbCursor {
public:
    TPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql, bool inTransaction)
        : FDb(db), FWatchdog(watchdog), FSql(sql), FBatch(db), FOwnTransaction(!inTransaction)
    {
        static std::atomic<unsigned> counter{0};
        FName = QStringLiteral("vq_rows_%1").arg(++counter);
        const TPgWatchdog::TRoundTrip trip(&FWatchdog);
        if (FOwnTransaction && !FDb.transaction())
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, Reason(FDb.lastError())));
        std::optional<QString> failure = Declare();
        if (!failure && !FetchBatch())
            failure = Reason(FBatch.lastError());
        if (failure) {
            Release();
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, *failure));
        }
        const QSqlRecord record = FBatch.record();
        for (int i = 0; i < record.count(); ++i)
            FNames.push_back(record.fieldName(i));
    }
    ~TPostgreSqlCursor() override { Release(); }
    TPostgreSqlCursor(const TPostgreSqlCursor&) = delete;
    TPostgreSqlCursor& operator=(const TPostgreSqlCursor&) = delete;

    QStringList ColumnNames() const override { return FNames; }

    // Rows come one at a time from the driver, which waits for the server
    // whenever the rows it has received are used up.
    bool Next() override
    {
        const TPgWatchdog::TRoundTrip trip(&FWatchdog);
        for (;;) {
            if (FBatch.next()) {
                ++FRowsInBatch;
                return true;
            }
            if (const QSqlError error = FBatch.lastError(); error.isValid())
                throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, Reason(error)));
            if (FRowsInBatch < kPostgreSqlBatchRows)
                return false;  // a short batch was the last
            if (!FetchBatch())
                throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, Reason(FBatch.lastError())));
        }
    }

    QVariant Value(int index) const override { return FBatch.value(index); }

#ifdef VQ_HAVE_LIBPQ
    // A text value's UTF-8 bytes straight from the driver's result into GBK,
    // without a QVariant and a QString on the way; other values go through
    // Value() as before.
    bool GbkText(int index, std::string& gbk) const override
    {
        const PGresult* batch = FBatchResult;
        const int row = FBatch.at();
        if (!batch || row < 0 || row >= PQntuples(batch) || index < 0 || index >= PQnfields(batch) ||
            !IsText(PQftype(batch, index)))
            return TDbCursor::GbkText(index, gbk);
        gbk.clear();
        if (PQgetisnull(batch, row, index))
            return true;
        const std::string_view utf8(PQgetvalue(batch, row, index),
                                    static_cast<std::size_t>(PQgetlength(batch, row, index)));
        return AppendGbkFromUtf8(utf8, gbk) || TDbCursor::GbkText(index, gbk);
    }
#endif

private:
    QString Reason(const QSqlError& error) const
    {
        return FWatchdog.Reason(error.text());
    }

#ifdef VQ_HAVE_LIBPQ
    // The result of the current batch as Qt's PostgreSQL driver holds it.
    const PGresult* DriverResult() const
    {
        const QVariant handle = FBatch.result() ? FBatch.result()->handle() : QVariant();
        // The driver registers the type under libpq's struct name.
        if (!handle.isValid() || qstrcmp(handle.metaType().name(), "pg_result*") != 0)
            return nullptr;
        return *static_cast<PGresult* const*>(handle.constData());
    }
    // text, varchar, char(n) and name: the types Qt's driver reads as text.
    static bool IsText(Oid type)
    {
        return type == 25 || type == 1043 || type == 1042 || type == 19;
    }
#endif

    // Declares the server's cursor; the reason when that fails.
    std::optional<QString> Declare()
    {
        QSqlQuery declare(FDb);
        if (!declare.exec(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(FName, FSql)))
            return Reason(declare.lastError());
        FDeclared = true;
        // Each batch arrives whole as one result, which the rows are read from
        // (a forward-only query would have the driver fetch them one by one).
        FBatch.setForwardOnly(false);
        return std::nullopt;
    }

    bool FetchBatch()
    {
        FRowsInBatch = 0;
        const bool fetched =
            FBatch.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(kPostgreSqlBatchRows).arg(FName));
#ifdef VQ_HAVE_LIBPQ
        FBatchResult = fetched ? DriverResult() : nullptr;
#endif
        return fetched;
    }

    // Closes the server's cursor and undoes the cursor's own transaction;
    // quiet, as a broken connection has nothing left to close. Finishing a
    // batch reads the rest of it: a round trip too.
    void Release() noexcept
    {
        const TPgWatchdog::TRoundTrip trip(&FWatchdog);
        FBatch.finish();
#ifdef VQ_HAVE_LIBPQ
        FBatchResult = nullptr;
#endif
        if (FDeclared && !FOwnTransaction) {
            QSqlQuery close(FDb);
            close.exec(QStringLiteral("CLOSE ") + FName);
        }
        FDeclared = false;
        if (FOwnTransaction) {
            FDb.rollback();
            FOwnTransaction = false;
        }
    }

    QSqlDatabase FDb;
    TPgWatchdog& FWatchdog;
    QString FSql;
    QString FName;
    QSqlQuery FBatch;
    QStringList FNames;
    bool FOwnTransaction;
    bool FDeclared = false;
    int FRowsInBatch = 0;
#ifdef VQ_HAVE_LIBPQ
    const PGresult* FBatchResult = nullptr;  // the driver's result of the batch, while it holds it
#endif
};

}  // namespace

std::unique_ptr<TDbCursor> OpenPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql,
                                                bool inTransaction)
{
    return std::make_unique<TPostgreSqlCursor>(db, watchdog, sql, inTransaction);
}
