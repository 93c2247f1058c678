// The local poem file in Jet 4 form, read through libmdb: the loader's
// queries, text and NULLs as stored, the database password, and the same
// library as from the SQLite file of the same poems (damaged files in
// test_jet_damage.cpp).
#include "jet_fixtures.h"

#include "library/db/database.h"
#include "library/db/database_cursor.h"
#include "library/db/database_query.h"
#include "library/db/jet/jet_file.h"
#include "library/db/jet/jet_query.h"
#include "library/db/jet/jet_text.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace {

// ---- Queries and text ---------------------------------------------------------------

// Guards against a source reading the wrong ID range from a Jet file, and other SQL run as if it were a source's.
TEST(JetQueries, LoaderTextsBecomeFilteredTableReads)
{
    const std::int64_t ids[] = {-5, 1, 139, 140, 269, 270, 342, 343, 100000};
    const struct {
        const char* table;
        std::vector<std::int64_t> kept;
    } expected[] = {
        {"TBZ300", {-5, 1, 139, 140, 269, 270, 342, 343, 100000}},
        {"TB112", {-5, 1, 139}},
        {"TB112", {140, 269}},
        {"TB112", {270, 342}},
    };
    for (int source = 0; source < 4; ++source) {
        SCOPED_TRACE(source);
        const TJetQuery query = ParseJetQuery(PoemsSql(SourceOf(source)));
        EXPECT_EQ(query.Table, expected[source].table);
        std::vector<std::int64_t> kept;
        for (const std::int64_t id : ids)
            if (query.Passes(&id))
                kept.push_back(id);
        EXPECT_EQ(kept, expected[source].kept);
        EXPECT_EQ(query.Passes(nullptr), source == 0);  // a NULL ID fails every comparison
    }
    EXPECT_EQ(ParseJetQuery("select * from t where 1 = 1 and id = 7 AND Id>-3").Conditions.size(), 2u);
    for (const QString& sql :
         {CountSql(SourceOf(0)), QStringLiteral("SELECT TITLE FROM TBZ300 WHERE 1=1"),
          QStringLiteral("SELECT * FROM TBZ300"), QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1 OR 1=1"),
          QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1 AND ID<140; DELETE FROM TBZ300"),
          QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1 AND TITLE<5"),
          QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1 AND ID<99999999999999999999")}) {
        SCOPED_TRACE(sql.toStdString());
        EXPECT_TRUE(ErrorOf([&] { ParseJetQuery(sql); }).startsWith(QStringLiteral("Jet 数据库文件只能执行")));
    }
}

// Guards against stored text read wrongly: compressed runs, mode switches, a leading U+FEFF, surrogate pairs, odd
// bytes.
TEST(JetText, PlainAndCompressedFormsDecode)
{
    const std::pair<QByteArray, QString> cases[] = {
        {QByteArray(), QString()},
        {QByteArray("\xFF\xFE"
                    "Li Bai",
                    8),
         QStringLiteral("Li Bai")},
        {QByteArray("\xFF\xFE"
                    "a\0\x2D\x4E\0b",
                    8),
         QStringLiteral("a中b")},
        {QByteArray("\xFF\xFE\0\xFF\xFE\x41\0", 7), QString(QChar(0xFEFF)) + u'A'},
        {QByteArray("\x2D\x4E\x3C\xD8\x19\xDF", 6), QStringLiteral("中") + QString::fromUcs4(U"\U0001F319")},
    };
    for (const auto& [bytes, text] : cases) {
        SCOPED_TRACE(bytes.toHex().toStdString());
        EXPECT_EQ(DecodeJet4Text(bytes), text);
    }
    EXPECT_FALSE(ErrorOf([] { DecodeJet4Text(QByteArray("\x2D\x4E\x3C", 3)); }).isEmpty());
    EXPECT_FALSE(ErrorOf([] { DecodeJet4Text(QByteArray("\xFF\xFE\0\x41", 4)); }).isEmpty());
}

// ---- The database layer over the test files ---------------------------------------------

// The row of `id` among the rows of edge-jet4.mdb's TBZ300, which hold every ID from 1 in order.
const QVariantList& EdgeRow(const std::vector<QVariantList>& rows, int id)
{
    return rows[static_cast<std::size_t>(id - 1)];
}

// Rows 1 to 22: which values are NULL (row id, column), against empty strings that are not; the long memos whole.
void ExpectEdgeNullsAndLengths(const std::vector<QVariantList>& rows, const std::vector<TPoemEntry>& tang)
{
    const auto row = [&](int id) { return EdgeRow(rows, id); };
    const std::vector<std::pair<int, int>> nulls = {{1, 1}, {2, 2}, {3, 3}, {5, 4}, {10, 1}, {10, 2}, {10, 3}, {10, 4}};
    for (int id = 1; id <= 22; ++id)
        for (int column = 1; column < 5; ++column) {
            SCOPED_TRACE(testing::Message() << id << '/' << column);
            const bool isNull = std::find(nulls.begin(), nulls.end(), std::pair{id, column}) != nulls.end();
            EXPECT_EQ(row(id)[column].isNull(), isNull);
        }
    EXPECT_EQ(row(4)[4], QString());
    for (int column = 1; column < 4; ++column)
        EXPECT_TRUE(!row(11)[column].isNull() && row(11)[column].toString().isEmpty());

    EXPECT_EQ(row(6)[4].toString(), Joined(tang, 187));
    const QString tangText = Joined(tang, tang.size()), tangRun = QString(tangText).remove(QStringLiteral("\r\n"));
    const struct {
        int id, column;
        qsizetype length;
        const QString& source;
    } slices[] = {{15, 1, 100, tangRun}, {15, 2, 50, tangRun},    {15, 3, 20, tangRun},   {16, 4, 32, tangText},
                  {17, 4, 33, tangText}, {18, 4, 2038, tangText}, {19, 4, 2039, tangText}};
    for (const auto& slice : slices) {
        SCOPED_TRACE(slice.id);
        const QString value = row(slice.id)[slice.column].toString();
        EXPECT_EQ(value.size(), slice.length);
        EXPECT_TRUE(slice.source.startsWith(value));
    }
}

// Rows 7 to 22: characters outside the BMP, other scripts, Latin text, quotes and line breaks, a leading U+FEFF.
void ExpectEdgeCharacters(const std::vector<QVariantList>& rows)
{
    const auto row = [&](int id) { return EdgeRow(rows, id); };
    const QString moon = QString::fromUcs4(U"\U0001F319"), grin = QString::fromUcs4(U"\U0001F600");
    const QString extB[] = {QString::fromUcs4(U"\U00020000"), QString::fromUcs4(U"\U00020BB7"),
                            QString::fromUcs4(U"\U0002A6A5")};
    EXPECT_EQ(row(7)[1].toString(), QStringLiteral("风") + moon);
    EXPECT_TRUE(row(7)[4].toString().startsWith(grin) && row(7)[4].toString().endsWith(moon));
    EXPECT_EQ(row(8)[1].toString(), extB[0] + QStringLiteral("赠汪伦"));
    EXPECT_EQ(row(8)[2].toString(), QStringLiteral("李白") + extB[1]);
    EXPECT_TRUE(row(8)[4].toString().endsWith(extB[2] + extB[0]));
    EXPECT_EQ(row(9)[1].toString(), QStringLiteral("池上한글"));
    EXPECT_EQ(row(12)[1].toString(), QStringLiteral("Quiet Night Thought"));
    EXPECT_EQ(row(13)[1].toString(), QStringLiteral("Li Bai 李白 selected poems"));
    EXPECT_EQ(row(14)[1].toString(), QStringLiteral("Poem 一 one"));
    EXPECT_EQ(row(20)[4].toString().trimmed(), QString());
    EXPECT_EQ(row(21)[1].toString(), QStringLiteral("\"引号\",逗号;分号\\反斜杠'单引号"));
    EXPECT_TRUE(row(21)[4].toString().contains(QStringLiteral("第一行\n第二行")));
    EXPECT_TRUE(row(21)[4].toString().contains(QStringLiteral("第二行\r第三行")));
    EXPECT_EQ(row(22)[1].toString(), QChar(0xFEFF) + QStringLiteral("晓出净慈寺送林子方"));
}

// Rows 23 on: the poems of tbz300.jsonl and tb100.jsonl, then filler over tb112.jsonl.
void ExpectEdgeBulkRows(const std::vector<QVariantList>& rows, std::vector<TPoemEntry> poems)
{
    const std::vector<TPoemEntry> others = ReadPoemFile(kPoemDir + "tb100.jsonl");
    const std::vector<TPoemEntry> school = ReadPoemFile(kPoemDir + "tb112.jsonl");
    poems.insert(poems.end(), others.begin(), others.end());
    ASSERT_EQ(poems.size(), 739u);
    for (int id = 23; id <= 2000; ++id) {
        const std::size_t n = static_cast<std::size_t>(id - 23);
        QVariantList expected;
        if (n < poems.size()) {
            const TPoemEntry& e = poems[n];
            expected = {id, e.Title.value_or(""), e.Author.value_or(""), e.Dynasty.value_or(""), e.Content};
        } else {
            const std::size_t f = n - poems.size();
            expected = {id, QStringLiteral("测试诗%1").arg(f + 1, 4, 10, QLatin1Char('0')), QStringLiteral("佚名"),
                        QStringLiteral("唐"), school[f % school.size()].Content};
        }
        ASSERT_EQ(EdgeRow(rows, id), expected) << id;
    }
}

// Guards against values lost or changed between file and caller: NULL against "", long memos cut by libmdb's
// bind size, characters outside the BMP as "??", column names re-cased, rows out of order.
TEST(JetFile, EdgeRowsReadAsStored)
{
    QStringList names;
    const std::vector<QVariantList> rows =
        CursorRows(kJetDir + "edge-jet4.mdb", QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1"), &names);
    EXPECT_EQ(names, QStringList({"id", "Title", "author", "DYNASTY", "content"}));
    ASSERT_EQ(rows.size(), 2000u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        ASSERT_EQ(rows[i][0], QVariant(static_cast<qlonglong>(i + 1)));
    const std::vector<TPoemEntry> tang = ReadPoemFile(kPoemDir + "tbz300.jsonl");
    ExpectEdgeNullsAndLengths(rows, tang);
    ExpectEdgeCharacters(rows);
    ExpectEdgeBulkRows(rows, tang);
}

// Guards against the other tables read wrongly (no CONTENT column, no rows; a missing table failing otherwise than
// in SQLite), a connection not giving integers by name, and a Jet file changed through the connection.
TEST(JetFile, OtherTablesAndTheConnectionReadOnly)
{
    QStringList names;
    EXPECT_EQ(CursorRows(kJetDir + "edge-jet4.mdb", "SELECT * FROM tb112 WHERE 1=1 AND ID>=140", &names).size(), 121u);
    EXPECT_EQ(names, QStringList({"ID", "TITLE", "AUTHOR", "DYNASTY"}));
    EXPECT_TRUE(CursorRows(kJetDir + "edge-jet4.mdb", "SELECT * FROM EMPTY WHERE 1=1", &names).empty());
    EXPECT_EQ(names.size(), 5);
    EXPECT_EQ(ErrorOf([] { CursorRows(kJetDir + "edge-jet4.mdb", "SELECT * FROM TB100 WHERE 1=1"); }),
              "查询失败（SELECT * FROM TB100 WHERE 1=1）：no such table: TB100");

    // Through the connection: integers by name, and no way to change the file.
    TDbConnection connection;
    connection.SetConnectionString(LocalConnectionString(kJetDir + "edge-jet4.mdb", QString()));
    connection.Open();
    TDbQuery query(connection);
    query.SetSql("SELECT * FROM TB112 WHERE 1=1 AND ID>=270");
    query.Open();
    EXPECT_EQ(query.FieldAsInteger("id"), 270);
    for (const auto& change : std::vector<std::function<void()>>{
             [&] { connection.Execute("DELETE FROM TB112"); },
             [&] { connection.ExecuteBatch("DELETE FROM TB112", [](QVariantList&) { return false; }); },
             [&] { connection.BeginTransaction(); }})
        EXPECT_EQ(ErrorOf(change), QStringLiteral("Jet 数据库文件只能读取，不能修改。"));
    TDbConnection writer;
    writer.SetConnectionString("Provider=SQLite;Data Source=" + kJetDir + "edge-jet4.mdb");
    EXPECT_TRUE(ErrorOf([&] { writer.Open(); }).endsWith(QStringLiteral("是 Jet 数据库文件，只能读取，不能写入。")));
}

// ---- Through the loader ------------------------------------------------------------------------

// Guards against any source playing differently from the Jet file than from the SQLite file of the same poems,
// against an Access 2007+ (ACE) file or a db21.accdb beside the program refused, and against a file in a folder
// whose name the system's code page cannot spell failing to open.
TEST(JetLoad, EachLocalSourceGivesTheSameLibraryAsSQLite)
{
    TScopedEnv password(kPasswordVariable, kFixturePassword);
    const struct {
        const char* file;
        const char* name;
        const char* folder;
    } cases[] = {
        {"db21-jet4.mdb", "db21.mdb", ""},
        {"db21-ace12.mdb", "db21.mdb", ""},
        {"db21-ace12.mdb", "db21.accdb", ""},
        {"db21-jet4.mdb", "db21.mdb", "诗词游戏 刘䶮 😀"},
    };
    for (int source = 0; source < 4; ++source) {
        const std::vector<std::string> fromSQLite = LoadLibrary(QString(), source);
        EXPECT_GT(fromSQLite.size(), 30u);
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.file << " as " << c.folder << '/' << c.name << ", source " << source);
            const std::vector<std::string> fromJet =
                LoadLibrary(QString::fromUtf8(c.file), source, QString::fromUtf8(c.name), QString::fromUtf8(c.folder));
            ASSERT_EQ(fromJet.size(), fromSQLite.size());
            for (std::size_t i = 0; i < fromJet.size(); ++i)
                ASSERT_EQ(fromJet[i], fromSQLite[i]) << i;
        }
    }
}

// Guards against a wrong or missing password opening a protected file, a right one refused,
// a file without password refused, and the file touched by a failed attempt.
TEST(JetLoad, TheDatabasePasswordIsChecked)
{
    const struct {
        const char* file;
        std::optional<QByteArray> password;
        bool opens;
    } cases[] = {
        {"db21-jet4.mdb", kFixturePassword, true},         {"db21-jet4.mdb", std::nullopt, false},
        {"db21-jet4.mdb", QByteArray(""), false},          {"db21-jet4.mdb", QByteArray("SHICI936"), false},
        {"db21-jet4.mdb", QByteArray("shici9367"), false}, {"edge-jet4.mdb", QByteArray("anything"), true},
        {"db21-ace12.mdb", kFixturePassword, true},        {"db21-ace12.mdb", QByteArray("shici"), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password.value_or("(unset)").toStdString());
        TScopedEnv password(kPasswordVariable, c.password);
        TPoemDir dir(QString::fromUtf8(c.file));
        const QByteArray before = ReadBytes(dir.Path());
        auto frm = MakeWindow();
        frm->FPoems.push_back(PoemFromRow({G("床前明月光。"), "", "", ""}, "x", 0));
        frm->FPoemCount = 1;
        const TLoadResult result = Load(*frm, 0);
        EXPECT_EQ(frm->FPoemCount > 0, c.opens);
        if (c.opens) {
            EXPECT_FALSE(result.Error);
        } else {
            ASSERT_TRUE(result.Error);
            EXPECT_EQ(*result.Error, QStringLiteral("无法打开诗词数据库文件 %1：数据库密码不正确")
                                         .arg(QDir::toNativeSeparators(dir.Path())));
        }
        EXPECT_EQ(ReadBytes(dir.Path()), before);
    }
}

// The records the loader's row rules make of edge-jet4.mdb's TBZ300 as the cursor reads it, and in `keptIds` the
// IDs of the rows kept.
std::vector<std::string> EdgeRecords(std::vector<int>& keptIds)
{
    std::vector<std::string> expected;
    const std::string label = WideToAnsi(SourceOf(0).Label);
    for (const QVariantList& row : CursorRows(kJetDir + "edge-jet4.mdb", "SELECT * FROM TBZ300 WHERE 1=1")) {
        const auto text = [&](int column) { return WideToAnsi(row[column].toString()); };
        TPoemRecord record =
            PoemFromRow({text(4), text(1), text(2), text(3)}, label, static_cast<int>(expected.size()));
        if (!record.Lines.empty()) {
            expected.push_back(Record(record));
            keptIds.push_back(row[0].toInt());
        }
    }
    return expected;
}

// Guards against the loader's rules not holding for Jet rows: NULL and empty titles numbered, NULL and empty
// contents dropped, text outside GBK as "?", the long memo whole; and a missing CONTENT failing otherwise than in
// SQLite.
TEST(JetLoad, EdgeRowsBecomeTheRecordsTheRulesSay)
{
    std::vector<int> keptIds;
    const std::vector<std::string> expected = EdgeRecords(keptIds);
    TPoemDir dir(QStringLiteral("edge-jet4.mdb"));
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, 0);
    ASSERT_FALSE(result.Error) << result.Error->toStdString();
    EXPECT_EQ(Library(*frm), expected);

    // Rows 4, 5, 10 and 20 have no text to cut, 12 and 21 no line of Chinese verse; the rest of the first 22 are kept.
    EXPECT_EQ(std::vector<int>(keptIds.begin(), keptIds.begin() + 16),
              (std::vector<int>{1, 2, 3, 6, 7, 8, 9, 11, 13, 14, 15, 16, 17, 18, 19, 22}));
    const auto poem = [&](int id) {
        return frm->FPoems[static_cast<std::size_t>(std::find(keptIds.begin(), keptIds.end(), id) - keptIds.begin())];
    };
    EXPECT_EQ(poem(1).Title, G("唐诗三百首1"));
    EXPECT_EQ(poem(2).Author, "");
    EXPECT_EQ(poem(3).Dynasty, "");
    EXPECT_EQ(poem(11).Title, G("唐诗三百首8"));
    EXPECT_EQ(poem(6).Content, WideToAnsi(Joined(ReadPoemFile(kPoemDir + "tbz300.jsonl"), 187)));
    EXPECT_EQ(poem(7).Title, G("风") + "?");  // one "?" for the emoji, never "??"
    EXPECT_EQ(poem(8).Title, "?" + G("赠汪伦"));
    EXPECT_EQ(poem(9).Title, G("池上") + "??");

    std::optional<QString> fromSQLite, fromJet;
    {
        TScopedProgramDir sqlite;
        WriteTestDatabase(sqlite.File(kDb),
                          {{"TB112", "ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT", {{1, "a", "b", "c"}}}});
        auto twin = MakeWindow();
        fromSQLite = Load(*twin, 1).Error;
    }
    {
        TPoemDir jet(QStringLiteral("edge-jet4.mdb"));
        auto twin = MakeWindow();
        fromJet = Load(*twin, 1).Error;
    }
    ASSERT_TRUE(fromSQLite && fromJet);
    EXPECT_EQ(*fromJet, *fromSQLite);
    EXPECT_TRUE(fromJet->contains("CONTENT"));
}

}  // namespace
