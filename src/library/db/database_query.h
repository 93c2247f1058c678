#pragma once
// A forward-only query of the database layer, bound to a connection
// (database.h): Open() runs the SQL text and positions on the first row;
// Eof() tells when the rows are used up. Values read by column index or by
// name; NULL reads as empty text. Failures raise TAppError naming the query.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <string>

class TDbConnection;
class TDbCursor;

class TDbQuery {
public:
    explicit TDbQuery(TDbConnection& connection);
    ~TDbQuery();
    TDbQuery(const TDbQuery&) = delete;
    TDbQuery& operator=(const TDbQuery&) = delete;

    void SetSql(const QString& sql) { FSql = sql; }
    void Open();
    void Close();
    bool Active() const { return FCursor != nullptr; }

    // First() on a query past its first row runs it again (forward-only).
    void First();
    void Next();
    bool Eof() const { return FEof; }

    int FieldCount() const;
    QString FieldName(int index) const;
    // The value as text; NULL reads as empty text.
    QString FieldText(int index) const;
    // By name, compared without regard to ASCII case; the first match wins.
    // A missing column raises TAppError.
    QString FieldAsText(const QString& name) const;
    // The value as an integer; NULL or a value that is none raises TAppError.
    std::int64_t FieldAsInteger(const QString& name) const;
    // The index of the column `name` as FieldAsText finds it; raises TAppError
    // naming the query when there is none.
    int FieldIndex(const QString& name) const { return IndexOf(name); }
    // The value of column `index` as GBK text in `gbk`, the fast way for
    // reading many rows: what WideToAnsi(FieldText(index)) gives.
    void FieldGbk(int index, std::string& gbk) const;

private:
    friend class TDbConnection;
    void Release();
    void RequireRow() const;
    void RequireColumn(int index) const;
    int IndexOf(const QString& name) const;
    QString TextOf(int index) const;

    TDbConnection* FConnection;  // null once the connection closed
    QString FSql;
    std::unique_ptr<TDbCursor> FCursor;
    QStringList FNames;
    bool FEof = true;
    bool FOnFirstRow = false;
};
