#include "library/db/pg_cursor.h"

#include "library/app_error.h"
#include "library/db/connection_string.h"
#include "library/db/database_cursor.h"
#include "library/db/pg_watchdog.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <atomic>
#include <optional>

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

private:
    QString Reason(const QSqlError& error) const { return FWatchdog.Reason(error.text()); }

    // Declares the server's cursor; the reason when that fails.
    std::optional<QString> Declare()
    {
        QSqlQuery declare(FDb);
        if (!declare.exec(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(FName, FSql)))
            return Reason(declare.lastError());
        FDeclared = true;
        FBatch.setForwardOnly(true);
        return std::nullopt;
    }

    bool FetchBatch()
    {
        FRowsInBatch = 0;
        return FBatch.exec(QStringLiteral("FETCH FORWARD %1 FROM %2").arg(kPostgreSqlBatchRows).arg(FName));
    }

    // Closes the server's cursor and undoes the cursor's own transaction;
    // quiet, as a broken connection has nothing left to close. Finishing a
    // batch reads the rest of it: a round trip too.
    void Release() noexcept
    {
        const TPgWatchdog::TRoundTrip trip(&FWatchdog);
        FBatch.finish();
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
};

}  // namespace

std::unique_ptr<TDbCursor> OpenPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql,
                                                bool inTransaction)
{
    return std::make_unique<TPostgreSqlCursor>(db, watchdog, sql, inTransaction);
}
