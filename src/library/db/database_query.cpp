#include "library/db/database_query.h"

#include "library/app_error.h"
#include "library/db/database.h"
#include "library/db/database_cursor.h"
#include "library/db/names.h"

#include <QVariant>

TDbQuery::TDbQuery(TDbConnection& connection) : FConnection(&connection)
{
    connection.Attach(this);
}

TDbQuery::~TDbQuery()
{
    Release();
    if (FConnection)
        FConnection->Detach(this);
}

void TDbQuery::Release()
{
    FCursor.reset();
    FNames.clear();
    FEof = true;
    FOnFirstRow = false;
}

void TDbQuery::Open()
{
    Release();
    if (!FConnection)
        throw TAppError(QStringLiteral("查询的数据库连接已关闭。"));
    FConnection->RequireOpen();
    std::unique_ptr<TDbCursor> cursor = FConnection->OpenCursor(FSql);
    FNames = cursor->ColumnNames();
    FCursor = std::move(cursor);
    FEof = false;
    Next();
    FOnFirstRow = !FEof;
}

void TDbQuery::Close()
{
    Release();
}

void TDbQuery::First()
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (!FOnFirstRow)
        Open();
}

void TDbQuery::Next()
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (FEof)
        return;
    FOnFirstRow = false;
    try {
        if (FCursor->Next())
            return;
    } catch (...) {
        Release();
        throw;
    }
    FEof = true;
}

int TDbQuery::FieldCount() const
{
    return static_cast<int>(FNames.size());
}

void TDbQuery::RequireColumn(int index) const
{
    if (index < 0 || index >= FieldCount())
        throw TAppError(QStringLiteral("查询结果没有第 %1 列。").arg(index));
}

QString TDbQuery::FieldName(int index) const
{
    RequireColumn(index);
    return FNames.at(index);
}

void TDbQuery::RequireRow() const
{
    if (!FCursor)
        throw TAppError(QStringLiteral("查询尚未打开。"));
    if (FEof)
        throw TAppError(QStringLiteral("查询没有当前行。"));
}

int TDbQuery::IndexOf(const QString& name) const
{
    for (int i = 0; i < FieldCount(); ++i)
        if (EqualsIgnoringAsciiCase(FNames.at(i), name))
            return i;
    throw TAppError(QStringLiteral("查询结果中没有 %2 列（%1）。").arg(FSql, name));
}

QString TDbQuery::TextOf(int index) const
{
    RequireRow();
    const QVariant value = FCursor->Value(index);
    if (!value.isValid() || value.isNull())
        return {};
    if (!value.canConvert<QString>())
        throw TAppError(QStringLiteral("%1 列的值无法读作文本。").arg(FNames.at(index)));
    return value.toString();
}

QString TDbQuery::FieldText(int index) const
{
    RequireColumn(index);
    return TextOf(index);
}

QString TDbQuery::FieldAsText(const QString& name) const
{
    return TextOf(IndexOf(name));
}

void TDbQuery::FieldGbk(int index, std::string& gbk) const
{
    RequireColumn(index);
    RequireRow();
    if (!FCursor->GbkText(index, gbk))
        throw TAppError(QStringLiteral("%1 列的值无法读作文本。").arg(FNames.at(index)));
}

std::int64_t TDbQuery::FieldAsInteger(const QString& name) const
{
    const int index = IndexOf(name);
    RequireRow();
    const QVariant value = FCursor->Value(index);
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (value.isNull() || !ok)
        throw TAppError(QStringLiteral("%1 列的值不是整数。").arg(FNames.at(index)));
    return number;
}
