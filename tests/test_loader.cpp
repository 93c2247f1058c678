// The poem sources, connection strings, the database layer over SQLite files,
// LoadPoems on the local path through the real window, and mkpoemdb.
#include "loader_helpers.h"

#include "library/database.h"
#include "library/loader.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <optional>

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

// Guards against a wrong label, table, filter or SQL text for any source, or an index out of range accepted.
TEST(Sources, TablesFiltersAndQueries)
{
    const struct {
        const char* label;
        const char* from;  // what follows FROM in both queries
        bool remote;
    } expected[] = {
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
    EXPECT_FALSE(ErrorOf([] { SourceOf(5); }).isEmpty());
    EXPECT_FALSE(ErrorOf([] { SourceOf(-1); }).isEmpty());
}

// Guards against a changed local connection string, a path or password that breaks it, and the environment not overriding the compiled-in deployment values.
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
        {
            TScopedEnv env(variable, other);
            EXPECT_EQ(DeploymentValue(key), other);
        }
        {
            TScopedEnv env(variable, QByteArray(""));
            EXPECT_EQ(DeploymentValue(key), QString());
        }
        TScopedEnv env(variable, std::nullopt);
        EXPECT_NE(DeploymentValue(key), other);
    }
    TScopedEnv env("VERSEQUEST_REMOTE_CONNECTION", std::nullopt);
    EXPECT_NO_THROW(SettingsFromConnectionString(DeploymentValue(TDeploymentKey::RemoteConnection)));
}

// Guards against keys matched by case or with blanks, quotes kept in values, a quoted ";" splitting a pair, and a wrong provider.
TEST(ConnectionStrings, ParsedAsWritten)
{
    using enum TDbProvider;
    const struct {
        const char* text;
        TDbProvider provider;
        const char *dataSource, *catalog, *user, *password;
    } cases[] = {
        {"Provider=SQLOLEDB.1;Password=;Persist Security Info=True; User ID = sa ;Initial Catalog=\"po;ems\";"
         "Data Source='it''s';;Tag with column collation when possible=False",
         SqlServer, "it's", "po;ems", "sa", ""},
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a/db21.mdb;Jet OLEDB:Database Password=x;", Jet, "/a/db21.mdb",
         "", "", "x"},
        {"provider=sqloledb;data source=srv,1433;user id=u;password=p=q", SqlServer, "srv,1433", "", "u", "p=q"},
        {"PROVIDER=SQLOLEDB.1;DATA SOURCE=srv;INITIAL CATALOG=c", SqlServer, "srv", "c", "", ""},
        {"Provider=PostgreSQL;Data Source=127.0.0.1,55432;User ID=vq;Password=", PostgreSQL, "127.0.0.1,55432", "",
         "vq", ""},
        {"Provider=SQLite;Data Source=/tmp/x.db", SQLite, "/tmp/x.db", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TConnectionSettings s = SettingsFromConnectionString(c.text);
        EXPECT_EQ(s.Provider, c.provider);
        EXPECT_EQ(QStringList({s.DataSource, s.InitialCatalog, s.UserId, s.Password}),
                  QStringList({c.dataSource, c.catalog, c.user, c.password}));
    }
}

// Guards against malformed strings, unknown providers or bad ports getting through, and messages that repeat a password.
TEST(ConnectionStrings, MalformedOnesAreRefusedWithoutRepeatingThem)
{
    for (const char* text : {"Provider=PostgreSQL;Password=s3cret;garbage", "Provider=PostgreSQL;Password=\"s3cret;Data Source=x",
                             "Provider=PostgreSQL;=s3cret", "Provider=Oracle;Password=s3cret",
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

// Guards against a FreeTDS string that loses the port, instance or catalog, or lets a ";" end the password, and missing timeouts.
TEST(ConnectionStrings, ServersGetDriverStringsAndTimeouts)
{
    const std::pair<const char*, const char*> cases[] = {
        {"Provider=SQLOLEDB.1;Password=pw;User ID=sa;Initial Catalog=poems;Data Source=10.0.0.5,1500",
         "DRIVER={FreeTDS};SERVER=10.0.0.5;PORT=1500;DATABASE=poems;UID=sa;PWD=pw;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"Provider=SQLOLEDB.1;Password=;User ID=;Initial Catalog=;Data Source=srv\\SQLEXPRESS",
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

// Guards against opening whatever lies at the path: other, empty or damaged files give an error naming the file and create nothing.
TEST(Database, OnlySQLiteFilesOpen)
{
    QTemporaryDir dir;
    const struct {
        const char* name;
        std::optional<QByteArray> content;  // nullopt: no file at all
        const char* message;
    } cases[] = {
        {"text.mdb", QByteArray("Standard Jet DB\0\0\0 pretending", 30), "not a supported poem database file"},
        {"empty.mdb", QByteArray(), "not a supported poem database file"},
        {"short.mdb", QByteArray("SQLite for", 10), "not a supported poem database file"},
        {"header-only.mdb", QByteArray("SQLite format 3", 16), "Cannot read"},
        {"missing.mdb", std::nullopt, "Cannot open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(c.name);
        if (c.content)
            WriteFile(path, *c.content);
        TDbConnection connection;
        connection.SetConnectionString(JetString(path));
        const QString message = ErrorOf([&] { connection.Open(); });
        EXPECT_TRUE(message.contains(c.message) && message.contains(QDir::toNativeSeparators(path)))
            << message.toStdString();
        EXPECT_FALSE(connection.Connected());
        EXPECT_EQ(QFile::exists(path), c.content.has_value());
    }
    ExpectNoOpenConnections();
}

// Guards against rows skipped or repeated, NULL read as "0", a First() that does not start over, reads past the end or of the wrong type that give junk, and a writable poem file.
TEST(Database, ForwardOnlyQueriesReadEveryRowOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(kDb);
    WriteTestDatabase(path, {{"T", "id INTEGER, Title TEXT, n INTEGER, CONTENT TEXT",
                              {{1, "一", 10, "甲"}, {2, NullText(), QVariant(QMetaType::fromType<int>()), "乙"},
                               {3, "", -7, NullText()}}}});
    TDbConnection connection;
    connection.SetConnectionString(JetString(path));
    connection.Open();
    TDbQuery query(connection);
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
    EXPECT_FALSE(ErrorOf([&] { connection.Execute("DELETE FROM T"); }).isEmpty());  // opened read-only
}

// Guards against a query outliving its connection crashing or keeping the Qt connection alive.
TEST(Database, ConnectionReleasesItsQueries)
{
    QTemporaryDir dir;
    WriteTestDatabase(dir.filePath(kDb), {{"TBZ300", kPoemColumns, {PoemRow(1, "静夜思")}}});
    std::optional<TDbConnection> connection(std::in_place);
    connection->SetConnectionString(JetString(dir.filePath(kDb)));
    connection->Open();
    TDbQuery query(*connection);
    query.SetSql("SELECT * FROM TBZ300");
    query.Open();
    ASSERT_TRUE(query.Active());
    connection.reset();
    ExpectNoOpenConnections();
    EXPECT_TRUE(!query.Active() && query.Eof());
    EXPECT_FALSE(ErrorOf([&] { query.Open(); }).isEmpty());
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

// Guards against untitled rows numbered by rows, names matched by case or after trimming, NULLs ending the load, and titles or authors trimmed.
TEST(LoadPoems, RowsBecomePoems)
{
    const QVariant nullInt(QMetaType::fromType<int>());
    const struct {
        const char* name;
        QString columns;
        std::vector<QVariantList> rows;
        std::vector<const char*> poems;  // title|author|dynasty of each poem kept, in order
    } cases[] = {
        {"untitled numbered among kept poems", kPoemColumns,
         {PoemRow(1, "", kNoLines), PoemRow(2, ""), PoemRow(3, NullText()), PoemRow(4, "静夜思"),
          PoemRow(5, "", kNoLines), PoemRow(6, " "), PoemRow(7, "")},
         {"唐诗三百首1|李白|唐", "唐诗三百首2|李白|唐", "静夜思|李白|唐", " |李白|唐", "唐诗三百首5|李白|唐"}},
        {"NULLs read as empty text", "ID INTEGER, TITLE TEXT, AUTHOR INTEGER, DYNASTY TEXT, CONTENT TEXT",
         {{1, NullText(), nullInt, NullText(), kJingYeSi}, {2, "无诗", 5, "唐", NullText()},
          {nullInt, "静夜思", nullInt, NullText(), kJingYeSi}},
         {"唐诗三百首1||", "静夜思||"}},
        {"lower case", "id INTEGER, title TEXT, author TEXT, dynasty TEXT, content TEXT",
         {{1, " 静夜思 ", " 李白", " 唐 ", kJingYeSi}}, {" 静夜思 | 李白|唐"}},
        {"mixed case, other order", "Content TEXT, Note TEXT, Dynasty TEXT, Title TEXT, Author TEXT",
         {{kJingYeSi, "注", "\t唐\r\n", "静夜思", "李白"}}, {"静夜思|李白|唐"}},
        {"TITLE with a trailing blank is not the title", "ID INTEGER, \"TITLE \" TEXT, CONTENT TEXT",
         {{1, "静夜思", kJingYeSi}}, {"唐诗三百首1||"}},
        {"no title column", "CONTENT TEXT, AUTHOR TEXT", {{kJingYeSi, "李白"}}, {"唐诗三百首1|李白|"}},
        {"values of other types", "ID INTEGER, TITLE INTEGER, AUTHOR REAL, DYNASTY BLOB, CONTENT TEXT",
         {{1, 42, 1.5, QByteArray("Tang"), kJingYeSi}}, {"42|1.5|Tang"}},
    };
    const TStrArray lines{G("床前明月光"), G("疑是地上霜"), G("举头望明月"), G("低头思故乡")};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(kDb), {{"TBZ300", c.columns, c.rows}});
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
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

// Guards against off-by-one stage bounds, rows above 342 or without an ID in a stage, and a load that keeps the old library.
TEST(LoadPoems, SchoolStagesSplitOnIdsAndEachLoadReplaces)
{
    TScopedProgramDir dir;
    std::vector<QVariantList> rows;
    for (int id : {1, 139, 140, 269, 270, 342, 343, 1000})
        rows.push_back(PoemRow(id, QStringLiteral("t%1").arg(id)));
    rows.push_back(PoemRow(QVariant(QMetaType::fromType<int>()), "tnull"));
    WriteTestDatabase(dir.File(kDb), {{"TBZ300", kPoemColumns, {PoemRow(1, "z")}}, {"TB112", kPoemColumns, rows}});
    auto frm = MakeWindow();
    ASSERT_EQ(frm->FPoemCount, 1);  // the start-up load
    frm->FPoems[0].Title = "changed";
    const std::vector<std::string> expected[] = {{"z"}, {"t1", "t139"}, {"t140", "t269"}, {"t270", "t342"}, {"z"}};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const TLoadResult result = Load(*frm, i % 4);
        EXPECT_TRUE(!result.Error && result.Boxes.empty());
        EXPECT_EQ(TitlesOf(*frm), expected[i]);
    }
}

// Guards against a failed load that is silent, shows a second or wrong box, swallows a database error or keeps the old library.
TEST(LoadPoems, FailuresEmptyTheLibraryWithOneBoxOrAnError)
{
    const struct {
        const char* name;
        int source;
        std::optional<TTestTable> table;  // nullopt: `bytes` as the file, none if empty
        QByteArray bytes;
        const char* box;  // text of the one error box; nullptr: an error naming `error` reaches the caller
        const char* error;
    } cases[] = {
        {"missing file", 0, std::nullopt, {}, "找不到数据库文件：", nullptr},
        {"missing file, stage 2", 2, std::nullopt, {}, "找不到数据库文件：", nullptr},
        {"empty table", 0, TTestTable{"TBZ300", kPoemColumns, {}}, {}, "数据库TBZ300表中没有适用诗句！", nullptr},
        {"no usable lines", 0, TTestTable{"TBZ300", kPoemColumns, {PoemRow(1, "", kNoLines), PoemRow(2, "", QString())}},
         {}, "数据库TBZ300表中没有适用诗句！", nullptr},
        {"filter matches nothing", 3, TTestTable{"TB112", kPoemColumns, {PoemRow(1, "a"), PoemRow(400, "b")}}, {},
         "数据库TB112表中没有适用诗句！", nullptr},
        {"no CONTENT column", 0, TTestTable{"TBZ300", "ID INTEGER, TITLE TEXT, TEXT TEXT", {{1, "静夜思", kJingYeSi}}},
         {}, nullptr, "CONTENT"},
        {"no table", 0, TTestTable{"OTHER", kPoemColumns, {PoemRow(1, "静夜思")}}, {}, nullptr, "TBZ300"},
        {"not SQLite", 0, std::nullopt, "Standard Jet DB", nullptr, "not a supported poem database file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        const QString path = dir.File(kDb);
        if (c.table)
            WriteTestDatabase(path, {*c.table});
        else if (!c.bytes.isEmpty())
            WriteFile(path, c.bytes);
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
            EXPECT_TRUE(result.Boxes.empty());
        }
    }
}

// Guards against a damaged file losing the poems read before the damage, or the count out of step with the library.
TEST(LoadPoems, DamagedFileKeepsThePoemsBeforeTheDamage)
{
    constexpr int kRows = 3000;
    std::vector<QVariantList> rows;
    for (int i = 1; i <= kRows; ++i)
        rows.push_back(PoemRow(i, QStringLiteral("p%1").arg(i), kJingYeSi.repeated(3)));
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
        if (!truncate) {  // SQLite notices a cut file before the first row
            EXPECT_GT(frm->FPoemCount, 0);
        }
        EXPECT_LT(frm->FPoemCount, kRows);
        for (int i = 0; i < frm->FPoemCount; ++i)
            ASSERT_EQ(frm->FPoems[static_cast<std::size_t>(i)].Title, "p" + std::to_string(i + 1));
    }
}

// ---- mkpoemdb ----------------------------------------------------------------------------

struct TRun {
    int Code;
    QString Out, Err;
};

TRun RunTool(const QStringList& arguments)
{
    TRun run{0, {}, {}};
    QTextStream out(&run.Out), err(&run.Err);
    run.Code = RunMkPoemDb(arguments, out, err);
    return run;
}

QStringList FilesIn(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files | QDir::Hidden); }

// Guards against values changed through JSON, SQLite and the layer (CR LF, Chinese, NULLs, integer IDs), or files left behind.
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
        query.SetSql(QStringLiteral("SELECT *, typeof(ID), TITLE IS NULL AND AUTHOR IS NULL FROM ") + table);
        query.Open();
        QStringList names, rows;
        for (int i = 0; i < 5; ++i)
            names << query.FieldName(i);
        EXPECT_EQ(names, QStringList({"ID", "TITLE", "AUTHOR", "DYNASTY", "CONTENT"}));
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

// Guards against malformed lines written anyway, reported without file and line, or leaving a half-written or damaged database.
TEST(MkPoemDb, MalformedLinesAreRejectedWithFileAndLine)
{
    const QByteArray good = "{\"id\": 1, \"title\": \"静夜思\", \"content\": \"床前明月光。\"}";
    const struct {
        const char* name;
        QByteArray line;
        const char* message;
    } cases[] = {
        {"not JSON", "{\"id\": 2, \"content\": \"x\"", "not valid JSON"},
        {"not an object", "[2, \"x\"]", "not a JSON object"},
        {"id as text", "{\"id\": \"2\", \"content\": \"x\"}", "\"id\" must be an integer"},
        {"fractional id", "{\"id\": 2.5, \"content\": \"x\"}", "\"id\" must be an integer"},
        {"no id", "{\"content\": \"x\"}", "\"id\" must be an integer"},
        {"no content", "{\"id\": 2, \"title\": \"x\"}", "\"content\" must be text"},
        {"content as number", "{\"id\": 2, \"content\": 5}", "\"content\" must be text"},
        {"title as array", "{\"id\": 2, \"title\": [], \"content\": \"x\"}", "\"title\" must be text"},
        {"unknown key", "{\"id\": 2, \"titel\": \"x\", \"content\": \"x\"}", "unknown key \"titel\""},
        {"repeated id", "{\"id\": 1, \"content\": \"x\"}", "id 1 is used already on line 1"},
        {"outside GBK", "{\"id\": 2, \"content\": \"床前😀\"}", "GBK"},
        {"invalid UTF-8", "{\"id\": 2, \"content\": \"\xFF\xFE\"}", "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString input = dir.filePath("bad.jsonl"), out = dir.filePath(kDb);
        WriteFile(input, good + "\n" + c.line + "\n" + good);
        WriteFile(out, "previous database");
        const TRun run = RunTool({"sqlite", out, "TBZ300=" + input});
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(input) + ":2: ") && run.Err.contains(c.message))
            << run.Err.toStdString();
        QFile previous(out);
        ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
        EXPECT_EQ(previous.readAll(), "previous database");
        EXPECT_EQ(FilesIn(dir).size(), 2);
    }
}

// Guards against bad command lines doing anything but a clear error: unchecked table names, repeated tables, missing files or folders.
TEST(MkPoemDb, CommandLinesAreChecked)
{
    QTemporaryDir dir;
    const QString input = dir.filePath("poems.jsonl"), out = dir.filePath("db.mdb"), table = "T=" + input;
    WriteFile(input, "{\"id\": 1, \"content\": \"x\"}\n");
    const struct {
        const char* name;
        QStringList arguments;
        int code;
        const char* message;
    } cases[] = {
        {"unknown mode", {"mysql", out, table}, 2, "usage"},
        {"no table", {"sqlite", out}, 2, "usage"},
        {"table name with SQL", {"sqlite", out, "T;DROP=" + input}, 1, "table name"},
        {"table name with a digit first", {"sqlite", out, "1T=" + input}, 1, "table name"},
        {"table twice", {"sqlite", out, table, "t=" + input}, 1, "twice"},
        {"missing file", {"sqlite", out, "T=" + dir.filePath("no.jsonl")}, 1, "Cannot read"},
        {"missing folder", {"sqlite", dir.filePath("no/db.mdb"), table}, 1, "does not exist"},
        {"unknown provider", {"remote", "Provider=Oracle", table}, 1, "not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TRun run = RunTool(c.arguments);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_TRUE(run.Err.contains(c.message)) << run.Err.toStdString();
        EXPECT_EQ(FilesIn(dir), QStringList({"poems.jsonl"}));
    }
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
    const struct {
        int source;
        std::size_t table;
        std::int64_t low, high;
    } stages[] = {{0, 0, INT64_MIN, INT64_MAX}, {1, 1, INT64_MIN, 139}, {2, 1, 140, 269}, {3, 1, 270, 342}};
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.source);
        std::vector<std::string> expected;
        for (const TPoemEntry& entry : tables[stage.table].Rows) {
            TStrArray lines;
            if (entry.Id >= stage.low && entry.Id <= stage.high && SplitVerseLines(WideToAnsi(entry.Content), lines) > 0)
                expected.push_back(WideToAnsi(QStringList({entry.Title.value_or(""), entry.Author.value_or(""),
                                                           entry.Dynasty.value_or(""), entry.Content})
                                                  .join(u'|')));
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
