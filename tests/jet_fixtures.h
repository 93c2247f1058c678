// What the two halves of the Jet suite share: the test files, the poems as
// records, rows read through the cursor, and a program directory holding a
// copy of a test file.
#pragma once

#include "support/loader_helpers.h"

#include "library/db/database_cursor.h"
#include "library/db/jet/jet_file.h"
#include "poem_tables.h"

#include <QFile>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

inline const QString kJetDir = QStringLiteral(VQ_TEST_DATA_DIR "/jet/");
inline const QString kDb = QStringLiteral("db21.mdb");
inline const QString kPoemDir = QStringLiteral(VQ_POEM_DATA_DIR "/");
// The password of the test file db21-jet4.mdb, as its README gives it.
inline const QByteArray kFixturePassword = "shici936";
inline const char* const kPasswordVariable = "VERSEQUEST_DB_PASSWORD";
inline const QString kReadError = QStringLiteral("无法读取诗词数据库文件 ");
inline constexpr int kPageSize = 4096;

inline QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

inline void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

inline std::string Record(const TPoemRecord& poem)
{
    std::string lines;
    for (const auto& line : poem.Lines)
        lines += std::string(line) + '/';
    return poem.Title + '|' + poem.Author + '|' + poem.Dynasty + '|' + poem.Content + '|' + lines;
}

inline std::vector<std::string> Library(const TfrmMain& frm)
{
    std::vector<std::string> records;
    for (const TPoemRecord& poem : frm.FPoems)
        records.push_back(Record(poem));
    return records;
}

// Every row of `sql` on the Jet file at `path`, values as the cursor gives them.
inline std::vector<QVariantList> CursorRows(const QString& path, const QString& sql, QStringList* names = nullptr)
{
    const std::unique_ptr<TJetFile> file = TJetFile::Open(path, QString::fromLatin1(kFixturePassword));
    const std::unique_ptr<TDbCursor> cursor = file->OpenCursor(sql);
    if (names)
        *names = cursor->ColumnNames();
    std::vector<QVariantList> rows;
    while (cursor->Next()) {
        QVariantList row;
        for (qsizetype i = 0; i < cursor->ColumnNames().size(); ++i)
            row.push_back(cursor->Value(static_cast<int>(i)));
        rows.push_back(row);
    }
    return rows;
}

inline QString Joined(const std::vector<TPoemEntry>& poems, std::size_t count)
{
    QStringList contents;
    for (std::size_t i = 0; i < count; ++i)
        contents << poems[i].Content;
    return contents.join(QStringLiteral("\r\n"));
}

// A program directory (or `folder` inside one) whose db21.mdb (or file `name`) is a copy of `jetFile`, or the
// SQLite file of the bundled poems.
class TPoemDir {
public:
    explicit TPoemDir(const QString& jetFile = QString(), const QString& name = kDb, const QString& folder = {})
        : FDir(folder), FName(name)
    {
        if (!jetFile.isEmpty()) {
            WriteBytes(Path(), ReadBytes(kJetDir + jetFile));
            return;
        }
        WriteSQLiteFile(Path(), {ReadTableArgument("TBZ300=" + kPoemDir + "tbz300.jsonl"),
                                 ReadTableArgument("TB112=" + kPoemDir + "tb112.jsonl")});
    }
    QString Path() const { return FDir.File(FName); }

private:
    TScopedProgramDir FDir;
    QString FName;
};

inline std::vector<std::string> LoadLibrary(const QString& jetFile, int source, const QString& name = kDb,
                                            const QString& folder = {})
{
    TPoemDir dir(jetFile, name, folder);
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, source);
    EXPECT_FALSE(result.Error) << result.Error.value_or(QString()).toStdString();
    EXPECT_TRUE(result.Boxes.empty());
    return Library(*frm);
}
