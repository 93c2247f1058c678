#include "library/db/sqlite_cursor.h"

#include "library/app_error.h"
#include "library/db/database_cursor.h"
#include "library/gbk_codec.h"

#include <sqlite3.h>

namespace {

// SQLite's reason for the last failure on `db`.
QString SQLiteText(sqlite3* db)
{
    return DriverText(QString::fromUtf8(sqlite3_errmsg(db)));
}

class TSQLiteCursor final : public TDbCursor {
public:
    TSQLiteCursor(sqlite3* db, const QString& sql) : FDb(db), FSql(sql)
    {
        const QByteArray utf8 = sql.toUtf8();
        const char* tail = nullptr;
        if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &FStatement, &tail) != SQLITE_OK ||
            !FStatement)
            throw TAppError(QStringLiteral("查询失败（%1）：%2").arg(sql, SQLiteText(db)));
        FColumns = sqlite3_column_count(FStatement);
    }
    ~TSQLiteCursor() override { sqlite3_finalize(FStatement); }
    TSQLiteCursor(const TSQLiteCursor&) = delete;
    TSQLiteCursor& operator=(const TSQLiteCursor&) = delete;

    QStringList ColumnNames() const override
    {
        QStringList names;
        for (int i = 0; i < FColumns; ++i)
            names.push_back(QString::fromUtf8(sqlite3_column_name(FStatement, i)));
        return names;
    }

    bool Next() override
    {
        if (FDone)
            return false;
        const int result = sqlite3_step(FStatement);
        if (result == SQLITE_ROW)
            return true;
        FDone = true;
        if (result == SQLITE_DONE)
            return false;
        throw TAppError(QStringLiteral("读取查询结果失败（%1）：%2").arg(FSql, SQLiteText(FDb)));
    }

    // The values Qt's SQLite driver gives for each storage class.
    QVariant Value(int index) const override
    {
        switch (sqlite3_column_type(FStatement, index)) {
        case SQLITE_NULL:
            return QVariant(QMetaType::fromType<QString>());
        case SQLITE_INTEGER:
            return QVariant(static_cast<qlonglong>(sqlite3_column_int64(FStatement, index)));
        case SQLITE_FLOAT:
            return QVariant(sqlite3_column_double(FStatement, index));
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(FStatement, index));
            return QVariant(QByteArray(bytes, sqlite3_column_bytes(FStatement, index)));
        }
        default: {
            const auto* units = static_cast<const QChar*>(sqlite3_column_text16(FStatement, index));
            return QVariant(QString(units, sqlite3_column_bytes16(FStatement, index) / 2));
        }
        }
    }

    bool GbkText(int index, std::string& gbk) const override
    {
        const int type = sqlite3_column_type(FStatement, index);
        if (type == SQLITE_NULL) {
            gbk.clear();
            return true;
        }
        if (type == SQLITE_TEXT) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(FStatement, index));
            const auto size = static_cast<std::size_t>(sqlite3_column_bytes(FStatement, index));
            gbk.clear();
            if (AppendGbkFromUtf8(std::string_view(text, size), gbk))
                return true;
            // Damaged UTF-8 is mended the way Qt's driver reads it.
        }
        return TDbCursor::GbkText(index, gbk);
    }

private:
    sqlite3* FDb;
    QString FSql;
    sqlite3_stmt* FStatement = nullptr;
    int FColumns = 0;
    bool FDone = false;
};

}  // namespace

std::unique_ptr<TDbCursor> OpenSQLiteCursor(sqlite3* db, const QString& sql)
{
    return std::make_unique<TSQLiteCursor>(db, sql);
}
