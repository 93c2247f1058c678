// The local poem file in Jet 4 form, read through libmdb: the loader's
// queries, text and NULLs as stored, the database password, damaged files,
// and the same library as from the SQLite file of the same poems.
#include "support/loader_helpers.h"

#include "library/db/database.h"
#include "library/db/database_cursor.h"
#include "library/db/database_query.h"
#include "library/db/jet/jet_file.h"
#include "library/db/jet/jet_query.h"
#include "library/db/jet/jet_text.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTimeZone>
#include <QtEndian>

#include <gtest/gtest.h>

#include <bit>
#include <functional>
#include <limits>

namespace {

const QString kJetDir = QStringLiteral(VQ_TEST_DATA_DIR "/jet/");
const QString kDb = QStringLiteral("db21.mdb");
const QString kPoemDir = QStringLiteral(VQ_POEM_DATA_DIR "/");
// The password of the test file db21-jet4.mdb, as its README gives it.
const QByteArray kFixturePassword = "shici936";
const char* const kPasswordVariable = "VERSEQUEST_DB_PASSWORD";
const QString kReadError = QStringLiteral("无法读取诗词数据库文件 ");
constexpr int kPageSize = 4096;

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

std::string Record(const TPoemRecord& poem)
{
    std::string lines;
    for (const std::string& line : poem.Lines)
        lines += line + '/';
    return poem.Title + '|' + poem.Author + '|' + poem.Dynasty + '|' + poem.Content + '|' + lines;
}

std::vector<std::string> Library(const TfrmMain& frm)
{
    std::vector<std::string> records;
    for (const TPoemRecord& poem : frm.FPoems)
        records.push_back(Record(poem));
    return records;
}

// Every row of `sql` on the Jet file at `path`, values as the cursor gives them.
std::vector<QVariantList> CursorRows(const QString& path, const QString& sql, QStringList* names = nullptr)
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

QString Joined(const std::vector<TPoemEntry>& poems, std::size_t count)
{
    QStringList contents;
    for (std::size_t i = 0; i < count; ++i)
        contents << poems[i].Content;
    return contents.join(QStringLiteral("\r\n"));
}

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
    const auto row = [&](int id) { return rows[static_cast<std::size_t>(id - 1)]; };

    // Which values are NULL (row id, column), against empty strings that are not.
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

    const std::vector<TPoemEntry> tang = ReadPoemFile(kPoemDir + "tbz300.jsonl");
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

    // Rows 23 on: the poems of tbz300.jsonl and tb100.jsonl, then filler over tb112.jsonl.
    std::vector<TPoemEntry> poems = tang;
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
        ASSERT_EQ(row(id), expected) << id;
    }

    // The other tables: no CONTENT column, no rows; a missing table fails as in SQLite.
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

std::vector<std::string> LoadLibrary(const QString& jetFile, int source, const QString& name = kDb,
                                     const QString& folder = {})
{
    TPoemDir dir(jetFile, name, folder);
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, source);
    EXPECT_FALSE(result.Error) << result.Error.value_or(QString()).toStdString();
    EXPECT_TRUE(result.Boxes.empty());
    return Library(*frm);
}

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

// Guards against the loader's rules not holding for Jet rows: NULL and empty titles numbered, NULL and empty
// contents dropped, text outside GBK as "?", the long memo whole; and a missing CONTENT failing otherwise than in
// SQLite.
TEST(JetLoad, EdgeRowsBecomeTheRecordsTheRulesSay)
{
    std::vector<std::string> expected;
    std::vector<int> keptIds;
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

// ---- Damaged files -----------------------------------------------------------------------------

QByteArray RandomBytes(quint32 seed, qsizetype size)
{
    QRandomGenerator random(seed);
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = static_cast<char>(random.bounded(256));
    return bytes;
}

using TDamage = std::function<QByteArray(QByteArray)>;

// Where db21-jet4.mdb keeps TBZ300: its definition page (column entries of 25 bytes after a head of 63, in
// the order ID, TITLE, AUTHOR, DYNASTY, CONTENT: type in byte 0, column number in byte 5, size in bytes 23-24)
// and its data pages in table order.
constexpr int kTangDefinition = 4 * kPageSize;
constexpr int kColumnEntries = kTangDefinition + 63;
constexpr int kColumnEntrySize = 25;
constexpr int kColumnNumber = 5;
constexpr int kColumnSize = 23;
constexpr int kTangDataPages[] = {7, 9, 12, 15, 23};
constexpr int kLinksPerPage = 256;  // a row number is one byte

quint32 Get32(const QByteArray& b, qsizetype at)
{
    return qFromLittleEndian<quint32>(b.constData() + at);
}
void Put32(QByteArray& b, qsizetype at, quint32 value)
{
    qToLittleEndian(value, b.data() + at);
}
void Put16(QByteArray& b, qsizetype at, quint16 value)
{
    qToLittleEndian(value, b.data() + at);
}

int RowCount(const QByteArray& b, int page)
{
    return qFromLittleEndian<quint16>(b.constData() + page * kPageSize + 12);
}

// The bytes [first, end) of `row` on `page`: the row offsets after the page head count down from its end.
std::pair<qsizetype, qsizetype> RowSpan(const QByteArray& b, quint32 page, int row)
{
    const qsizetype base = qsizetype(page) * kPageSize;
    const auto start = [&](int r) { return qFromLittleEndian<quint16>(b.constData() + base + 14 + 2 * r) & 0x1fff; };
    return {base + start(row), base + (row == 0 ? kPageSize : start(row - 1))};
}

// Where the CONTENT value of a TBZ300 row starts: its offset is the last of the four variable columns' offsets,
// which end before the variable-column count and the one-byte null mask at the row's end.
qsizetype MemoAt(const QByteArray& b, int page, int row)
{
    const auto [first, end] = RowSpan(b, static_cast<quint32>(page), row);
    return first + qFromLittleEndian<quint16>(b.constData() + end - 11);
}

// Every TBZ300 memo kept in one long-value row (storage kind 1 in the top bits of its length), in table order.
std::vector<qsizetype> OneRowMemos(const QByteArray& b)
{
    std::vector<qsizetype> memos;
    for (const int page : kTangDataPages)
        for (int row = 0; row < RowCount(b, page); ++row)
            if (Get32(b, MemoAt(b, page, row)) >> 30 == 1)
                memos.push_back(MemoAt(b, page, row));
    return memos;
}

// The first long-value row of the memo at `memo` (page << 8 | row), and the row's first byte.
quint32 LinkOf(const QByteArray& b, qsizetype memo)
{
    return Get32(b, memo + 4);
}
qsizetype LinkAt(const QByteArray& b, quint32 link)
{
    return RowSpan(b, link >> 8, static_cast<int>(link & 0xff)).first;
}

// The first memo kept in a long-value row turned into a chain whose one link names itself.
QByteArray LoopingMemo(QByteArray b)
{
    const qsizetype memo = OneRowMemos(b).front();
    Put32(b, memo, Get32(b, memo) & 0x3fffffff);  // storage kind 0: a chain
    Put32(b, LinkAt(b, LinkOf(b, memo)), LinkOf(b, memo));
    return b;
}

// TBZ300's definition given columns enough to need a next page, and `page` as that page.
TDamage DefinitionContinuesOn(quint32 page)
{
    return [=](QByteArray b) {
        Put16(b, kTangDefinition + 0x2d, 255);
        Put32(b, kTangDefinition + 4, page);
        return b;
    };
}

// `pages` long-value pages of one-byte links appended as one chain, "中" over every two links; every memo kept
// in a long-value row reads from its start for its whole length.
TDamage SharedChain(int pages)
{
    return [=](QByteArray b) {
        const std::vector<qsizetype> memos = OneRowMemos(b);
        const auto first = static_cast<quint32>(b.size() / kPageSize), last = first + static_cast<quint32>(pages) - 1;
        for (quint32 page = first; page <= last; ++page) {
            QByteArray bytes(kPageSize, '\0');
            bytes.replace(0, 8, QByteArray("\x01\x01\0\0LVAL", 8));
            Put16(bytes, 12, kLinksPerPage);
            for (int row = 0; row < kLinksPerPage; ++row) {
                const int at = kPageSize - 5 * (row + 1);  // 4 bytes of next link, 1 of data
                const quint32 next = row + 1 < kLinksPerPage ? page << 8 | (row + 1)
                                     : page < last           ? (page + 1) << 8
                                                             : 0;
                Put16(bytes, 14 + 2 * row, static_cast<quint16>(at));
                Put32(bytes, at, next);
                bytes[at + 4] = row % 2 == 0 ? '\x2D' : '\x4E';
            }
            b += bytes;
        }
        for (const qsizetype memo : memos) {
            Put32(b, memo, static_cast<quint32>(pages * kLinksPerPage));
            Put32(b, memo + 4, first << 8);
        }
        return b;
    };
}

TDamage RandomPages(int first, int last, quint32 seed)
{
    return [=](QByteArray bytes) {
        for (int page = first; page <= last; ++page)
            bytes.replace(page * kPageSize, kPageSize, RandomBytes(seed + static_cast<quint32>(page), kPageSize));
        return bytes;
    };
}

// Loads `source` from db21-jet4.mdb damaged by `damage`; the error, if any.
std::optional<QString> LoadDamaged(const TDamage& damage, int source, std::vector<std::string>* library = nullptr)
{
    TScopedEnv password(kPasswordVariable, kFixturePassword);
    TPoemDir dir(QStringLiteral("db21-jet4.mdb"));
    WriteBytes(dir.Path(), damage(ReadBytes(dir.Path())));
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, source);
    EXPECT_TRUE(result.Boxes.empty());
    if (result.Error) {
        EXPECT_TRUE(result.Error->startsWith(kReadError + QDir::toNativeSeparators(dir.Path()) + QStringLiteral("：")))
            << result.Error->toStdString();
    }
    if (library)
        *library = Library(*frm);
    return result.Error;
}

struct TDamageCase {
    const char* name;
    TDamage damage;
    const char* detail;  // in the error's text
    friend void PrintTo(const TDamageCase& row, std::ostream* out) { *out << row.name; }
};

std::vector<TDamageCase> DamageCases()
{
    return {
        {"truncated mid-page", [](QByteArray b) { return b.left(b.size() / 2 + 100); }, "文件不完整"},
        {"last pages cut off", [](QByteArray b) { return b.left(19 * kPageSize); }, "文件只有 19 页"},
        {"header page zeroed", [](QByteArray b) { return b.replace(0, kPageSize, QByteArray(kPageSize, '\0')); },
         "既不是 SQLite 3 也不是 Jet 3/4"},
        {"unknown version", [](QByteArray b) { return b.replace(0x14, 1, "\x05"); }, "不支持的 Jet 版本 5"},
        {"unknown ACE version",
         [](QByteArray b) { return b.replace(4, 15, "Standard ACE DB").replace(0x14, 1, "\x09"); },
         "不支持的 ACE 版本 9"},
        // Access 2010+ encryption: an encoding key in the header (stored under the header's RC4 layer, so that
        // flipping a stored bit flips the key's). libmdb would decode every page with it and read noise.
        {"an ACE file encrypted with its password",
         [](QByteArray b) {
             b.replace(4, 15, "Standard ACE DB").replace(0x14, 1, "\x02");
             b[0x3e] = static_cast<char>(b[0x3e] ^ 0x5A);
             return b;
         },
         "已用密码加密"},
        {"catalog random", RandomPages(2, 2, 1), "MSysObjects"},
        {"table definitions random", RandomPages(4, 5, 2), "应是表"},
        {"every page after the definitions random", RandomPages(6, 38, 3), ""},
        // Long values: a chain that loops, or rows that two values share, would repeat bytes silently and make
        // the read take time in proportion to values times file size.
        {"a memo's chain loops back to its own row", LoopingMemo, "被引用了两次"},
        {"two memos share one long-value row",
         [](QByteArray b) {
             const std::vector<qsizetype> memos = OneRowMemos(b);
             return b.replace(memos[1], 12, b.mid(memos[0], 12));
         },
         "被引用了两次"},
        {"every memo walks one chain of one-byte links", SharedChain(2), "被引用了两次"},
        // libmdb would read TITLE's null bit from beyond the row's mask and call most titles NULL.
        {"TITLE's column number beyond every row's null mask",
         [](QByteArray b) { return b.replace(kColumnEntries + kColumnEntrySize + kColumnNumber, 1, "\xC8"); },
         "超出该行的 5 列"},
        // Pages libmdb follows itself, with its own end-of-file check (it prints a line on standard error).
        {"a usage map page past the end",
         [](QByteArray b) {
             const qsizetype map = LinkAt(b, Get32(b, kTangDefinition + 0x37));
             b[map] = 1;  // a map of map pages
             Put32(b, map + 1, 9999);
             return b;
         },
         "页表无法识别"},
        {"the free-space map past the end",
         [](QByteArray b) {
             Put32(b, kTangDefinition + 0x3b, 9999u << 8);
             return b;
         },
         "表 TBZ300 的定义无法读取"},
        // The definition's own page chain, which libmdb would follow wherever it leads.
        {"the definition continues past the end", DefinitionContinuesOn(9999), "引用了第 9999 页"},
        {"the definition continues on itself", DefinitionContinuesOn(4), "表 TBZ300 的定义在第 4 页绕回了自身"},
        {"the definition runs on into the header page", DefinitionContinuesOn(0), "表 TBZ300 的列定义已损坏"},
    };
}

// Guards against a damaged Jet file crashing, hanging, reading garbage or silently losing or changing poems instead
// of a clear error.
class DamagedFile : public testing::TestWithParam<TDamageCase> { };

TEST_P(DamagedFile, GivesAClearError)
{
    const std::optional<QString> error = LoadDamaged(GetParam().damage, 0);
    ASSERT_TRUE(error);
    EXPECT_TRUE(error->contains(QString::fromUtf8(GetParam().detail))) << error->toStdString();
}

INSTANTIATE_TEST_SUITE_P(JetDamage, DamagedFile, testing::ValuesIn(DamageCases()),
                         [](const testing::TestParamInfo<TDamageCase>& row) { return RowTestName(row.param.name); });

// Guards against a row older than a column (Access leaves rows as they are when a column is added) being refused
// or given a value for it: the column is NULL in that row, so its poem has no content and is the only one dropped.
TEST(JetDamage, ARowOlderThanAColumnReadsItAsNull)
{
    const TDamage olderRow = [](QByteArray b) {
        const auto [first, end] = RowSpan(b, kTangDataPages[0], 0);
        Put16(b, first, 4);  // written with four columns: CONTENT came later
        Put16(b, end - 3, 3);  // and three variable ones, the count before the one-byte null mask
        return b;
    };
    std::vector<std::string> intact, library;
    {
        TScopedEnv password(kPasswordVariable, kFixturePassword);
        intact = LoadLibrary(QStringLiteral("db21-jet4.mdb"), 0);
    }
    EXPECT_FALSE(LoadDamaged(olderRow, 0, &library));
    intact.erase(intact.begin());
    EXPECT_EQ(library, intact);
}

// Guards against a stored date that is no date (NaN, infinite, outside Access's years 100 to 9999) reaching a
// conversion undefined for it or coming back as a made-up date; dates read as the day and time they store.
TEST(JetDamage, DatesOutsideTheCalendarAreRefused)
{
    const auto at = [](int year, int month, int day, int hour) {
        return QDateTime(QDate(year, month, day), QTime(hour, 0), QTimeZone::utc());
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        double stored;
        std::optional<QDateTime> read;
    } cases[] = {
        {45292.5, at(2024, 1, 1, 12)},
        {0, at(1899, 12, 30, 0)},
        {-1.25, at(1899, 12, 29, 6)},
        {-657434, at(100, 1, 1, 0)},
        {2958465.75, at(9999, 12, 31, 18)},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
        {-657435, std::nullopt},
        {2958466, std::nullopt},
        {1e300, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        // TBZ300's ID made an 8-byte date column; the first row's date covers its ID and two title characters.
        TPoemDir dir(QStringLiteral("db21-jet4.mdb"));
        QByteArray b = ReadBytes(dir.Path());
        b[kColumnEntries] = 8;
        Put16(b, kColumnEntries + kColumnSize, 8);
        qToLittleEndian(std::bit_cast<quint64>(c.stored), b.data() + RowSpan(b, kTangDataPages[0], 0).first + 2);
        WriteBytes(dir.Path(), b);
        QVariant value;
        QString error;
        try {
            const std::unique_ptr<TJetFile> file = TJetFile::Open(dir.Path(), QString::fromLatin1(kFixturePassword));
            const std::unique_ptr<TDbCursor> cursor =
                file->OpenCursor(QStringLiteral("SELECT * FROM TBZ300 WHERE 1=1"));
            ASSERT_TRUE(cursor->Next());
            value = cursor->Value(0);
        } catch (const TAppError& e) {
            error = e.Message();
        }
        if (c.read) {
            EXPECT_EQ(error, QString());
            EXPECT_EQ(value, QVariant(*c.read));
        } else {
            EXPECT_TRUE(error.startsWith(kReadError) && error.contains(QStringLiteral("不在 100 年至 9999 年之间")))
                << error.toStdString();
        }
    }
}

// Guards against any single damaged page going unnoticed: each page in turn is random, and every load either
// fails with the clear error or, where the source never needs the page, gives the whole library.
TEST(JetDamage, EveryPageRandomInTurn)
{
    std::vector<std::string> intact[4];
    {
        TScopedEnv password(kPasswordVariable, kFixturePassword);
        for (int source = 0; source < 4; ++source)
            intact[source] = LoadLibrary(QStringLiteral("db21-jet4.mdb"), source);
    }
    for (int page = 1; page < 39; ++page) {
        bool noticed = false;
        for (int source = 0; source < 4; ++source) {
            SCOPED_TRACE(testing::Message() << "page " << page << ", source " << source);
            std::vector<std::string> library;
            if (LoadDamaged(RandomPages(page, page, 100), source, &library))
                noticed = true;
            else
                EXPECT_EQ(library, intact[source]);
        }
        // Page 1, the map of free pages, only matters for writing.
        EXPECT_EQ(noticed, page != 1) << page;
    }
}

}  // namespace
