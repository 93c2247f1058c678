#pragma once
// Helpers of the loader suites: SQLite files with any tables and columns, a
// main window whose start-up load has run, and scoped environment variables.

#include "app/uMain.h"
#include "library/app_error.h"
#include "support/test_support.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

// A table: its name, its column definitions ("ID INTEGER, title TEXT") and rows.
struct TTestTable {
    QString Name;
    QString Columns;
    std::vector<QVariantList> Rows;
};

// A NULL text value.
inline QVariant NullText() { return QVariant(QMetaType::fromType<QString>()); }

// Writes an SQLite file with `tables` at `path`, straight through Qt SQL.
inline void WriteTestDatabase(const QString& path, const std::vector<TTestTable>& tables)
{
    const QString name = QStringLiteral("test-writer");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
        db.transaction();
        for (const TTestTable& table : tables) {
            QSqlQuery query(db);
            ASSERT_TRUE(query.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(table.Name, table.Columns)))
                << query.lastError().text().toStdString();
            for (const QVariantList& row : table.Rows) {
                const QString marks = QStringLiteral("?,").repeated(row.size()).chopped(1);
                ASSERT_TRUE(query.prepare(QStringLiteral("INSERT INTO %1 VALUES (%2)").arg(table.Name, marks)));
                for (qsizetype i = 0; i < row.size(); ++i)
                    query.bindValue(static_cast<int>(i), row[i]);
                ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
            }
        }
        db.commit();
    }
    QSqlDatabase::removeDatabase(name);
}

// A main window built as the program builds it; the boxes of its start-up
// load of the first source (a missing database, say) are swallowed.
inline std::unique_ptr<TfrmMain> MakeWindow()
{
    TMessageBoxRecorder startUpBoxes;
    return std::make_unique<TfrmMain>();
}

inline std::vector<std::string> TitlesOf(const TfrmMain& frm)
{
    std::vector<std::string> titles;
    for (const TPoemRecord& poem : frm.FPoems)
        titles.push_back(poem.Title);
    return titles;
}

// Every Qt SQL connection is released once a load is over.
inline void ExpectNoOpenConnections()
{
    EXPECT_TRUE(QSqlDatabase::connectionNames().isEmpty())
        << QSqlDatabase::connectionNames().join(u',').toStdString();
}

// Sets (or, with nullopt, unsets) an environment variable for the scope's life.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::optional<QByteArray>& value) : FName(name)
    {
        if (qEnvironmentVariableIsSet(name))
            FOld = qgetenv(name);
        value ? qputenv(name, *value) : qunsetenv(name);
    }
    ~TScopedEnv() { FOld ? qputenv(FName, *FOld) : qunsetenv(FName); }
    TScopedEnv(const TScopedEnv&) = delete;
    TScopedEnv& operator=(const TScopedEnv&) = delete;

private:
    const char* FName;
    std::optional<QByteArray> FOld;
};

// The message of the TAppError `action` raises; fails the test if none comes.
template <typename F>
QString ErrorOf(F action)
{
    try {
        action();
    } catch (const TAppError& error) {
        return error.Message();
    }
    ADD_FAILURE() << "no TAppError raised";
    return {};
}

struct TLoadResult {
    std::vector<TMessageBoxCall> Boxes;
    std::optional<QString> Error;
};

// Loads `source`; on every way out the count matches the library and nothing is left open or running.
inline TLoadResult Load(TfrmMain& frm, int source)
{
    TMessageBoxRecorder boxes;
    TLoadResult result;
    frm.FRangeIndex = static_cast<std::uint8_t>(source);
    try {
        frm.LoadPoems();
    } catch (const TAppError& error) {
        result.Error = error.Message();
    }
    result.Boxes = boxes.Calls();
    EXPECT_EQ(frm.FPoemCount, static_cast<std::int32_t>(frm.FPoems.size()));
    EXPECT_FALSE(frm.FLoading);
    EXPECT_TRUE(!frm.FProgressBar && !frm.FProgressLabel);
    ExpectNoOpenConnections();
    return result;
}
