// The rules of reading and writing poem databases, without a window: the
// poem sources, connection strings, the database layer over SQLite files and
// the test server (mkpoemdb in test_mkpoemdb.cpp).
#include "command_line.h"
#include "database_fixtures.h"
#include "library/db/database.h"
#include "library/db/database_query.h"
#include "library/db/odbc_drivers.h"
#include "library/db/poem_rows.h"
#include "library/sources.h"
#include "poem_tables.h"
#include "support/database_support.h"
#include "support/rules_support.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <thread>
#include <tuple>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// ---- Sources and connection strings -------------------------------------------------------

// Guards against a wrong label, table, filter or SQL text for any source, or a bad index accepted.
TEST(Sources, TablesFiltersAndQueries)
{
    const struct {
        const char *label, *from;
        bool remote;
    } expected[] = {
        // from: what follows FROM
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
#ifdef Q_OS_WIN
            if (value.isEmpty())
                continue;  // Windows deletes a variable set to ""
#endif
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
        EXPECT_EQ(OdbcConnectionString(SettingsFromConnectionString(text), "FreeTDS"), odbc);
    }
    EXPECT_FALSE(ErrorOf([] {
                     OdbcConnectionString(SettingsFromConnectionString("Provider=SQLOLEDB.1"), "FreeTDS");
                 }).isEmpty());
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("connect_timeout=15")), 1);
    EXPECT_EQ(PostgreSqlConnectOptions().count(QStringLiteral("statement_timeout=30000")), 1);
}

// Guards against Windows taking a driver that is not installed or a worse one first, and server strings losing
// parts or PostgreSQL its timeouts there.
TEST(ConnectionStrings, WindowsDriversAndTheirStrings)
{
    const QStringList installed = {"sql server", "ODBC Driver 17 for SQL Server", "PostgreSQL Unicode", "FreeTDS"};
    EXPECT_EQ(ChooseOdbcDriver(TDbProvider::SqlServer, installed), "ODBC Driver 17 for SQL Server");
    EXPECT_EQ(ChooseOdbcDriver(TDbProvider::SqlServer, {"FreeTDS", "SQL Server"}), "SQL Server");
    EXPECT_EQ(ChooseOdbcDriver(TDbProvider::PostgreSQL, installed), "PostgreSQL Unicode");
    EXPECT_EQ(ChooseOdbcDriver(TDbProvider::PostgreSQL, {"PostgreSQL ANSI", "SQL Server"}), "");

    const QString tds = "Provider=SQLOLEDB;Data Source=srv,1500;User ID=sa;Password=p";
    const std::tuple<QString, const char*, QString> cases[] = {
        // connection string, driver, ODBC string
        {"Provider=SQLOLEDB.1;Data Source=10.0.0.5,1500;Initial Catalog=poems;User ID=u;Password=p=q", "SQL Server",
         "DRIVER={SQL Server};SERVER=10.0.0.5,1500;DATABASE=poems;UID=u;PWD={p=q};Encrypt=no"},
        {"Provider=SQLOLEDB.1;Data Source=srv\\SQLEXPRESS;User ID=sa;Password=", "ODBC Driver 18 for SQL Server",
         "DRIVER={ODBC Driver 18 for SQL Server};SERVER=srv\\SQLEXPRESS;UID=sa;PWD=;Encrypt=no"},
        {tds, "FreeTDS", "DRIVER={FreeTDS};SERVER=srv;PORT=1500;UID=sa;PWD=p;TDS_Version=7.4;ClientCharset=UTF-8"},
        {"Provider=PostgreSQL;Data Source=db.example.org;Initial Catalog=vq;User ID=reader;Password=\"x;y\"",
         "PostgreSQL Unicode(x64)",
         "DRIVER={PostgreSQL "
         "Unicode(x64)};SERVER=db.example.org;PORT=5432;DATABASE=vq;UID=reader;PWD={x;y};UseDeclareFetch=1;Fetch=2000;"
         "pqopt={"},
    };
    for (const auto& [text, driver, odbc] : cases) {
        SCOPED_TRACE(text.toStdString());
        const QString result = OdbcConnectionString(SettingsFromConnectionString(text), driver);
        EXPECT_TRUE(odbc.endsWith(u'{') ? result.startsWith(odbc) : result == odbc) << result.toStdString();
    }
    const QString postgreSql = OdbcConnectionString(
        SettingsFromConnectionString("Provider=PostgreSQL;Data Source=h,6543"), "PostgreSQL Unicode");
    for (const char* part : {";PORT=6543;", "connect_timeout=15 ", "statement_timeout=30000", "keepalives=1 "})
        EXPECT_TRUE(postgreSql.contains(part)) << part;
    EXPECT_TRUE(postgreSql.endsWith(u'}'));
    EXPECT_FALSE(ErrorOf([] {
                     OdbcConnectionString(SettingsFromConnectionString("Provider=PostgreSQL;Data Source=h,0"),
                                          "PostgreSQL Unicode");
                 }).isEmpty());
}

// ---- The database layer over SQLite ---------------------------------------------------

// Guards against skipped or repeated rows, junk for bad reads, a writable poem file, and queries outliving connections.
TEST(Database, ForwardOnlyQueriesReadEveryRowOnce)
{
    QTemporaryDir dir;
    const QVariant nullInt(QMetaType::fromType<int>());
    const TTestTable table{"T",
                           "id INTEGER, Title TEXT, n INTEGER, CONTENT TEXT",
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
    for (; !query.Eof(); query.Next()) {
        seen << QStringLiteral("%1|%2|%3|%4")
                    .arg(query.FieldAsInteger("ID"))
                    .arg(query.FieldAsText("TITLE"), query.FieldText(2), query.FieldAsText("content"));
        if (query.FieldAsInteger("ID") == 2) {  // n is NULL
            EXPECT_TRUE(ErrorOf([&] { query.FieldAsInteger("n"); }).contains("不是整数"));
        }
    }
    EXPECT_EQ(seen, QStringList({"1|一|10|甲", "2|||乙", "3||-7|"}));
    EXPECT_TRUE(ErrorOf([&] { query.FieldText(0); }).contains("没有当前行"));

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
    WriteTestDatabase(dir.filePath(kDb), {{"T",
                                           "ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT",
                                           {{1, "静夜思", "李白", "唐", kJingYeSi}}}});
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
    EXPECT_TRUE(ErrorOf([&] { query.FieldGbk(0, row.Content); }).contains("没有当前行"));
}

// ---- The database layer on the test server ------------------------------------------------

#ifndef _WIN32
// A server that takes a PostgreSQL log-in and then reads and never answers, as
// a pooler does whose server froze. It hangs up after `patience`, so that a
// client that waits for it for good still ends.
class TSilentServer {
public:
    explicit TSilentServer(std::chrono::milliseconds patience)
    {
        FListener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(FListener, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(FListener, 1), 0);
        ::getsockname(FListener, reinterpret_cast<sockaddr*>(&address), &size);
        Port = ntohs(address.sin_port);
        FThread = std::thread([this, patience] { Serve(patience); });
    }
    ~TSilentServer()
    {
        FThread.join();
        ::close(FListener);
    }
    TSilentServer(const TSilentServer&) = delete;
    TSilentServer& operator=(const TSilentServer&) = delete;

    int Port = 0;

private:
    void Serve(std::chrono::milliseconds patience)
    {
        pollfd listener{FListener, POLLIN, 0};
        if (::poll(&listener, 1, 10000) != 1)
            return;
        const int client = ::accept(FListener, nullptr, nullptr);
        const auto end = std::chrono::steady_clock::now() + patience;
        if (client >= 0 && LogIn(client)) {
            pollfd peer{client, POLLIN, 0};
            std::array<char, 256> buffer{};
            while (std::chrono::steady_clock::now() < end)
                if (::poll(&peer, 1, 20) == 1 && ::recv(client, buffer.data(), buffer.size(), 0) <= 0)
                    break;  // the client hung up
        }
        ::close(client);
    }

    // Declines encryption, takes the start-up message as it comes and lets
    // the client in: AuthenticationOk, then ReadyForQuery.
    static bool LogIn(int client)
    {
        for (;;) {
            std::array<unsigned char, 8> head{};
            if (::recv(client, head.data(), head.size(), MSG_WAITALL) != 8)
                return false;
            const auto word = [&](int at) {
                return std::uint32_t(head[at]) << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3];
            };
            if (word(0) == 8 && (word(4) == 80877103 || word(4) == 80877104)) {  // SSL or GSS encryption
                if (::send(client, "N", 1, 0) != 1)
                    return false;
                continue;
            }
            std::array<char, 4096> rest{};
            if (word(0) < 8 || word(0) - 8 > rest.size() ||
                ::recv(client, rest.data(), word(0) - 8, MSG_WAITALL) != static_cast<ssize_t>(word(0) - 8))
                return false;
            break;
        }
        static const char kWelcome[] = {'R', 0, 0, 0, 8, 0, 0, 0, 0, 'Z', 0, 0, 0, 5, 'I'};
        return ::send(client, kWelcome, sizeof kWelcome, 0) == sizeof kWelcome;
    }

    int FListener = -1;
    std::thread FThread;
};

// Guards against a server that lets the client in and then never answers (a pooler or proxy whose server
// froze; TCP stays up) holding Open() for good: the driver's first query is cut off at the deadline.
TEST(ServerConnection, ALogInNeverAnsweredAfterwardsGivesUpAtTheDeadline)
{
    const TScopedRoundTripDeadline deadline(std::chrono::milliseconds(1500));
    TSilentServer silent(std::chrono::seconds(20));
    TDbConnection connection;
    connection.SetConnectionString(
        QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1,%1;Initial Catalog=x;User ID=x;Password=x")
            .arg(silent.Port));
    QElapsedTimer clock;
    clock.start();
    const QString message = ErrorOf([&] { connection.Open(); });
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_LT(clock.elapsed(), 5000) << "the open waited for the server";
    EXPECT_EQ(message, QStringLiteral("无法连接数据库服务器 127.0.0.1,%1：数据库服务器 1.5 秒内没有应答，已断开连接")
                           .arg(silent.Port));
    ExpectNoOpenConnections();
}
#endif

// Guards against the command timeout not reaching the server, and mkpoemdb leaving half a table when a row is refused.
TEST(ServerConnection, TimeoutsAndAtomicLoads)
{
    REQUIRE_SERVER();
    TRemoteDatabase database(server, UsableRows(5));
    std::vector<TPoemEntry> rows = UsableRows(3);
    rows[2].Id = 1LL << 40;  // too large for the column: the server refuses it
    EXPECT_THROW(database.WriteTB100(rows), TAppError);
    TDbConnection connection;
    connection.SetConnectionString(database.Connection);
    connection.Open();
    TDbQuery query(connection);
    query.SetSql("SELECT current_setting('statement_timeout') AS T, COUNT(*) AS Cnt FROM TB100");
    query.Open();
    EXPECT_EQ(query.FieldAsText("T"), "30s");
    EXPECT_EQ(query.FieldAsInteger("Cnt"), 5);
}

}  // namespace
