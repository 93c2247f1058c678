#include "library/db/pg_cursor.h"

#include "library/app_error.h"
#include "library/db/connection_string.h"
#include "library/db/database_cursor.h"
#include "library/db/pg_watchdog.h"
#include "library/gbk_codec.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <cstdlib>
#include <limits>
#include <optional>

#ifdef VQ_HAVE_LIBPQ
#include <libpq-fe.h>

namespace {

// Type numbers of PostgreSQL's catalogue (pg_type.oid) that values are read by.
enum TPgType : Oid {
    kBool = 16,
    kBytea = 17,
    kName = 19,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kRegProc = 24,
    kText = 25,
    kOid = 26,
    kXid = 28,
    kCid = 29,
    kFloat4 = 700,
    kFloat8 = 701,
    kAbsTime = 702,
    kRelTime = 703,
    kBpChar = 1042,
    kVarChar = 1043,
    kDate = 1082,
    kTime = 1083,
    kTimestamp = 1114,
    kTimestampTz = 1184,
    kTimeTz = 1266,
    kNumeric = 1700,
};

// The Qt type a value of PostgreSQL type `type` has, as Qt's PostgreSQL
// driver gives it: callers read the same values as through QSqlQuery.
QMetaType MetaTypeOf(Oid type)
{
    switch (type) {
    case kBool:
        return QMetaType::fromType<bool>();
    case kInt8:
        return QMetaType::fromType<qlonglong>();
    case kInt2:
    case kInt4:
    case kOid:
    case kRegProc:
    case kXid:
    case kCid:
        return QMetaType::fromType<int>();
    case kNumeric:
    case kFloat4:
    case kFloat8:
        return QMetaType::fromType<double>();
    case kAbsTime:
    case kRelTime:
    case kDate:
        return QMetaType::fromType<QDate>();
    case kTime:
    case kTimeTz:
        return QMetaType::fromType<QTime>();
    case kTimestamp:
    case kTimestampTz:
        return QMetaType::fromType<QDateTime>();
    case kBytea:
        return QMetaType::fromType<QByteArray>();
    default:
        return QMetaType::fromType<QString>();
    }
}

// A floating-point value in the server's text form, with its words for the
// values that have no digits; an invalid QVariant for anything else.
QVariant DoubleOf(const char* text)
{
    bool ok = false;
    const double value = QByteArray(text).toDouble(&ok);
    if (ok)
        return value;
    if (qstricmp(text, "NaN") == 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (qstricmp(text, "Infinity") == 0)
        return std::numeric_limits<double>::infinity();
    if (qstricmp(text, "-Infinity") == 0)
        return -std::numeric_limits<double>::infinity();
    return QVariant();
}

// Value `column` of row `row` of `result`, typed as Qt's driver types it.
QVariant ValueOf(const PGresult* result, int row, int column)
{
    const QMetaType type = MetaTypeOf(PQftype(result, column));
    if (PQgetisnull(result, row, column))
        return QVariant(type, nullptr);
    const char* text = PQgetvalue(result, row, column);
    switch (type.id()) {
    case QMetaType::Bool:
        return text[0] == 't';
    case QMetaType::LongLong:
        return text[0] == '-' ? QVariant(QByteArray(text).toLongLong()) : QVariant(QByteArray(text).toULongLong());
    case QMetaType::Int:
        return std::atoi(text);
    case QMetaType::Double:
        return DoubleOf(text);
    case QMetaType::QDate:
        return QDate::fromString(QString::fromLatin1(text), Qt::ISODate);
    case QMetaType::QTime:
        return QTime::fromString(QString::fromLatin1(text), Qt::ISODate);
    case QMetaType::QDateTime:
        return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate).toLocalTime();
    case QMetaType::QByteArray: {
        std::size_t length = 0;
        unsigned char* bytes = PQunescapeBytea(reinterpret_cast<const unsigned char*>(text), &length);
        const QByteArray value(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(length));
        PQfreemem(bytes);
        return value;
    }
    default:
        return QString::fromUtf8(text, PQgetlength(result, row, column));
    }
}

// text, varchar, char(n) and name: the types read as text.
bool IsText(Oid type)
{
    return type == kText || type == kVarChar || type == kBpChar || type == kName;
}

// The rows of a server-side cursor through the driver's libpq connection, a
// batch ahead: the next batch is asked for as soon as one arrives, so that
// the server makes and sends it while the reader goes through the rows it
// has, and no batch but the first waits for a whole round trip.
class TPostgreSqlCursor final : public TDbCursor {
public:
    TPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql, bool inTransaction)
        : FDb(db), FConnection(watchdog.Connection()), FWatchdog(watchdog), FSql(sql), FOwnTransaction(!inTransaction)
    {
        static std::atomic<unsigned> counter{0};
        FName = QStringLiteral("vq_rows_%1").arg(++counter);
        FFetch = QStringLiteral("FETCH FORWARD %1 FROM %2").arg(kPostgreSqlBatchRows).arg(FName).toUtf8();
        std::optional<QString> failure;
        {
            const TPgWatchdog::TRoundTrip trip(&FWatchdog);
            if (!FConnection)
                throw TAppError(QStringLiteral("查询失败（%1）：数据库连接无法读取查询结果。").arg(sql));
            if (FOwnTransaction && !FDb.transaction())
                throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, Reason(FDb.lastError().text())));
            failure = Declare();
            if (!failure)
                failure = Ask();
            if (!failure)
                failure = Take();
        }
        if (failure) {
            Release();
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, *failure));
        }
        for (int i = 0; i < PQnfields(FBatch); ++i)
            FNames.push_back(QString::fromUtf8(PQfname(FBatch, i)));
    }
    ~TPostgreSqlCursor() override { Release(); }
    TPostgreSqlCursor(const TPostgreSqlCursor&) = delete;
    TPostgreSqlCursor& operator=(const TPostgreSqlCursor&) = delete;

    QStringList ColumnNames() const override { return FNames; }

    bool Next() override
    {
        if (FRow + 1 < PQntuples(FBatch)) {
            ++FRow;
            return true;
        }
        FRow = PQntuples(FBatch);
        if (FAskFailure)
            throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, *FAskFailure));
        if (!FAsked)
            return false;  // a short batch was the last
        if (const std::optional<QString> failure = Take())
            throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, *failure));
        return Next();
    }

    QVariant Value(int index) const override
    {
        if (!OnValue(index))
            return QVariant();
        return ValueOf(FBatch, FRow, index);
    }

    // A text value's UTF-8 bytes straight from the batch into GBK, without a
    // QVariant and a QString on the way; other values go through Value().
    bool GbkText(int index, std::string& gbk) const override
    {
        if (!OnValue(index) || !IsText(PQftype(FBatch, index)))
            return TDbCursor::GbkText(index, gbk);
        gbk.clear();
        if (PQgetisnull(FBatch, FRow, index))
            return true;
        const std::string_view utf8(PQgetvalue(FBatch, FRow, index),
                                    static_cast<std::size_t>(PQgetlength(FBatch, FRow, index)));
        return AppendGbkFromUtf8(utf8, gbk) || TDbCursor::GbkText(index, gbk);
    }

private:
    bool OnValue(int index) const
    {
        return FBatch && FRow >= 0 && FRow < PQntuples(FBatch) && index >= 0 && index < PQnfields(FBatch);
    }

    QString Reason(const QString& driverMessage) const { return FWatchdog.Reason(driverMessage); }
    QString ConnectionError() const { return Reason(QString::fromUtf8(PQerrorMessage(FConnection)).trimmed()); }

    // Declares the server's cursor; the reason when that fails.
    std::optional<QString> Declare()
    {
        QSqlQuery declare(FDb);
        if (!declare.exec(QStringLiteral("DECLARE %1 NO SCROLL CURSOR FOR %2").arg(FName, FSql)))
            return Reason(declare.lastError().text());
        FDeclared = true;
        return std::nullopt;
    }

    // Sends the fetch of the next batch, without waiting for it.
    std::optional<QString> Ask()
    {
        if (!PQsendQuery(FConnection, FFetch.constData()))
            return ConnectionError();
        FAsked = true;
        return std::nullopt;
    }

    // Waits for the batch asked for, which replaces the one read, and asks for
    // the next when it is full; a failure to ask is reported once the rows
    // that came are read.
    std::optional<QString> Take()
    {
        PGresult* batch = nullptr;
        {
            const TPgWatchdog::TRoundTrip trip(&FWatchdog);
            batch = PQgetResult(FConnection);
            Drain();
        }
        if (!batch) {  // taken by another command on the connection, or the connection is gone
            const QString message = ConnectionError();
            return message.isEmpty() ? QStringLiteral("没有收到这批查询结果。") : message;
        }
        if (PQresultStatus(batch) != PGRES_TUPLES_OK) {
            const QString message = QString::fromUtf8(PQresultErrorMessage(batch)).trimmed();
            PQclear(batch);
            return Reason(message.isEmpty() ? QString::fromUtf8(PQerrorMessage(FConnection)).trimmed() : message);
        }
        PQclear(FBatch);
        FBatch = batch;
        FRow = -1;
        if (PQntuples(FBatch) == kPostgreSqlBatchRows)
            FAskFailure = Ask();
        return std::nullopt;
    }

    // Reads what is left of the command asked for, up to its end.
    void Drain() noexcept
    {
        while (PGresult* rest = PQgetResult(FConnection))
            PQclear(rest);
        FAsked = false;
    }

    // Closes the server's cursor and undoes the cursor's own transaction;
    // quiet, as a broken connection has nothing left to close. A batch still
    // under way is read first: a round trip too.
    void Release() noexcept
    {
        const TPgWatchdog::TRoundTrip trip(&FWatchdog);
        if (FAsked)
            Drain();
        PQclear(FBatch);
        FBatch = nullptr;
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
    PGconn* FConnection;
    TPgWatchdog& FWatchdog;
    QString FSql;
    QString FName;
    QByteArray FFetch;
    QStringList FNames;
    bool FOwnTransaction;
    bool FDeclared = false;
    bool FAsked = false;  // a fetch is under way
    std::optional<QString> FAskFailure;  // why the fetch of the next batch could not be sent
    PGresult* FBatch = nullptr;  // the batch being read
    int FRow = -1;  // in FBatch
};

}  // namespace

std::unique_ptr<TDbCursor> OpenPostgreSqlCursor(const QSqlDatabase& db, TPgWatchdog& watchdog, const QString& sql,
                                                bool inTransaction)
{
    return std::make_unique<TPostgreSqlCursor>(db, watchdog, sql, inTransaction);
}

#else

// A build without libpq reaches PostgreSQL through ODBC only.
std::unique_ptr<TDbCursor> OpenPostgreSqlCursor(const QSqlDatabase&, TPgWatchdog&, const QString& sql, bool)
{
    throw TAppError(QStringLiteral("查询失败（%1）：数据库连接无法读取查询结果。").arg(sql));
}

#endif
