// The poem sources, the database layer over SQLite files, LoadPoems on the
// local path through the real window, and mkpoemdb.
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
#include <string_view>

namespace {

const QString kJingYeSi = QStringLiteral("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。");
const QString kNoLines = QStringLiteral("采薇采薇，薇亦作止。");  // runs of four: nothing usable
const QString kPoemColumns = QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT");

QVariantList PoemRow(int id, const QVariant& title, const QString& content = kJingYeSi)
{
    return {id, title, QStringLiteral("李白"), QStringLiteral("唐"), content};
}

// Sets an environment variable for the scope's life, then restores it.
class TScopedEnv {
public:
    TScopedEnv(const char* name, const std::optional<QByteArray>& value) : FName(name)
    {
        if (qEnvironmentVariableIsSet(name))
            FOld = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~TScopedEnv()
    {
        if (FOld)
            qputenv(FName, *FOld);
        else
            qunsetenv(FName);
    }

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

// ---- Rules without a window ----------------------------------------------------------

// Guards against a Unicode-aware upper-casing (the dotless i of "tıtle" would
// become TITLE), against trimming the name, and against full-width letters.
TEST(PoemColumns, NamesAreUpperCasedForAsciiLettersOnly)
{
    const struct {
        const char* name;
        TPoemColumn column;
    } cases[] = {
        {"TITLE", TPoemColumn::Title},     {"title", TPoemColumn::Title},
        {"Title", TPoemColumn::Title},     {"tItLe", TPoemColumn::Title},
        {"TITLE ", TPoemColumn::Other},    {" TITLE", TPoemColumn::Other},
        {"tıtle", TPoemColumn::Other},     {"ＴＩＴＬＥ", TPoemColumn::Other},
        {"TITLES", TPoemColumn::Other},    {"author", TPoemColumn::Author},
        {"Author", TPoemColumn::Author},   {"DYNASTY", TPoemColumn::Dynasty},
        {"dynasty", TPoemColumn::Dynasty}, {"CONTENT", TPoemColumn::Other},
        {"ID", TPoemColumn::Other},        {"", TPoemColumn::Other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PoemColumnOf(QString::fromUtf8(c.name)), c.column);
    }
}

// Guards against untitled poems numbered from zero or by rows, trimmed titles
// or authors, untrimmed dynasties and a full-width space taken for a blank.
TEST(PoemRows, RecordFromRow)
{
    const std::string label = G("小学诗词");
    const struct {
        const char* name;
        TPoemRow row;
        int kept;
        std::string title, author, dynasty;
        std::size_t lines;
    } cases[] = {
        {"untitled first", {G("床前明月光，疑是地上霜。"), "", G("李白"), G("唐")}, 0, G("小学诗词1"), G("李白"), G("唐"), 2},
        {"untitled twelfth", {G("床前明月光。"), "", "", ""}, 11, G("小学诗词12"), "", "", 1},
        {"spaces kept on title and author",
         {G("床前明月光。"), G(" 静夜思 "), G(" 李白 "), G(" 唐 ")}, 3, G(" 静夜思 "), G(" 李白 "), G("唐"), 1},
        {"control bytes trimmed from dynasty", {G("床前明月光。"), G("静夜思"), "", G("\t唐\r\n")}, 0, G("静夜思"), "", G("唐"), 1},
        {"full-width space stays", {G("床前明月光。"), G("静夜思"), "", G("　唐　")}, 0, G("静夜思"), "", G("　唐　"), 1},
        {"no usable lines", {G("采薇采薇，薇亦作止。"), "", "", ""}, 4, G("小学诗词5"), "", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TPoemRecord record = PoemFromRow(c.row, label, c.kept);
        EXPECT_EQ(record.Title, c.title);
        EXPECT_EQ(record.Author, c.author);
        EXPECT_EQ(record.Dynasty, c.dynasty);
        EXPECT_EQ(record.Content, c.row.Content);
        EXPECT_EQ(record.Lines.size(), c.lines);
    }
}

// Guards against a wrong label, table, filter or SQL text for any source.
TEST(Sources, TablesFiltersAndQueries)
{
    const struct {
        const char* label;
        const char* poems;
        const char* count;
        bool remote;
    } expected[] = {
        {"唐诗三百首", "SELECT * FROM TBZ300 WHERE 1=1", "SELECT COUNT(*) AS Cnt FROM TBZ300 WHERE 1=1", false},
        {"小学诗词", "SELECT * FROM TB112 WHERE 1=1 AND ID<140",
         "SELECT COUNT(*) AS Cnt FROM TB112 WHERE 1=1 AND ID<140", false},
        {"初中诗词", "SELECT * FROM TB112 WHERE 1=1 AND ID>=140 AND ID<=269",
         "SELECT COUNT(*) AS Cnt FROM TB112 WHERE 1=1 AND ID>=140 AND ID<=269", false},
        {"高中诗词", "SELECT * FROM TB112 WHERE 1=1 AND ID>=270 AND ID<=342",
         "SELECT COUNT(*) AS Cnt FROM TB112 WHERE 1=1 AND ID>=270 AND ID<=342", false},
        {"其他诗词", "SELECT * FROM TB100 WHERE 1=1", "SELECT COUNT(*) AS Cnt FROM TB100 WHERE 1=1", true},
    };
    ASSERT_EQ(kSourceCount, 5);
    for (int i = 0; i < kSourceCount; ++i) {
        SCOPED_TRACE(i);
        const TPoemSource& source = SourceOf(i);
        EXPECT_EQ(source.Label, QString::fromUtf8(expected[i].label));
        EXPECT_EQ(PoemsSql(source), QString::fromUtf8(expected[i].poems));
        EXPECT_EQ(CountSql(source), QString::fromUtf8(expected[i].count));
        EXPECT_EQ(source.Remote, expected[i].remote);
    }
    EXPECT_FALSE(ErrorOf([] { SourceOf(5); }).isEmpty());
    EXPECT_FALSE(ErrorOf([] { SourceOf(-1); }).isEmpty());
}

// Guards against a changed local connection string, a password that breaks
// it, and the environment not overriding the compiled-in deployment values.
TEST(Sources, LocalConnectionStringAndDeploymentValues)
{
    EXPECT_EQ(LocalConnectionString(QStringLiteral("/opt/vq/db21.mdb"), QStringLiteral("pa55word")),
              QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/opt/vq/db21.mdb;"
                             "Jet OLEDB:Database Password=pa55word;Locale Identifier=2052;"));
    const TConnectionSettings odd = SettingsFromConnectionString(
        LocalConnectionString(QStringLiteral("/odd;folder/db21.mdb"), QStringLiteral("a;b\"c")));
    EXPECT_EQ(odd.Provider, TDbProvider::Jet);
    EXPECT_EQ(odd.DataSource, QStringLiteral("/odd;folder/db21.mdb"));
    EXPECT_EQ(odd.Password, QStringLiteral("a;b\"c"));

    for (TDeploymentKey key : {TDeploymentKey::DbPassword, TDeploymentKey::RemoteConnection}) {
        const QByteArray variable = DeploymentVariable(key).toLatin1();
        SCOPED_TRACE(variable.constData());
        {
            TScopedEnv env(variable.constData(), QByteArray("Provider=PostgreSQL;Data Source=h,1"));
            EXPECT_EQ(DeploymentValue(key), QStringLiteral("Provider=PostgreSQL;Data Source=h,1"));
        }
        {
            TScopedEnv env(variable.constData(), QByteArray(""));
            EXPECT_EQ(DeploymentValue(key), QString());
        }
        TScopedEnv env(variable.constData(), std::nullopt);
        EXPECT_NE(DeploymentValue(key), QStringLiteral("Provider=PostgreSQL;Data Source=h,1"));
    }
    TScopedEnv env("VERSEQUEST_REMOTE_CONNECTION", std::nullopt);
    EXPECT_NO_THROW(SettingsFromConnectionString(DeploymentValue(TDeploymentKey::RemoteConnection)));
}

// Guards against case-sensitive keys, lost empty values, quotes kept in
// values, and a ";" inside quotes splitting a pair.
TEST(ConnectionStrings, ParsedAsWritten)
{
    const QMap<QString, QString> pairs = ParseConnectionString(QStringLiteral(
        "Provider=SQLOLEDB.1;Password=;Persist Security Info=True; User ID = sa ;"
        "Initial Catalog=\"po;ems\";Data Source='it''s';;Tag with column collation when possible=False"));
    EXPECT_EQ(pairs.value(QStringLiteral("provider")), QStringLiteral("SQLOLEDB.1"));
    EXPECT_TRUE(pairs.contains(QStringLiteral("password")));
    EXPECT_EQ(pairs.value(QStringLiteral("password")), QString());
    EXPECT_EQ(pairs.value(QStringLiteral("user id")), QStringLiteral("sa"));
    EXPECT_EQ(pairs.value(QStringLiteral("initial catalog")), QStringLiteral("po;ems"));
    EXPECT_EQ(pairs.value(QStringLiteral("data source")), QStringLiteral("it's"));
    EXPECT_EQ(pairs.value(QStringLiteral("tag with column collation when possible")), QStringLiteral("False"));

    const struct {
        const char* text;
        TDbProvider provider;
        const char* dataSource;
        const char* user;
        const char* password;
    } cases[] = {
        {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/a/db21.mdb;Jet OLEDB:Database Password=x;", TDbProvider::Jet,
         "/a/db21.mdb", "", "x"},
        {"provider=sqloledb;data source=srv,1433;user id=u;password=p=q", TDbProvider::SqlServer, "srv,1433", "u",
         "p=q"},
        {"PROVIDER=SQLOLEDB.1;DATA SOURCE=srv", TDbProvider::SqlServer, "srv", "", ""},
        {"Provider=PostgreSQL;Data Source=127.0.0.1,55432;User ID=vq;Password=", TDbProvider::PostgreSQL,
         "127.0.0.1,55432", "vq", ""},
        {"Provider=SQLite;Data Source=/tmp/x.db", TDbProvider::SQLite, "/tmp/x.db", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const TConnectionSettings settings = SettingsFromConnectionString(QString::fromUtf8(c.text));
        EXPECT_EQ(settings.Provider, c.provider);
        EXPECT_EQ(settings.DataSource, QString::fromUtf8(c.dataSource));
        EXPECT_EQ(settings.UserId, QString::fromUtf8(c.user));
        EXPECT_EQ(settings.Password, QString::fromUtf8(c.password));
    }
}

// Guards against malformed strings or unknown providers getting through, and
// against error messages that repeat a password.
TEST(ConnectionStrings, MalformedOnesAreRefusedWithoutRepeatingThem)
{
    const char* cases[] = {
        "Provider=PostgreSQL;Password=s3cret;garbage",
        "Provider=PostgreSQL;Password=\"s3cret;Data Source=x",
        "Provider=PostgreSQL;=s3cret",
        "Provider=Oracle;Password=s3cret",
        "Password=s3cret;Data Source=x",
        "",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        const QString message = ErrorOf([&] { SettingsFromConnectionString(QString::fromUtf8(text)); });
        EXPECT_FALSE(message.isEmpty());
        EXPECT_FALSE(message.contains(QStringLiteral("s3cret")));
    }
    EXPECT_FALSE(ErrorOf([] { SplitDataSource(QStringLiteral("host,99999"), 1); }).isEmpty());
    EXPECT_FALSE(ErrorOf([] { SplitDataSource(QStringLiteral("host,x"), 1); }).isEmpty());
    EXPECT_FALSE(ErrorOf([] { SplitDataSource(QStringLiteral(",5432"), 1); }).isEmpty());
    EXPECT_EQ(SplitDataSource(QStringLiteral(" db.example "), 5432).Host, QStringLiteral("db.example"));
    EXPECT_EQ(SplitDataSource(QStringLiteral("db.example"), 5432).Port, 5432);
    EXPECT_EQ(SplitDataSource(QStringLiteral("db.example, 6000"), 5432).Port, 6000);
}

// Guards against a FreeTDS string that loses the port, the instance or the
// catalog, or lets a password with ";" end its value early.
TEST(ConnectionStrings, SqlServerGoesThroughFreeTds)
{
    const struct {
        const char* text;
        const char* odbc;
    } cases[] = {
        {"Provider=SQLOLEDB.1;Password=pw;User ID=sa;Initial Catalog=poems;Data Source=10.0.0.5,1500",
         "DRIVER={FreeTDS};SERVER=10.0.0.5;PORT=1500;DATABASE=poems;UID=sa;PWD=pw;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"Provider=SQLOLEDB.1;Password=;User ID=;Initial Catalog=;Data Source=srv\\SQLEXPRESS",
         "DRIVER={FreeTDS};SERVER=srv\\SQLEXPRESS;UID=;PWD=;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"Provider=SQLOLEDB;Password=\"a;b}c\";User ID=sa;Data Source=srv",
         "DRIVER={FreeTDS};SERVER=srv;UID=sa;PWD={a;b}}c};TDS_Version=7.4;ClientCharset=UTF-8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(OdbcConnectionString(SettingsFromConnectionString(QString::fromUtf8(c.text))),
                  QString::fromUtf8(c.odbc));
    }
    EXPECT_FALSE(ErrorOf([] {
                     OdbcConnectionString(SettingsFromConnectionString(QStringLiteral("Provider=SQLOLEDB.1")));
                 }).isEmpty());
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("connect_timeout=15")), 1);
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("statement_timeout=30000")), 1);
}

// ---- The database layer over SQLite ---------------------------------------------------

QString JetString(const QString& path)
{
    return LocalConnectionString(path, QString());
}

// Guards against opening whatever lies at the path: other files, empty or
// damaged ones must give a clear error naming the file.
TEST(Database, OnlySQLiteFilesOpen)
{
    QTemporaryDir dir;
    const QString valid = dir.filePath(QStringLiteral("valid.mdb"));
    WriteTestDatabase(valid, {{QStringLiteral("TBZ300"), kPoemColumns, {PoemRow(1, QStringLiteral("静夜思"))}}});
    QFile source(valid);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray bytes = source.readAll();

    const struct {
        const char* name;
        std::optional<QByteArray> content;  // nullopt: no file at all
        const char* message;
    } cases[] = {
        {"text.mdb", QByteArray("Standard Jet DB\0\0\0 pretending", 30), "not a supported poem database file"},
        {"empty.mdb", QByteArray(), "not a supported poem database file"},
        {"short.mdb", QByteArray("SQLite for", 10), "not a supported poem database file"},
        {"header-only.mdb", bytes.left(16), "Cannot read"},
        {"missing.mdb", std::nullopt, "Cannot open"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = dir.filePath(QString::fromUtf8(c.name));
        if (c.content) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*c.content);
        }
        TDbConnection connection;
        connection.SetConnectionString(JetString(path));
        const QString message = ErrorOf([&] { connection.Open(); });
        EXPECT_TRUE(message.contains(QString::fromUtf8(c.message))) << message.toStdString();
        EXPECT_TRUE(message.contains(QDir::toNativeSeparators(path))) << message.toStdString();
        EXPECT_FALSE(connection.Connected());
        EXPECT_FALSE(QFile::exists(path) != c.content.has_value());  // nothing created
    }
    ExpectNoOpenConnections();
}

// Guards against rows skipped or repeated, NULL refused or read as "0",
// columns looked up case-sensitively, a missing column read as empty, and a
// poem file that can be written through the loader's connection.
TEST(Database, ForwardOnlyQueriesReadEveryRowOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db21.mdb"));
    WriteTestDatabase(path, {{QStringLiteral("T"), QStringLiteral("id INTEGER, Title TEXT, n INTEGER, CONTENT TEXT"),
                              {{1, QStringLiteral("一"), 10, QStringLiteral("甲")},
                               {2, NullText(), QVariant(QMetaType::fromType<int>()), QStringLiteral("乙")},
                               {3, QStringLiteral(""), -7, NullText()}}}});
    TDbConnection connection;
    connection.SetConnectionString(JetString(path));
    connection.SetLoginPrompt(false);
    connection.Open();
    ASSERT_TRUE(connection.Connected());

    TDbQuery query(connection);
    query.SetSql(QStringLiteral("SELECT * FROM T"));
    query.Open();
    query.First();
    ASSERT_EQ(query.FieldCount(), 4);
    EXPECT_EQ(query.FieldName(0), QStringLiteral("id"));
    EXPECT_EQ(query.FieldName(1), QStringLiteral("Title"));
    QStringList seen;
    while (!query.Eof()) {
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(query.FieldAsInteger(QStringLiteral("ID")))
                    .arg(query.FieldAsText(QStringLiteral("TITLE")), query.FieldText(2),
                         query.FieldAsText(QStringLiteral("content")));
        query.Next();
    }
    EXPECT_EQ(seen, QStringList({QStringLiteral("1|一|10|甲"), QStringLiteral("2|||乙"), QStringLiteral("3||-7|")}));
    EXPECT_TRUE(ErrorOf([&] { query.FieldText(0); }).contains(QStringLiteral("no current row")));

    // First() after the end runs the query again.
    query.First();
    ASSERT_FALSE(query.Eof());
    EXPECT_EQ(query.FieldAsInteger(QStringLiteral("id")), 1);
    EXPECT_TRUE(ErrorOf([&] { query.FieldAsText(QStringLiteral("CONTENTS")); }).contains(QStringLiteral("CONTENTS")));
    EXPECT_FALSE(ErrorOf([&] { query.FieldText(4); }).isEmpty());
    EXPECT_FALSE(ErrorOf([&] { query.FieldAsInteger(QStringLiteral("Title")); }).isEmpty());
    query.Close();
    EXPECT_FALSE(query.Active());

    TDbQuery count(connection);
    count.SetSql(QStringLiteral("SELECT COUNT(*) AS Cnt FROM T WHERE 1=1 AND id>=2"));
    count.Open();
    EXPECT_EQ(count.FieldAsInteger(QStringLiteral("Cnt")), 2);

    TDbQuery empty(connection);
    empty.SetSql(QStringLiteral("SELECT * FROM T WHERE id > 100"));
    empty.Open();
    EXPECT_TRUE(empty.Eof());
    EXPECT_EQ(empty.FieldCount(), 4);

    TDbQuery bad(connection);
    bad.SetSql(QStringLiteral("SELECT * FROM NOSUCHTABLE"));
    EXPECT_TRUE(ErrorOf([&] { bad.Open(); }).contains(QStringLiteral("NOSUCHTABLE")));

    // The poem file is opened read-only.
    EXPECT_FALSE(ErrorOf([&] { connection.Execute(QStringLiteral("DELETE FROM T")); }).isEmpty());
}

// Guards against a query outliving its connection: it must be detached, not
// crash or keep the Qt connection alive.
TEST(Database, ConnectionReleasesItsQueries)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("db21.mdb"));
    WriteTestDatabase(path, {{QStringLiteral("TBZ300"), kPoemColumns, {PoemRow(1, QStringLiteral("静夜思"))}}});
    std::optional<TDbConnection> connection(std::in_place);
    connection->SetConnectionString(JetString(path));
    connection->Open();
    TDbQuery query(*connection);
    query.SetSql(QStringLiteral("SELECT * FROM TBZ300"));
    query.Open();
    ASSERT_TRUE(query.Active());
    EXPECT_EQ(QSqlDatabase::connectionNames().size(), 1);
    connection.reset();
    ExpectNoOpenConnections();
    EXPECT_FALSE(query.Active());
    EXPECT_TRUE(query.Eof());
    EXPECT_FALSE(ErrorOf([&] { query.Open(); }).isEmpty());
}

// ---- LoadPoems, local path --------------------------------------------------------------

struct TLoadResult {
    std::vector<TMessageBoxCall> Boxes;
    std::optional<QString> Error;
};

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
    EXPECT_EQ(frm.FProgressBar, nullptr);
    EXPECT_EQ(frm.FProgressLabel, nullptr);
    ExpectNoOpenConnections();
    return result;
}

// Guards against numbering untitled poems by rows instead of kept poems, and
// against an empty title check that trims.
TEST(LoadPoems, UntitledPoemsAreNumberedAmongKeptPoems)
{
    TScopedProgramDir dir;
    WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                      {{QStringLiteral("TBZ300"), kPoemColumns,
                        {PoemRow(1, QStringLiteral(""), kNoLines), PoemRow(2, QStringLiteral("")),
                         PoemRow(3, NullText()), PoemRow(4, QStringLiteral("静夜思")),
                         PoemRow(5, QStringLiteral(""), kNoLines), PoemRow(6, QStringLiteral(" ")),
                         PoemRow(7, QStringLiteral(""))}}});
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, 0);
    EXPECT_FALSE(result.Error);
    EXPECT_TRUE(result.Boxes.empty());
    EXPECT_EQ(TitlesOf(*frm), (std::vector<std::string>{G("唐诗三百首1"), G("唐诗三百首2"), G("静夜思"), " ",
                                                         G("唐诗三百首5")}));
    ASSERT_EQ(frm->FPoemCount, 5);
    EXPECT_EQ(frm->FPoems[0].Content, WideToAnsi(kJingYeSi));
    EXPECT_EQ(frm->FPoems[0].Lines,
              (TStrArray{G("床前明月光"), G("疑是地上霜"), G("举头望明月"), G("低头思故乡")}));
    EXPECT_EQ(frm->FPoems[0].Author, G("李白"));
    EXPECT_EQ(frm->FPoems[0].Dynasty, G("唐"));
}

// Guards against column names matched case-sensitively or after trimming,
// against a missing TITLE column breaking the load, and against trimming the
// title or the author or leaving the dynasty untrimmed.
TEST(LoadPoems, ColumnsAreFoundByUpperCasedName)
{
    const struct {
        const char* name;
        const char* columns;
        QVariantList row;
        const char* title;
        const char* author;
        const char* dynasty;
    } cases[] = {
        {"lower case", "id INTEGER, title TEXT, author TEXT, dynasty TEXT, content TEXT",
         {1, QStringLiteral(" 静夜思 "), QStringLiteral(" 李白"), QStringLiteral(" 唐 "), kJingYeSi}, " 静夜思 ",
         " 李白", "唐"},
        {"mixed case, other order", "Content TEXT, Note TEXT, Dynasty TEXT, Title TEXT, Author TEXT",
         {kJingYeSi, QStringLiteral("注"), QStringLiteral("\t唐\r\n"), QStringLiteral("静夜思"), QStringLiteral("李白")},
         "静夜思", "李白", "唐"},
        {"title with a trailing blank is not the title", "ID INTEGER, \"TITLE \" TEXT, CONTENT TEXT",
         {1, QStringLiteral("静夜思"), kJingYeSi}, "唐诗三百首1", "", ""},
        {"no title column", "CONTENT TEXT, AUTHOR TEXT", {kJingYeSi, QStringLiteral("李白")}, "唐诗三百首1", "李白", ""},
        {"values of other types", "ID INTEGER, TITLE INTEGER, AUTHOR REAL, DYNASTY BLOB, CONTENT TEXT",
         {1, 42, 1.5, QByteArray("Tang"), kJingYeSi}, "42", "1.5", "Tang"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                          {{QStringLiteral("TBZ300"), QString::fromUtf8(c.columns), {c.row}}});
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
        EXPECT_FALSE(result.Error) << result.Error.value_or(QString()).toStdString();
        EXPECT_TRUE(result.Boxes.empty());
        ASSERT_EQ(frm->FPoemCount, 1);
        EXPECT_EQ(frm->FPoems[0].Title, G(c.title));
        EXPECT_EQ(frm->FPoems[0].Author, G(c.author));
        EXPECT_EQ(frm->FPoems[0].Dynasty, G(c.dynasty));
        EXPECT_EQ(frm->FPoems[0].Lines.size(), 4u);
    }
}

// Guards against off-by-one school stage bounds, and rows above 342 or
// without an ID slipping into a stage.
TEST(LoadPoems, SchoolStagesSplitOnIds)
{
    TScopedProgramDir dir;
    std::vector<QVariantList> rows;
    for (int id : {1, 139, 140, 269, 270, 342, 343, 1000})
        rows.push_back(PoemRow(id, QStringLiteral("t%1").arg(id)));
    rows.push_back({QVariant(QMetaType::fromType<int>()), QStringLiteral("tnull"), QString(), QString(), kJingYeSi});
    WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                      {{QStringLiteral("TBZ300"), kPoemColumns, {PoemRow(1, QStringLiteral("z"))}},
                       {QStringLiteral("TB112"), kPoemColumns, rows}});
    auto frm = MakeWindow();
    const std::vector<std::vector<std::string>> expected = {
        {"z"}, {"t1", "t139"}, {"t140", "t269"}, {"t270", "t342"}};
    for (int source = 0; source < 4; ++source) {
        SCOPED_TRACE(source);
        const TLoadResult result = Load(*frm, source);
        EXPECT_FALSE(result.Error);
        EXPECT_TRUE(result.Boxes.empty());
        EXPECT_EQ(TitlesOf(*frm), expected[static_cast<std::size_t>(source)]);
    }
}

// Guards against one NULL throwing away the rest of the load: NULL reads as
// empty text in every column; a NULL content is a poem without lines.
TEST(LoadPoems, NullsReadAsEmptyText)
{
    TScopedProgramDir dir;
    const QVariant nullInt(QMetaType::fromType<int>());
    WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                      {{QStringLiteral("TBZ300"), QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR INTEGER, DYNASTY TEXT, CONTENT TEXT"),
                        {{1, NullText(), nullInt, NullText(), kJingYeSi},
                         {2, QStringLiteral("无诗"), 5, QStringLiteral("唐"), NullText()},
                         {nullInt, QStringLiteral("静夜思"), nullInt, NullText(), kJingYeSi}}}});
    auto frm = MakeWindow();
    const TLoadResult result = Load(*frm, 0);
    EXPECT_FALSE(result.Error);
    EXPECT_TRUE(result.Boxes.empty());
    ASSERT_EQ(frm->FPoemCount, 2);
    EXPECT_EQ(frm->FPoems[0].Title, G("唐诗三百首1"));
    EXPECT_EQ(frm->FPoems[0].Author, "");
    EXPECT_EQ(frm->FPoems[0].Dynasty, "");
    EXPECT_EQ(frm->FPoems[1].Title, G("静夜思"));
}

// Guards against a missing database failing silently, with more than one box
// or with a path other than the one tried.
TEST(LoadPoems, MissingDatabaseShowsOneBox)
{
    TScopedProgramDir dir;
    auto frm = MakeWindow();
    frm->FPoems.push_back(PoemFromRow({G("床前明月光。"), "", "", ""}, "x", 0));
    frm->FPoemCount = 1;
    for (int source : {0, 2}) {
        SCOPED_TRACE(source);
        const TLoadResult result = Load(*frm, source);
        EXPECT_FALSE(result.Error);
        ASSERT_EQ(result.Boxes.size(), 1u);
        EXPECT_EQ(result.Boxes[0].Text,
                  QStringLiteral("找不到数据库文件：") + QDir::toNativeSeparators(dir.File(QStringLiteral("db21.mdb"))));
        EXPECT_EQ(result.Boxes[0].Caption, QStringLiteral("错误"));
        EXPECT_EQ(result.Boxes[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(frm->FPoemCount, 0);
    }
}

// Guards against an empty result passing silently, or the box naming the
// wrong table or carrying the remote caption.
TEST(LoadPoems, NoUsableLinesShowsTheLocalBox)
{
    const struct {
        const char* name;
        std::vector<QVariantList> tbz300;
        std::vector<QVariantList> tb112;
        int source;
        const char* text;
    } cases[] = {
        {"empty table", {}, {}, 0, "数据库TBZ300表中没有适用诗句！"},
        {"no usable lines", {PoemRow(1, QString(), kNoLines), PoemRow(2, QString(), QString())}, {}, 0,
         "数据库TBZ300表中没有适用诗句！"},
        {"filter matches nothing", {}, {PoemRow(1, QStringLiteral("a")), PoemRow(400, QStringLiteral("b"))}, 3,
         "数据库TB112表中没有适用诗句！"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")), {{QStringLiteral("TBZ300"), kPoemColumns, c.tbz300},
                                                                  {QStringLiteral("TB112"), kPoemColumns, c.tb112}});
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, c.source);
        EXPECT_FALSE(result.Error);
        ASSERT_EQ(result.Boxes.size(), 1u);
        EXPECT_EQ(result.Boxes[0].Text, QString::fromUtf8(c.text));
        EXPECT_EQ(result.Boxes[0].Caption, QStringLiteral("错误"));
        EXPECT_EQ(result.Boxes[0].Icon, TMsgIcon::Error);
        EXPECT_EQ(frm->FPoemCount, 0);
    }
}

// Guards against database errors swallowed (or turned into boxes), and
// against connections left open when they propagate.
TEST(LoadPoems, DatabaseErrorsReachTheCaller)
{
    const struct {
        const char* name;
        std::optional<TTestTable> table;  // nullopt: a file that is not SQLite
        const char* message;
    } cases[] = {
        {"no CONTENT column",
         TTestTable{QStringLiteral("TBZ300"), QStringLiteral("ID INTEGER, TITLE TEXT, TEXT TEXT"),
                    {{1, QStringLiteral("静夜思"), kJingYeSi}}},
         "CONTENT"},
        {"no table", TTestTable{QStringLiteral("OTHER"), kPoemColumns, {PoemRow(1, QStringLiteral("静夜思"))}},
         "TBZ300"},
        {"not SQLite", std::nullopt, "not a supported poem database file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TScopedProgramDir dir;
        const QString path = dir.File(QStringLiteral("db21.mdb"));
        if (c.table) {
            WriteTestDatabase(path, {*c.table});
        } else {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("Standard Jet DB");
        }
        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
        ASSERT_TRUE(result.Error);
        EXPECT_TRUE(result.Error->contains(QString::fromUtf8(c.message))) << result.Error->toStdString();
        EXPECT_TRUE(result.Boxes.empty());
        EXPECT_EQ(frm->FPoemCount, 0);
    }
}

// Guards against a damaged file losing the poems read before the damage, or
// leaving the count out of step with the library.
TEST(LoadPoems, DamagedFileKeepsThePoemsBeforeTheDamage)
{
    constexpr int kRows = 3000;
    std::vector<QVariantList> rows;
    for (int i = 1; i <= kRows; ++i)
        rows.push_back(PoemRow(i, QStringLiteral("p%1").arg(i), kJingYeSi.repeated(3)));

    for (const char* damage : {"overwritten tail", "truncated"}) {
        SCOPED_TRACE(damage);
        TScopedProgramDir dir;
        const QString path = dir.File(QStringLiteral("db21.mdb"));
        WriteTestDatabase(path, {{QStringLiteral("TBZ300"), kPoemColumns, rows}});
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        const qint64 size = file.size();
        ASSERT_GT(size, 200000);
        if (std::string_view(damage) == "truncated") {
            ASSERT_TRUE(file.resize(size / 2));
        } else {
            file.seek(size / 2);
            file.write(QByteArray(static_cast<int>(size - size / 2), '\xA5'));
        }
        file.close();

        auto frm = MakeWindow();
        const TLoadResult result = Load(*frm, 0);
        ASSERT_TRUE(result.Error);
        EXPECT_TRUE(result.Boxes.empty());
        // SQLite notices a cut file before the first row; damage further on
        // is met in the middle of the rows.
        if (std::string_view(damage) != "truncated") {
            EXPECT_GT(frm->FPoemCount, 0);
        }
        EXPECT_LT(frm->FPoemCount, kRows);
        for (int i = 0; i < frm->FPoemCount; ++i)
            ASSERT_EQ(frm->FPoems[static_cast<std::size_t>(i)].Title, "p" + std::to_string(i + 1));
    }
}

// Guards against a second load starting inside a running one, and against a
// reload that does not replace the library.
TEST(LoadPoems, ReloadReplacesAndNoLoadStartsInsideAnother)
{
    TScopedProgramDir dir;
    WriteTestDatabase(dir.File(QStringLiteral("db21.mdb")),
                      {{QStringLiteral("TBZ300"), kPoemColumns, {PoemRow(1, QString()), PoemRow(2, QStringLiteral("b"))}}});
    auto frm = MakeWindow();
    ASSERT_EQ(frm->FPoemCount, 2);  // the start-up load
    frm->FPoems[0].Title = "changed";
    Load(*frm, 0);
    EXPECT_EQ(TitlesOf(*frm), (std::vector<std::string>{G("唐诗三百首1"), "b"}));

    frm->FLoading = true;
    frm->FPoems.pop_back();
    frm->FPoemCount = 1;
    frm->FRangeIndex = 3;
    frm->LoadPoems();
    EXPECT_EQ(frm->FPoemCount, 1);
    EXPECT_EQ(TitlesOf(*frm), (std::vector<std::string>{G("唐诗三百首1")}));
    frm->FLoading = false;
}

// ---- mkpoemdb ----------------------------------------------------------------------------

struct TRun {
    int Code;
    QString Out;
    QString Err;
};

TRun RunTool(const QStringList& arguments)
{
    TRun run{0, {}, {}};
    QTextStream out(&run.Out);
    QTextStream err(&run.Err);
    run.Code = RunMkPoemDb(arguments, out, err);
    return run;
}

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Guards against values changed on the way through JSON, SQLite and the
// layer: CR LF, Chinese, NULLs for absent fields, integer IDs.
TEST(MkPoemDb, WritesWhatTheLayerReadsBack)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("poems.jsonl"));
    WriteText(input, QByteArray("\xEF\xBB\xBF") +
                         QStringLiteral("{\"id\": 7, \"title\": \"静夜思\", \"author\": \"李白\", \"dynasty\": \"唐\", "
                                        "\"content\": \"床前明月光，疑是地上霜。\\r\\n举头望明月，低头思故乡。\"}\r\n"
                                        "\r\n"
                                        "{\"id\": -2, \"title\": null, \"content\": \"\"}\n")
                             .toUtf8());
    const QString out = dir.filePath(QStringLiteral("out.mdb"));
    const TRun run = RunTool({QStringLiteral("sqlite"), out, QStringLiteral("POEMS=") + input,
                              QStringLiteral("Again=") + input});
    ASSERT_EQ(run.Code, 0) << run.Err.toStdString();
    EXPECT_TRUE(run.Out.contains(QStringLiteral("POEMS: 2 poems")));

    TDbConnection connection;
    connection.SetConnectionString(JetString(out));
    connection.Open();
    for (const char* table : {"POEMS", "Again"}) {
        SCOPED_TRACE(table);
        TDbQuery query(connection);
        query.SetSql(QStringLiteral("SELECT * FROM ") + QString::fromUtf8(table));
        query.Open();
        ASSERT_EQ(query.FieldCount(), 5);
        QStringList names;
        for (int i = 0; i < query.FieldCount(); ++i)
            names << query.FieldName(i);
        EXPECT_EQ(names, QStringList({QStringLiteral("ID"), QStringLiteral("TITLE"), QStringLiteral("AUTHOR"),
                                      QStringLiteral("DYNASTY"), QStringLiteral("CONTENT")}));
        ASSERT_FALSE(query.Eof());
        EXPECT_EQ(query.FieldAsInteger(QStringLiteral("ID")), 7);
        EXPECT_EQ(query.FieldAsText(QStringLiteral("TITLE")), QStringLiteral("静夜思"));
        EXPECT_EQ(query.FieldAsText(QStringLiteral("AUTHOR")), QStringLiteral("李白"));
        EXPECT_EQ(query.FieldAsText(QStringLiteral("DYNASTY")), QStringLiteral("唐"));
        EXPECT_EQ(query.FieldAsText(QStringLiteral("CONTENT")), kJingYeSi);
        query.Next();
        ASSERT_FALSE(query.Eof());
        EXPECT_EQ(query.FieldAsInteger(QStringLiteral("ID")), -2);
        EXPECT_EQ(query.FieldAsText(QStringLiteral("TITLE")), QString());
        EXPECT_EQ(query.FieldAsText(QStringLiteral("CONTENT")), QString());
        query.Next();
        EXPECT_TRUE(query.Eof());
        TDbQuery nulls(connection);
        nulls.SetSql(QStringLiteral("SELECT COUNT(*) AS Cnt FROM %1 WHERE TITLE IS NULL AND AUTHOR IS NULL")
                         .arg(QString::fromUtf8(table)));
        nulls.Open();
        EXPECT_EQ(nulls.FieldAsInteger(QStringLiteral("Cnt")), 1);
    }
    connection.Close();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({QStringLiteral("out.mdb"), QStringLiteral("poems.jsonl")}));
}

// Guards against malformed lines written anyway, reported without file and
// line, or leaving a half-written database (or a damaged old one) behind.
TEST(MkPoemDb, MalformedLinesAreRejectedWithFileAndLine)
{
    const QByteArray good = QStringLiteral("{\"id\": 1, \"title\": \"静夜思\", \"content\": \"床前明月光。\"}").toUtf8();
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
        {"outside GBK", QStringLiteral("{\"id\": 2, \"content\": \"床前😀\"}").toUtf8(), "GBK"},
        {"invalid UTF-8", "{\"id\": 2, \"content\": \"\xFF\xFE\"}", "not valid JSON"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const QString input = dir.filePath(QStringLiteral("bad.jsonl"));
        WriteText(input, good + "\n" + c.line + "\n" + good);
        const QString out = dir.filePath(QStringLiteral("db21.mdb"));
        WriteText(out, "previous database");
        const TRun run = RunTool({QStringLiteral("sqlite"), out, QStringLiteral("TBZ300=") + input});
        EXPECT_EQ(run.Code, 1);
        EXPECT_TRUE(run.Err.contains(QDir::toNativeSeparators(input) + QStringLiteral(":2: "))) << run.Err.toStdString();
        EXPECT_TRUE(run.Err.contains(QString::fromUtf8(c.message))) << run.Err.toStdString();
        QFile previous(out);
        ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
        EXPECT_EQ(previous.readAll(), QByteArray("previous database"));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
    }
}

// Guards against bad command lines doing anything but a clear error: table
// names that would reach the SQL unchecked, repeated tables, missing files
// or folders.
TEST(MkPoemDb, CommandLinesAreChecked)
{
    QTemporaryDir dir;
    const QString input = dir.filePath(QStringLiteral("poems.jsonl"));
    WriteText(input, "{\"id\": 1, \"content\": \"x\"}\n");
    const QString out = dir.filePath(QStringLiteral("db.mdb"));
    const struct {
        const char* name;
        QStringList arguments;
        int code;
        const char* message;
    } cases[] = {
        {"unknown mode", {QStringLiteral("mysql"), out, QStringLiteral("T=") + input}, 2, "usage"},
        {"no table", {QStringLiteral("sqlite"), out}, 2, "usage"},
        {"table name with SQL", {QStringLiteral("sqlite"), out, QStringLiteral("T;DROP=") + input}, 1, "table name"},
        {"table name with a digit first", {QStringLiteral("sqlite"), out, QStringLiteral("1T=") + input}, 1, "table name"},
        {"table twice", {QStringLiteral("sqlite"), out, QStringLiteral("T=") + input, QStringLiteral("t=") + input}, 1,
         "twice"},
        {"missing file", {QStringLiteral("sqlite"), out, QStringLiteral("T=") + dir.filePath(QStringLiteral("no.jsonl"))},
         1, "Cannot read"},
        {"missing folder",
         {QStringLiteral("sqlite"), dir.filePath(QStringLiteral("no/db.mdb")), QStringLiteral("T=") + input}, 1,
         "does not exist"},
        {"unknown provider", {QStringLiteral("remote"), QStringLiteral("Provider=Oracle"), QStringLiteral("T=") + input},
         1, "not supported"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TRun run = RunTool(c.arguments);
        EXPECT_EQ(run.Code, c.code);
        EXPECT_TRUE(run.Err.contains(QString::fromUtf8(c.message))) << run.Err.toStdString();
        EXPECT_FALSE(QFile::exists(out));
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }
}

// Guards against the bundled data losing poems on the way into db21.mdb and
// through the loader: every poem with usable lines arrives in its stage,
// with its fields intact.
TEST(MkPoemDb, BundledPoemsArriveInTheirSources)
{
    TScopedProgramDir dir;
    const QString data = QStringLiteral(VQ_POEM_DATA_DIR);
    const std::vector<TPoemTable> tables = {
        ReadTableArgument(QStringLiteral("TBZ300=") + data + QStringLiteral("/tbz300.jsonl")),
        ReadTableArgument(QStringLiteral("TB112=") + data + QStringLiteral("/tb112.jsonl"))};
    WriteSQLiteFile(dir.File(QStringLiteral("db21.mdb")), tables);
    auto frm = MakeWindow();

    const struct {
        int source;
        std::size_t table;
        std::int64_t low, high;
    } stages[] = {{0, 0, INT64_MIN, INT64_MAX}, {1, 1, INT64_MIN, 139}, {2, 1, 140, 269}, {3, 1, 270, 342}};
    for (const auto& stage : stages) {
        SCOPED_TRACE(stage.source);
        std::vector<const TPoemEntry*> usable;
        for (const TPoemEntry& entry : tables[stage.table].Rows) {
            TStrArray lines;
            if (entry.Id >= stage.low && entry.Id <= stage.high && SplitVerseLines(WideToAnsi(entry.Content), lines) > 0)
                usable.push_back(&entry);
        }
        const TLoadResult result = Load(*frm, stage.source);
        EXPECT_FALSE(result.Error);
        EXPECT_TRUE(result.Boxes.empty());
        ASSERT_EQ(static_cast<std::size_t>(frm->FPoemCount), usable.size());
        EXPECT_GT(usable.size(), 30u);
        for (std::size_t i = 0; i < usable.size(); ++i) {
            const TPoemRecord& poem = frm->FPoems[i];
            ASSERT_EQ(poem.Title, WideToAnsi(usable[i]->Title.value_or(QString()))) << i;
            ASSERT_EQ(poem.Author, WideToAnsi(usable[i]->Author.value_or(QString()))) << i;
            ASSERT_EQ(poem.Dynasty, WideToAnsi(usable[i]->Dynasty.value_or(QString()))) << i;
            ASSERT_EQ(poem.Content, WideToAnsi(usable[i]->Content)) << i;
        }
    }
}

}  // namespace
