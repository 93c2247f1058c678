// The poem sources, connection strings, the database layer over SQLite files,
// LoadPoems on the local path through the real window, and mkpoemdb.
#include "loader_helpers.h"

#include "library/database.h"
#include "library/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <optional>
#include <variant>

namespace {

const QString kJingYeSi = QStringLiteral("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。");
const QString kNoLines = QStringLiteral("采薇采薇，薇亦作止。");  // runs of four: nothing usable
const QString kPoemColumns = QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT");
const QString kDb = QStringLiteral("db21.mdb");

QVariantList PoemRow(const QVariant& id, const QVariant& title, const QString& content = kJingYeSi)
{
    return {id, title, QStringLiteral("李白"), QStringLiteral("唐"), content};
}

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

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

std::string Fields(const TPoemRecord& poem) { return poem.Title + '|' + poem.Author + '|' + poem.Dynasty; }

QString JetString(const QString& path) { return LocalConnectionString(path, QString()); }

// ---- Sources and connection strings -------------------------------------------------------

// Guards against a wrong label, table, filter or SQL text for any source, or a bad index accepted.
TEST(Sources, TablesFiltersAndQueries)
{
    const struct { const char *label, *from; bool remote; } expected[] = {  // from: what follows FROM
        {"唐诗三百首", "TBZ300 WHERE 1=1", false},
        {"小学诗词", "TB112 WHERE 1=1 AND ID<140", false},
        {"初中诗词", "TB112 WHERE 1=1 AND ID>=140 AND ID<=269", false},
        {"高中诗词", "TB112 WHERE 1=1 AND ID>=270 AND ID<=342", false},
        {"其他诗词", "TB100 WHERE 1=1", true},
    };
    ASSERT_EQ(kSourceCount, 5);
    for (int i = 0; i < kSourceCount; ++i) {
        SCOPED_TRACE(i);
        const TPoemSource& source = SourceOf(i);
        EXPECT_EQ(source.Label, QString::fromUtf8(expected[i].label));
        EXPECT_EQ(PoemsSql(source), QStringLiteral("SELECT * FROM ") + expected[i].from);
        EXPECT_EQ(CountSql(source), QStringLiteral("SELECT COUNT(*) AS Cnt FROM ") + expected[i].from);
        EXPECT_EQ(source.Remote, expected[i].remote);
    }
    for (int bad : {-1, 5})
        EXPECT_FALSE(ErrorOf([=] { SourceOf(bad); }).isEmpty());
}

// Guards against a changed local connection string, one a path or password breaks, and unused environment values.
TEST(Sources, LocalConnectionStringAndDeploymentValues)
{
    EXPECT_EQ(LocalConnectionString("/opt/vq/db21.mdb", "pa55word"),
              "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/vq/db21.mdb;"
              "Jet OLEDB:Database Password=pa55word;Locale Identifier=2052;");
    const TConnectionSettings odd = SettingsFromConnectionString(LocalConnectionString("/odd;dir/db21.mdb", "a;b\"c"));
    EXPECT_EQ(odd.Provider, TDbProvider::Jet);
    EXPECT_EQ(odd.DataSource, "/odd;dir/db21.mdb");
    EXPECT_EQ(odd.Password, "a;b\"c");

    const QByteArray other = "Provider=PostgreSQL;Data Source=h,1";
    for (const auto& [key, variable] : {std::pair{TDeploymentKey::DbPassword, "VERSEQUEST_DB_PASSWORD"},
                                        std::pair{TDeploymentKey::RemoteConnection, "VERSEQUEST_REMOTE_CONNECTION"}}) {
        SCOPED_TRACE(variable);
        for (const QByteArray& value : {other, QByteArray("")}) {
            TScopedEnv env(variable, value);
            EXPECT_EQ(DeploymentValue(key), QString::fromUtf8(value));
        }
        TScopedEnv env(variable, std::nullopt);
        EXPECT_NE(DeploymentValue(key), other);
    }
    TScopedEnv env("VERSEQUEST_REMOTE_CONNECTION", std::nullopt);
    EXPECT_NO_THROW(SettingsFromConnectionString(DeploymentValue(TDeploymentKey::RemoteConnection)));
}

// Guards against malformed strings, unknown providers or bad ports getting through, and messages repeating a password.
TEST(ConnectionStrings, MalformedOnesAreRefusedWithoutRepeatingThem)
{
    for (const char* text : {"Provider=PostgreSQL;Password=s3cret;garbage", "Provider=PostgreSQL;=s3cret",
                             "Provider=PostgreSQL;Password=\"s3cret;Data Source=x", "Provider=Oracle;Password=s3cret",
                             "Password=s3cret;Data Source=x", ""}) {
        SCOPED_TRACE(text);
        const QString message = ErrorOf([&] { SettingsFromConnectionString(text); });
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(message.contains(QStringLiteral("s3cret")));
    }
    for (const char* dataSource : {"host,99999", "host,0", "host,x", ",5432"}) {
        SCOPED_TRACE(dataSource);
        EXPECT_FALSE(ErrorOf([&] { SplitDataSource(dataSource, 1); }).isEmpty());
    }
    EXPECT_EQ(SplitDataSource(" db.example ", 5432).Host, "db.example");
    EXPECT_EQ(SplitDataSource("db.example", 5432).Port, 5432);
    EXPECT_EQ(SplitDataSource("db.example, 6000", 5432).Port, 6000);
}

// Guards against keys read by case or with blanks, quotes kept, ";" in a value ending it, a server string losing parts.
TEST(ConnectionStrings, SqlServerStringsBecomeFreeTdsOnes)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Provider=SQLOLEDB.1;Password=;Persist Security Info=True; User ID = sa ;Initial Catalog=\"po;ems\";"
         "Data Source='it''s';;Tag with column collation when possible=False",
         "DRIVER={FreeTDS};SERVER=it's;DATABASE={po;ems};UID=sa;PWD=;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"provider=sqloledb;data source=10.0.0.5,1500;user id=u;password=p=q",
         "DRIVER={FreeTDS};SERVER=10.0.0.5;PORT=1500;UID=u;PWD={p=q};TDS_Version=7.4;ClientCharset=UTF-8"},
        {"PROVIDER=SQLOLEDB.1;Password=;User ID=;Initial Catalog=;Data Source=srv\\SQLEXPRESS",
         "DRIVER={FreeTDS};SERVER=srv\\SQLEXPRESS;UID=;PWD=;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"Provider=SQLOLEDB;Password=\"a;b}c\";User ID=sa;Data Source=srv",
         "DRIVER={FreeTDS};SERVER=srv;UID=sa;PWD={a;b}}c};TDS_Version=7.4;ClientCharset=UTF-8"},
    };
    for (const auto& [text, odbc] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(OdbcConnectionString(SettingsFromConnectionString(text)), odbc);
    }
    EXPECT_FALSE(ErrorOf([] { OdbcConnectionString(SettingsFromConnectionString("Provider=SQLOLEDB.1")); }).isEmpty());
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("connect_timeout=15")), 1);
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("statement_timeout=30000")), 1);
}

// ---- The database layer over SQLite ---------------------------------------------------

// Guards against skipped or repeated rows, junk for bad reads, a writable poem file, and queries outliving connections.
TEST(Database, ForwardOnlyQueriesReadEveryRowOnce)
{
    QTemporaryDir dir;
    const QVariant nullInt(QMetaType::fromType<int>());
    const TTestTable table{"T", "id INTEGER, Title TEXT, n INTEGER, CONTENT TEXT",
                           {{1, "一", 10, "甲"}, {2, NullText(), nullInt, "乙"}, {3, "", -7, NullText()}}};
    WriteTestDatabase(dir.filePath(kDb), {table});
    std::optional<TDbConnection> connection(std::in_place);
    connection->SetConnectionString(JetString(dir.filePath(kDb)));
    connection->Open();
    TDbQuery query(*connection);
    query.SetSql("SELECT * FROM T");
    query.Open();
    query.First();
    QStringList seen;
    for (; !query.Eof(); query.Next())
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(query.FieldAsInteger("ID"))
                    .arg(query.FieldAsText("TITLE"), query.FieldText(2), query.FieldAsText("content"));
    EXPECT_EQ(seen, QStringList({"1|一|10|甲", "2|||乙", "3||-7|"}));
    EXPECT_TRUE(ErrorOf([&] { query.FieldText(0); }).contains("no current row"));

    query.First();  // after the end: runs the query again
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldAsInteger("id"), 1);
    EXPECT_TRUE(ErrorOf([&] { query.FieldAsText("CONTENTS"); }).contains("CONTENTS"));
    EXPECT_FALSE(ErrorOf([&] { query.FieldText(4); }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] { query.FieldAsInteger("Title"); }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] { connection->Execute("DELETE FROM T"); }).isEmpty());  // opened read-only
    {
        TDbConnection missing;  // must not create the file
        missing.SetConnectionString(JetString(dir.filePath("missing.mdb")));
        EXPECT_TRUE(ErrorOf([&] { missing.Open(); }).contains(QDir::toNativeSeparators(dir.filePath("missing.mdb"))));
        EXPECT_FALSE(QFile::exists(dir.filePath("missing.mdb")));
    }
    connection.reset();  // the query is detached, not left dangling
    ExpectNoOpenConnections();
    EXPECT_TRUE(!query.Active() && query.Eof());
    EXPECT_FALSE(ErrorOf([&] { query.Open(); }).isEmpty());
}

// Guards against the direct SQLite-to-GBK reading giving other text than the value read as text would
// (NULL, numbers, blobs, damaged UTF-8), and against poem columns found per query reading other values.
TEST(Database, GbkTextIsTheTextOfEveryValue)
{
    QTemporaryDir dir;
    WriteTestDatabase(dir.filePath(kDb), {{"T", kPoemColumns, {PoemRow(1, "静夜思")}}});
    TDbConnection connection;
    connection.SetConnectionString(JetString(dir.filePath(kDb)));
    connection.Open();
    TDbQuery query(connection);
    query.SetSql("SELECT CONTENT, NULL, 42, 1.5, 1e20, X'41', CAST(X'E4B861' AS TEXT), '', title AS Title, "
                 "AUTHOR, ' 唐 ' AS dynasty FROM T");
    query.Open();
    for (int i = 0; i < query.FieldCount(); ++i) {
        SCOPED_TRACE(query.FieldName(i).toStdString());
        std::string gbk = "stale";
        query.FieldGbk(i, gbk);
        EXPECT_EQ(gbk, WideToAnsi(query.FieldText(i)));
    }
    const TPoemColumns columns = PoemColumnsOf(query);
    EXPECT_TRUE(columns.Content == 0 && columns.Title == 8 && columns.Author == 9 && columns.Dynasty == 10);
    TPoemRow row;
    ReadPoemRow(query, columns, row);
    EXPECT_EQ(row.Title + '|' + row.Author + '|' + row.Dynasty + '|' + row.Content,
              G("静夜思|李白| 唐 |") + WideToAnsi(kJingYeSi));
    query.Next();
    EXPECT_TRUE(ErrorOf([&] { query.FieldGbk(0, row.Content); }).contains("no current row"));
}

// ---- LoadPoems, local path --------------------------------------------------------------

struct TLoadResult {
    std::vector<TMessageBoxCall> Boxes;
    std::optional<QString> Error;
};

// Loads `source`; on every way out the count matches the library and nothing is left open or running.
TLoadResult Load(TfrmMain& frm, int source)
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

// Guards against rows taken wrongly: numbering, column names, NULLs, trimming, stage bounds 139/140, 269/270, 342/343.
TEST(LoadPoems, RowsBecomePoems)
{
    const QVariant nullInt(QMetaType::fromType<int>());
    std::vector<QVariantList> stages{PoemRow(nullInt, "tnull")};
    for (int id : {1, 139, 140, 269, 270, 342, 343, 1000})
        stages.push_back(PoemRow(id, QStringLiteral("t%1").arg(id)));
    const struct {
        const char* name;
        int source;
        QString columns;
        std::vector<QVariantList> rows;
        std::vector<const char*> poems;  // title|author|dynasty of each poem kept, in order
    } cases[] = {
        {"stage 1", 1, kPoemColumns, stages, {"t1|李白|唐", "t139|李白|唐"}},
        {"stage 2", 2, kPoemColumns, stages, {"t140|李白|唐", "t269|李白|唐"}},
        {"stage 3", 3, kPoemColumns, stages, {"t270|李白|唐", "t342|李白|唐"}},
        {"untitled numbered among kept poems", 0, kPoemColumns,
         {PoemRow(1, "", kNoLines), PoemRow(2, ""), PoemRow(3, NullText()), PoemRow(4, "静夜思"),
          PoemRow(5, "", kNoLines), PoemRow(6, " "), PoemRow(7, "")},
         {"唐诗三百首1|李白|唐", "唐诗三百首2|李白|唐", "静夜思|李白|唐", " |李白|唐", "唐诗三百首5|李白|唐"}},
        {"NULLs read as empty text", 0, "ID INTEGER, TITLE TEXT, AUTHOR INTEGER, DYNASTY TEXT, CONTENT TEXT",
         {{1, NullText(), nullInt, NullText(), kJingYeSi}, {2, "无诗", 5, "唐", NullText()},
          {nullInt, "静夜思", nullInt, NullText(), kJingYeSi}},
         {"唐诗三百首1||", "静夜思||"}},
        {"lower case; blanks kept but on the dynasty, whose full-width one stays", 0,
         "id INTEGER, title TEXT, author TEXT, dynasty TEXT, content TEXT",
         {{1, " 静夜思 ", " 李白", " 　唐 ", kJingYeSi}}, {" 静夜思 | 李白|　唐"}},
        {"mixed case, other order", 0, "Content TEXT, Note TEXT, Dynasty TEXT, Title TEXT, Author TEXT",
         {{kJingYeSi, "注", "\t唐\r\n", "静夜思", "李白"}}, {"静夜思|李白|唐"}},
        {"no TITLE but look-alikes", 0,
         "\"TITLE \" TEXT, \" TITLE\" TEXT, \"tıtle\" TEXT, \"ＴＩＴＬＥ\" TEXT, TITLES TEXT, content TEXT",
         {{"a", "b", "c", "d", "e", kJingYeSi}}, {"唐诗三百首1||"}},
        {"no title column", 0, "CONTENT TEXT, AUTHOR TEXT", {{kJingYeSi, "李白"}}, {"唐诗三百首1|李白|"}},
        {"values of other types", 0, "ID INTEGER, TITLE INTEGER, AUTHOR REAL, DYNASTY BLOB, CONTENT TEXT",
         {{1, 42, 1.5, QByteArray("Tang"), kJingYeSi}}, {"42|1.5|Tang"}},
    };
    const TStrArray lines{G("床前明月光"), G("疑是地上霜"), G("举头望明月"), G("低头思故乡")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(kDb), {{c.source ? "TB112" : "TBZ300", c.columns, c.rows}});
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, c.source);
        EXPECT_FALSE(result.Error) << result.Error.value_or(QString()).toStdString();
        EXPECT_TRUE(result.Boxes.empty());
        std::vector<std::string> poems, expected;
        for (const TPoemRecord& poem : frm->FPoems) {
            poems.push_back(Fields(poem));
            EXPECT_EQ(poem.Content, WideToAnsi(kJingYeSi));
            EXPECT_EQ(poem.Lines, lines);
        }
        for (const char* poem : c.poems)
            expected.push_back(G(poem));
        EXPECT_EQ(poems, expected);
    }
}

// Guards against a failed load that is silent, shows a second or wrong box, swallows an error or keeps old poems.
TEST(LoadPoems, FailuresEmptyTheLibraryWithOneBoxOrAnError)
{
    const char* const notSQLite = "not a supported poem database file";
    const struct {
        const char* name;
        int source;
        std::variant<std::monostate, TTestTable, QByteArray> file;  // none, a database, or these bytes
        const char* box;    // text of the one error box; nullptr: an error with `error` reaches the caller
        const char* error;  // for bytes, the error names the file too
    } cases[] = {
        {"missing file", 0, {}, "找不到数据库文件：", nullptr},
        {"missing file, stage 2", 2, {}, "找不到数据库文件：", nullptr},
        {"empty table", 0, TTestTable{"TBZ300", kPoemColumns, {}}, "数据库TBZ300表中没有适用诗句！", nullptr},
        {"no usable lines", 0, TTestTable{"TBZ300", kPoemColumns, {PoemRow(1, "", kNoLines), PoemRow(2, "", "")}},
         "数据库TBZ300表中没有适用诗句！", nullptr},
        {"filter matches nothing", 3, TTestTable{"TB112", kPoemColumns, {PoemRow(1, "a"), PoemRow(400, "b")}},
         "数据库TB112表中没有适用诗句！", nullptr},
        {"no CONTENT column", 0, TTestTable{"TBZ300", "ID INTEGER, TITLE TEXT, TEXT TEXT", {{1, "静夜思", kJingYeSi}}},
         nullptr, "CONTENT"},
        {"no table", 0, TTestTable{"OTHER", kPoemColumns, {PoemRow(1, "静夜思")}}, nullptr, "TBZ300"},
        {"Jet file", 0, QByteArray("Standard Jet DB\0\0\0 pretending", 30), nullptr, notSQLite},
        {"empty file", 0, QByteArray(), nullptr, notSQLite},
        {"short file", 0, QByteArray("SQLite for", 10), nullptr, notSQLite},
        {"header only", 0, QByteArray("SQLite format 3", 16), nullptr, "Cannot read"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        const QString path = dir.File(kDb);
        if (const auto* table = std::get_if<TTestTable>(&c.file))
            WriteTestDatabase(path, {*table});
        else if (const auto* bytes = std::get_if<QByteArray>(&c.file))
            WriteFile(path, *bytes);
        auto frm = MakeWindow();
        frm->FPoems.push_back(PoemFromRow({G("床前明月光。"), "", "", ""}, "x", 0));
        frm->FPoemCount = 1;
        const TLoadResult result = Load(*frm, c.source);
        EXPECT_EQ(frm->FPoemCount, 0);
        if (c.box) {
            EXPECT_FALSE(result.Error);
            ASSERT_EQ(result.Boxes.size(), 1u);
            EXPECT_EQ(result.Boxes[0].Text, c.box + (QFile::exists(path) ? QString() : QDir::toNativeSeparators(path)));
            EXPECT_EQ(result.Boxes[0].Caption, "错误");
            EXPECT_EQ(result.Boxes[0].Icon, TMsgIcon::Error);
        } else {
            ASSERT_TRUE(result.Error);
            EXPECT_TRUE(result.Error->contains(c.error)) << result.Error->toStdString();
            if (std::holds_alternative<QByteArray>(c.file)) {
                EXPECT_TRUE(result.Error->contains(QDir::toNativeSeparators(path))) << result.Error->toStdString();
            }
            EXPECT_TRUE(result.Boxes.empty());
        }
    }
}

// Guards against a damaged file losing the poems before the damage, and untitled poems numbered past 9 wrongly.
TEST(LoadPoems, DamagedFileKeepsThePoemsBeforeTheDamage)
{
    constexpr int kRows = 3000;
    std::vector<QVariantList> rows;
    for (int i = 1; i <= kRows; ++i)
        rows.push_back({i, "", QStringLiteral("p%1").arg(i), "唐", kJingYeSi.repeated(3)});
    for (const bool truncate : {false, true}) {
        SCOPED_TRACE(truncate ? "truncated" : "tail overwritten");
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(kDb), {{"TBZ300", kPoemColumns, rows}});
        QFile file(dir.File(kDb));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        ASSERT_GT(size, 200000);
        if (truncate)
            ASSERT_TRUE(file.resize(size / 2));
        else
            ASSERT_TRUE(file.seek(size / 2) && file.write(QByteArray(size - size / 2, '\xA5')) > 0);
        file.close();

        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
        ASSERT_TRUE(result.Error);
        EXPECT_TRUE(result.Boxes.empty());
        EXPECT_TRUE(truncate || frm->FPoemCount > 0);  // SQLite notices a cut file before the first row
        EXPECT_LT(frm->FPoemCount, kRows);
        for (std::size_t i = 0; i < frm->FPoems.size(); ++i) {
            const std::string n = std::to_string(i + 1);
            ASSERT_EQ(Fields(frm->FPoems[i]), G("唐诗三百首") + n + "|p" + n + '|' + G("唐"));
        }
    }
}

// ---- mkpoemdb ----------------------------------------------------------------------------

struct TRun {
    int Code = 0;
    QString Out, Err;
};

TRun RunTool(const QStringList& arguments)
{
    TRun run;
    QTextStream out(&run.Out), err(&run.Err);
    run.Code = RunMkPoemDb(arguments, out, err);
    return run;
}

QStringList FilesIn(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

// Guards against values changed through JSON, SQLite and the layer (CR LF, Chinese, NULL, integer IDs), files left.
TEST(MkPoemDb, WritesWhatTheLayerReadsBack)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("poems.jsonl"), out = dir.filePath("out.mdb");
    WriteFile(input, "\xEF\xBB\xBF{\"id\": 7, \"title\": \"静夜思\", \"author\": \"李白\", \"dynasty\": \"唐\", "
                     "\"content\": \"床前明月光，疑是地上霜。\\r\\n举头望明月，低头思故乡。\"}\r\n\r\n"
                     "{\"id\": -2, \"title\": null, \"content\": \"\"}\n");
    const TRun run = RunTool({"sqlite", out, "POEMS=" + input, "Again=" + input});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains("POEMS: 2 poems"));

    TDbConnection connection;
    connection.SetConnectionString(JetString(out));
    connection.Open();
    for (const char* table : {"POEMS", "Again"}) {
        SCOPED_TRACE(table);
        TDbQuery query(connection);
        query.SetSql(QStringLiteral("SELECT ID, TITLE, AUTHOR, DYNASTY, CONTENT, typeof(ID), "
                                    "TITLE IS NULL AND AUTHOR IS NULL FROM ") + table);
        query.Open();
        QStringList rows;
        for (; !query.Eof(); query.Next()) {
            QStringList fields;
            for (int i = 0; i < query.FieldCount(); ++i)
                fields << query.FieldText(i);
            rows << fields.join(u'|');
        }
        EXPECT_EQ(rows, QStringList({"7|静夜思|李白|唐|" + kJingYeSi + "|integer|0", "-2|||||integer|1"}));
    }
    connection.Close();
    EXPECT_EQ(FilesIn(dir), QStringList({"out.mdb", "poems.jsonl"}));
}

// Guards against malformed lines written anyway, reported without file and line, or harming the old database.
TEST(MkPoemDb, MalformedLinesAreRejectedWithFileAndLine)
{
    const QByteArray good = "{\"id\": 1, \"title\": \"静夜思\", \"content\": \"床前明月光。\"}";
    const std::pair<QByteArray, const char*> cases[] = {  // a bad line, the message
        {"{\"id\": 2, \"content\": \"x\"", "not valid JSON"},
        {"{\"id\": 2, \"content\": \"\xFF\xFE\"}", "not valid JSON"},
        {"[2, \"x\"]", "not a JSON object"},
        {"{\"id\": \"2\", \"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"id\": 2.5, \"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"content\": \"x\"}", "\"id\" must be an integer"},
        {"{\"id\": 2, \"title\": \"x\"}", "\"content\" must be text"},
        {"{\"id\": 2, \"content\": 5}", "\"content\" must be text"},
        {"{\"id\": 2, \"title\": [], \"content\": \"x\"}", "\"title\" must be text"},
        {"{\"id\": 2, \"titel\": \"x\", \"content\": \"x\"}", "unknown key \"titel\""},
        {"{\"id\": 1, \"content\": \"x\"}", "id 1 is used already on line 1"},
        {"{\"id\": 2, \"content\": \"床前😀\"}", "GBK"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line.constData());
        QTemporaryDir dir;
        const QString input = dir.filePath("bad.jsonl"), out = dir.filePath(kDb);
        WriteFile(input, good + "\n" + line + "\n" + good);
        WriteFile(out, "previous database");
        const TRun run = RunTool({"sqlite", out, "TBZ300=" + input});
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(input) + ":2: ") && run.Err.contains(message))
            << run.Err.toStdString();
        QFile previous(out);
        ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
        EXPECT_EQ(previous.readAll(), "previous database");
        EXPECT_EQ(FilesIn(dir).size(), 2);
    }
}

// Guards against bad command lines doing anything but a clear error: unchecked table names, missing files or folders.
TEST(MkPoemDb, CommandLinesAreChecked)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("poems.jsonl"), out = dir.filePath("db.mdb"), table = "T=" + input;
    WriteFile(input, "{\"id\": 1, \"content\": \"x\"}\n");
    const struct { QStringList arguments; int code; const char* message; } cases[] = {
        {{"mysql", out, table}, 2, "usage"},
        {{"sqlite", out}, 2, "usage"},
        {{"sqlite", out, "T;DROP=" + input}, 1, "table name"},
        {{"sqlite", out, "1T=" + input}, 1, "table name"},
        {{"sqlite", out, table, "t=" + input}, 1, "twice"},
        {{"sqlite", out, "T=" + dir.filePath("no.jsonl")}, 1, "Cannot read"},
        {{"sqlite", dir.filePath("no/db.mdb"), table}, 1, "does not exist"},
        {{"remote", "Provider=Oracle", table}, 1, "not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const TRun run = RunTool(c.arguments);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_TRUE(run.Err.contains(c.message)) << run.Err.toStdString();
        EXPECT_EQ(FilesIn(dir), QStringList({"poems.jsonl"}));
    }
}

// A folder in the layout of the open corpus: traditional characters, a ci with "rhythmic", a poem with a
// character outside GBK, a name the layout does not take, numbered parts in natural order.
QString WriteCorpusSample(const QTemporaryDir& dir)
{
    const QString folder = dir.filePath("corpus");
    QDir().mkpath(folder);
    WriteFile(folder + "/poet.tang.0.json",
              "\xEF\xBB\xBF[{\"author\": \"李白\", \"paragraphs\": [\"牀前明月光，疑是地上霜。\", \"舉頭望明月，低頭思故鄉。\"], "
              "\"title\": \"靜夜思\", \"id\": \"x\"},\n"
              " {\"author\": \"佚名\", \"paragraphs\": [\"𠀀前明月光，疑是地上霜。\"], \"title\": \"缺字\"}]");
    WriteFile(folder + "/poet.tang.10.json", "[{\"author\": \"王之渙\", \"paragraphs\": [\"白日依山盡，黃河入海流。\"], "
                                             "\"title\": \"登鸛雀樓\"}]");
    WriteFile(folder + "/poet.tang.2.json", "[{\"paragraphs\": [\"闉闍望遠山。\"], \"title\": null}]");
    WriteFile(folder + "/ci.song.0.json", "[{\"author\": \"蘇軾\", \"paragraphs\": [\"明月幾時有？\", \"把酒問青天。\"], "
                                          "\"rhythmic\": \"水調歌頭\"}]");
    WriteFile(folder + "/authors.tang.json", "[{\"name\": \"李白\", \"desc\": \"詩人\"}]");
    return folder;
}

// Guards against corpus poems read wrongly: conversion, titles from "rhythmic", dynasty by collection, CR LF,
// order and numbering, poems GBK cannot hold written or not counted, the option to keep traditional text.
TEST(MkPoemDb, CorpusFilesBecomeRows)
{
    QTemporaryDir dir;
    const QString folder = WriteCorpusSample(dir), out = dir.filePath("out.mdb");
    const struct { QStringList arguments; const char* summary; QStringList rows; } cases[] = {
        {{"sqlite", out, "T=" + folder}, "T: 4 poems from %1 (1 left out: characters GBK cannot hold)",
         {"1|水调歌头|苏轼|宋|明月几时有？\r\n把酒问青天。",
          "2|静夜思|李白|唐|床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。",
          "3|||唐|闉阇望远山。",  // 闉 stays: its simplified form is outside GBK
          "4|登鹳雀楼|王之涣|唐|白日依山尽，黄河入海流。"}},
        {{"sqlite", out, "--keep-traditional", "T=" + folder + "/poet.tang.10.json"},
         "T: 1 poems from %1/poet.tang.10.json (0 left out: characters GBK cannot hold)",
         {"1|登鸛雀樓|王之渙|唐|白日依山盡，黃河入海流。"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(u' ').toStdString());
        const TRun run = RunTool(c.arguments);
        ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
        EXPECT_EQ(run.Out.trimmed(), QString::fromUtf8(c.summary).arg(QDir::toNativeSeparators(folder)));
        TDbConnection connection;
        connection.SetConnectionString(JetString(out));
        connection.Open();
        TDbQuery query(connection);
        query.SetSql("SELECT ID, TITLE, AUTHOR, DYNASTY, CONTENT FROM T ORDER BY rowid");
        query.Open();
        QStringList rows;
        for (; !query.Eof(); query.Next()) {
            QStringList fields;
            for (int i = 0; i < query.FieldCount(); ++i)
                fields << query.FieldText(i);
            rows << fields.join(u'|');
        }
        EXPECT_EQ(rows, c.rows);
    }
}

// Guards against a damaged corpus file being written in part, reported without its name, or harming the old file.
TEST(MkPoemDb, BadCorpusFilesAreRejectedWithTheirName)
{
    const std::pair<QByteArray, const char*> cases[] = {  // poet.tang.1.json, the message
        {"[{\"paragraphs\": [\"x\"]", "not valid JSON"},
        {"[{\"paragraphs\": \"白日依山盡\"}]", "poem 1: \"paragraphs\" must be a list of texts"},
        {"[{\"paragraphs\": [\"x\"]}, 5]", "poem 2 is not a JSON object"},
        {"[{\"paragraphs\": [\"x\", 3]}]", "must be a list of texts"},
        {"[{\"paragraphs\": [\"x\"], \"rhythmic\": 7}]", "\"rhythmic\" must be text"},
        {"{\"paragraphs\": [\"x\"]}", "not a poem collection"},
    };
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(bytes.constData());
        QTemporaryDir dir;
        const QString folder = WriteCorpusSample(dir), out = dir.filePath(kDb);
        WriteFile(folder + "/poet.tang.1.json", bytes);
        WriteFile(out, "previous database");
        const TRun run = RunTool({"sqlite", out, "TBZ300=" + folder});
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(folder + "/poet.tang.1.json")) && run.Err.contains(message))
            << run.Err.toStdString();
        QFile previous(out);
        ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
        EXPECT_EQ(previous.readAll(), "previous database");
        EXPECT_EQ(FilesIn(dir), QStringList({kDb}));
    }
    QTemporaryDir empty;
    EXPECT_TRUE(RunTool({"sqlite", empty.filePath(kDb), "T=" + empty.path()}).Err.contains("no corpus files"));
    EXPECT_EQ(RunTool({"sqlite", empty.filePath(kDb), "--simplified", "T=" + empty.path()}).Code, 2);
}

// Guards against the bundled data losing poems or fields on the way into db21.mdb and through the loader.
TEST(MkPoemDb, BundledPoemsArriveInTheirSources)
{
    TScopedProgramDir dir;
    const QString data = QStringLiteral(VQ_POEM_DATA_DIR "/");
    const std::vector<TPoemTable> tables = {ReadTableArgument("TBZ300=" + data + "tbz300.jsonl"),
                                            ReadTableArgument("TB112=" + data + "tb112.jsonl")};
    WriteSQLiteFile(dir.File(kDb), tables);
    auto frm = MakeWindow();
    const struct { int source; std::size_t table; std::int64_t low, high; } stages[] = {
        {0, 0, INT64_MIN, INT64_MAX}, {1, 1, INT64_MIN, 139}, {2, 1, 140, 269}, {3, 1, 270, 342}};
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.source);
        std::vector<std::string> expected;
        for (const TPoemEntry& e : tables[stage.table].Rows) {
            TStrArray lines;
            if (e.Id >= stage.low && e.Id <= stage.high && SplitVerseLines(WideToAnsi(e.Content), lines) > 0)
                expected.push_back(WideToAnsi(QStringList({e.Title.value_or(""), e.Author.value_or(""),
                                                           e.Dynasty.value_or(""), e.Content}).join(u'|')));
        }
        const TLoadResult result = Load(*frm, stage.source);
        EXPECT_TRUE(!result.Error && result.Boxes.empty());
        ASSERT_EQ(static_cast<std::size_t>(frm->FPoemCount), expected.size());
        EXPECT_GT(expected.size(), 30u);
        for (std::size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(Fields(frm->FPoems[i]) + '|' + frm->FPoems[i].Content, expected[i]) << i;
    }
}

}  // namespace
