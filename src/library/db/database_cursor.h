#pragma once
// The rows of one forward-only result, as the database layer reads them:
// every kind of database TDbConnection opens gives its results through this
// interface (SQLite files through the sqlite3 handle, Jet files through
// libmdb, PostgreSQL through a server-side cursor, ODBC through Qt SQL), so
// that TDbQuery's rules (NULL as empty text, columns by name, errors that
// name the query) hold for all of them alike.

#include "library/gbk_codec.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <string>

class TDbCursor {
public:
    virtual ~TDbCursor() = default;
    // The result's column names, in result order.
    virtual QStringList ColumnNames() const = 0;
    // Moves to the next row (the first, on a new cursor); false once the rows
    // are used up. A read failure raises TAppError with the driver's text.
    virtual bool Next() = 0;
    // The value of column `index` of the current row; a null QVariant for NULL.
    virtual QVariant Value(int index) const = 0;
    // The value of column `index` as GBK text in `gbk` (NULL as empty text);
    // false when the value cannot be read as text. Through Value() here; a
    // cursor that can skip the QVariant overrides it.
    virtual bool GbkText(int index, std::string& gbk) const
    {
        const QVariant value = Value(index);
        gbk.clear();
        if (!value.isValid() || value.isNull())
            return true;
        if (!value.canConvert<QString>())
            return false;
        AppendGbk(value.toString(), gbk);
        return true;
    }
};
