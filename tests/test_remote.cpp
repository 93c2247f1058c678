// The fifth source, read from the PostgreSQL server of scripts/remote-db.sh:
// progress display, message boxes, failures, and closing the window or
// switching the source in the middle of a load. Each test gets a database of
// its own on that server. Skipped when VERSEQUEST_TEST_REMOTE_CONNECTION is
// not set (scripts/test.sh always sets it).
#include "loader_helpers.h"

#include "library/database.h"
#include "library/sources.h"
#include "poem_tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

#ifdef Q_OS_UNIX
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

const QString kJingYeSi = QStringLiteral("床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。");
const QString kNoLines = QStringLiteral("采薇采薇，薇亦作止。");

std::optional<QString> ServerConnection()
{
    if (!qEnvironmentVariableIsSet("VERSEQUEST_TEST_REMOTE_CONNECTION"))
        return std::nullopt;
    return qEnvironmentVariable("VERSEQUEST_TEST_REMOTE_CONNECTION");
}

#define REQUIRE_SERVER()                                                                                \
    const std::optional<QString> server = ServerConnection();                                           \
    if (!server)                                                                                        \
    GTEST_SKIP() << "VERSEQUEST_TEST_REMOTE_CONNECTION is not set; start scripts/remote-db.sh"

QString WithCatalog(const QString& connection, const QString& catalog, const QString& password)
{
    const TConnectionSettings settings = SettingsFromConnectionString(connection);
    return QStringLiteral("Provider=PostgreSQL;Data Source=%1;Initial Catalog=%2;User ID=%3;Password=%4")
        .arg(settings.DataSource, catalog, settings.UserId, password);
}

// A database of its own on the test server, dropped when the test ends, and
// VERSEQUEST_REMOTE_CONNECTION pointing the fifth source at it meanwhile.
class TRemoteDatabase {
public:
    explicit TRemoteDatabase(const QString& server) : FServer(server)
    {
        static int counter = 0;
        FName = QStringLiteral("vq_test_%1_%2").arg(QCoreApplication::applicationPid()).arg(++counter);
        Admin(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(FName));
        Admin(QStringLiteral("CREATE DATABASE %1").arg(FName));
        FConnection = WithCatalog(server, FName, SettingsFromConnectionString(server).Password);
        if (qEnvironmentVariableIsSet("VERSEQUEST_REMOTE_CONNECTION"))
            FOldValue = qgetenv("VERSEQUEST_REMOTE_CONNECTION");
        qputenv("VERSEQUEST_REMOTE_CONNECTION", FConnection.toUtf8());
    }
    ~TRemoteDatabase()
    {
        if (FOldValue)
            qputenv("VERSEQUEST_REMOTE_CONNECTION", *FOldValue);
        else
            qunsetenv("VERSEQUEST_REMOTE_CONNECTION");
        try {
            Admin(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(FName));
        } catch (const std::exception& error) {
            ADD_FAILURE() << error.what();
        }
    }
    TRemoteDatabase(const TRemoteDatabase&) = delete;
    TRemoteDatabase& operator=(const TRemoteDatabase&) = delete;

    QString Name() const { return FName; }
    QString ConnectionString() const { return FConnection; }

    void WriteTB100(const std::vector<TPoemEntry>& rows) const
    {
        WriteServerTables(FConnection, {TPoemTable{QStringLiteral("TB100"), QString(), rows}});
    }

private:
    void Admin(const QString& sql) const
    {
        TDbConnection connection;
        connection.SetConnectionString(FServer);
        connection.Open();
        connection.Execute(sql);
    }

    QString FServer;
    QString FName;
    QString FConnection;
    std::optional<QByteArray> FOldValue;
};

std::vector<TPoemEntry> UsableRows(int count)
{
    std::vector<TPoemEntry> rows;
    for (int i = 1; i <= count; ++i)
        rows.push_back({i, QStringLiteral("诗%1").arg(i), QStringLiteral("李白"), QStringLiteral(" 唐 "), kJingYeSi});
    return rows;
}

// Logs what a person would see during a load: the progress label's texts
// (with the bar's position and maximum) whenever the window processes
// messages, its disappearance, and every message box with whether the
// progress display was on screen at that moment. `OnText` lets a test act
// like a player at a given text.
class TLoadWatcher {
public:
    explicit TLoadWatcher(TfrmMain& frm) : FForm(&frm)
    {
        FPrevious = SetMessageBoxHook([this](const TMessageBoxCall& call) {
            Log.push_back(QStringLiteral("box %1 %2 %3 progress=%4")
                              .arg(IconName(call.Icon), call.Caption, call.Text,
                                   FForm && FForm->FProgressBar ? QStringLiteral("shown") : QStringLiteral("none")));
            Boxes.push_back(call);
        });
        QObject::connect(&FTimer, &QTimer::timeout, [this] { Look(); });
        FTimer.start(0);
    }
    ~TLoadWatcher() { SetMessageBoxHook(std::move(FPrevious)); }
    TLoadWatcher(const TLoadWatcher&) = delete;
    TLoadWatcher& operator=(const TLoadWatcher&) = delete;

    std::vector<QString> Log;
    std::vector<TMessageBoxCall> Boxes;
    std::function<void(const QString&)> OnText;

private:
    static QString IconName(TMsgIcon icon)
    {
        switch (icon) {
        case TMsgIcon::Error:
            return QStringLiteral("error");
        case TMsgIcon::Warning:
            return QStringLiteral("warning");
        case TMsgIcon::Information:
            return QStringLiteral("information");
        }
        return {};
    }

    void Look()
    {
        if (!FForm)
            return;
        if (!FForm->FProgressLabel) {
            if (FShown)
                Log.push_back(QStringLiteral("gone"));
            FShown = false;
            FLast.clear();
            return;
        }
        FShown = true;
        const QProgressBar* bar = FForm->FProgressBar;
        const QString text = FForm->FProgressLabel->text();
        const QString entry = QStringLiteral("label %1 [%2/%3]")
                                  .arg(text)
                                  .arg(bar ? bar->value() : -1)
                                  .arg(bar ? bar->maximum() : -1);
        if (entry == FLast)
            return;
        FLast = entry;
        Log.push_back(entry);
        if (OnText)
            OnText(text);
    }

    QPointer<TfrmMain> FForm;
    QTimer FTimer;
    TMessageBoxHook FPrevious;
    QString FLast;
    bool FShown = false;
};

QString Label(const char* text, int value, int maximum)
{
    return QStringLiteral("label %1 [%2/%3]").arg(QString::fromUtf8(text)).arg(value).arg(maximum);
}

const QString kConnecting = Label("你正在连接网络数据库，请稍候......", 0, 100);
const QString kLoading = Label("正在加载诗词数据...", 0, 100);
const QString kSuccessBox = QStringLiteral("box information 提示 连接成功，你现在可以开始了...... progress=shown");
const QString kFailureBox = QStringLiteral("box error 连接失败 远程数据库连接不成功，请检查网络后再试。 progress=none");

void ExpectCleanEnd(const TfrmMain& frm)
{
    EXPECT_FALSE(frm.FLoading);
    EXPECT_EQ(frm.FProgressBar, nullptr);
    EXPECT_EQ(frm.FProgressLabel, nullptr);
    EXPECT_TRUE(frm.findChildren<QProgressBar*>().isEmpty());
    EXPECT_EQ(frm.FPoemCount, static_cast<std::int32_t>(frm.FPoems.size()));
    ExpectNoOpenConnections();
}

// Guards against progress updates at the wrong counts or with the wrong
// totals, a display misplaced, unstyled or left behind, untitled rows named
// by row, and the success box missing or out of order.
TEST(RemoteSource, ProgressFollowsTheKeptPoems)
{
    REQUIRE_SERVER();
    const struct {
        const char* name;
        std::vector<int> unusable;  // rows (1-based) without usable lines
        std::vector<QString> labels;
        int kept;
    } cases[] = {
        {"all 25 usable", {}, {Label("正在加载诗词数据...10/25", 10, 25), Label("正在加载诗词数据...20/25", 20, 25)}, 25},
        {"first row unusable",
         {1},
         {Label("正在加载诗词数据...0/25", 0, 25), Label("正在加载诗词数据...10/25", 10, 25),
          Label("正在加载诗词数据...20/25", 20, 25)},
         24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRemoteDatabase database(*server);
        std::vector<TPoemEntry> rows = UsableRows(25);
        for (int row : c.unusable)
            rows[static_cast<std::size_t>(row - 1)].Content = kNoLines;
        rows[4].Title.reset();  // NULL title
        rows[5].Author.reset();
        database.WriteTB100(rows);

        auto frm = MakeWindow();
        TLoadWatcher watcher(*frm);
        QRect barGeometry, labelGeometry;
        watcher.OnText = [&](const QString&) {
            const TLabel* label = frm->FProgressLabel;
            barGeometry = frm->FProgressBar->geometry();
            labelGeometry = label->geometry();
            EXPECT_EQ(label->font().pixelSize(), 16);
            EXPECT_EQ(label->font().family(), kKaiFace);
            EXPECT_EQ(label->palette().color(QPalette::WindowText), QColor(0x3C, 0x1E, 0x00));
            EXPECT_EQ(label->palette().color(QPalette::Window), QColor(0xEB, 0xDD, 0xD4));
            EXPECT_TRUE(label->autoFillBackground());
            EXPECT_EQ(label->alignment(), Qt::AlignCenter);
            EXPECT_EQ(label->parentWidget(), frm.get());
            EXPECT_EQ(frm->FProgressBar->parentWidget(), frm.get());
        };
        frm->FRangeIndex = 4;
        frm->LoadPoems();

        std::vector<QString> expected{kConnecting, kSuccessBox, kLoading};
        expected.insert(expected.end(), c.labels.begin(), c.labels.end());
        expected.push_back(QStringLiteral("gone"));
        EXPECT_EQ(watcher.Log, expected);
        ExpectCleanEnd(*frm);
        EXPECT_EQ(barGeometry, QRect(200, 327, 400, 24));
        EXPECT_EQ(labelGeometry, QRect(200, 299, 400, 20));
        ASSERT_EQ(frm->FPoemCount, c.kept);
        const int offset = c.kept == 25 ? 0 : 1;  // the first row was dropped
        EXPECT_EQ(frm->FPoems[static_cast<std::size_t>(4 - offset)].Title,
                  G("其他诗词") + std::to_string(5 - offset));
        EXPECT_EQ(frm->FPoems[static_cast<std::size_t>(5 - offset)].Author, "");
        EXPECT_EQ(frm->FPoems[static_cast<std::size_t>(6 - offset)].Title, G("诗7"));
        EXPECT_EQ(frm->FPoems[0].Dynasty, G("唐"));
    }
}

// A TCP port on the loopback on which nothing listens.
int ClosedPort()
{
#ifdef Q_OS_UNIX
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        ::close(fd);
        return ntohs(address.sin_port);
    }
    if (fd >= 0)
        ::close(fd);
#endif
    return 1;
}

// Guards against a failed connection showing more than one box, the success
// box, or the empty-table box, leaving the display behind, or hanging.
TEST(RemoteSource, FailedConnectionShowsOneBox)
{
    REQUIRE_SERVER();
    const TConnectionSettings settings = SettingsFromConnectionString(*server);
    const struct {
        const char* name;
        QString connection;
    } cases[] = {
        {"closed port",
         QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1,%1;Initial Catalog=x;User ID=x;Password=x")
             .arg(ClosedPort())},
        {"wrong password", WithCatalog(*server, settings.InitialCatalog, QStringLiteral("wrong-password"))},
        {"unknown database", WithCatalog(*server, QStringLiteral("no_such_database"), settings.Password)},
        {"malformed string", QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1,notaport")},
        {"unsupported provider", QStringLiteral("Provider=MSDAORA;Data Source=x")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        qputenv("VERSEQUEST_REMOTE_CONNECTION", c.connection.toUtf8());
        auto frm = MakeWindow();
        TLoadWatcher watcher(*frm);
        frm->FRangeIndex = 4;
        QElapsedTimer clock;
        clock.start();
        frm->LoadPoems();
        EXPECT_LT(clock.elapsed(), 15000);
        EXPECT_EQ(watcher.Log, (std::vector<QString>{kConnecting, kFailureBox}));
        EXPECT_EQ(frm->FPoemCount, 0);
        ExpectCleanEnd(*frm);
    }
    qunsetenv("VERSEQUEST_REMOTE_CONNECTION");
}

// Guards against an empty remote table passing silently or with the local
// box, and against the warning appearing while the display is still up.
TEST(RemoteSource, EmptyTableShowsSuccessThenWarning)
{
    REQUIRE_SERVER();
    for (const char* name : {"no rows", "no usable lines"}) {
        SCOPED_TRACE(name);
        TRemoteDatabase database(*server);
        std::vector<TPoemEntry> rows;
        if (std::string_view(name) == "no usable lines")
            rows = {{1, QStringLiteral("a"), std::nullopt, std::nullopt, kNoLines},
                    {2, std::nullopt, std::nullopt, std::nullopt, QString()}};
        database.WriteTB100(rows);
        auto frm = MakeWindow();
        TLoadWatcher watcher(*frm);
        frm->FRangeIndex = 4;
        frm->LoadPoems();
        const int total = static_cast<int>(rows.size());
        std::vector<QString> expected{kConnecting, kSuccessBox, kLoading};
        if (total > 0)
            expected.push_back(Label(QStringLiteral("正在加载诗词数据...0/%1").arg(total).toUtf8().constData(), 0,
                                     total));
        expected.push_back(QStringLiteral("gone"));
        expected.push_back(QStringLiteral("box warning 提示 远程数据库TB100表中没有适用诗句！ progress=none"));
        EXPECT_EQ(watcher.Log, expected);
        EXPECT_EQ(frm->FPoemCount, 0);
        ExpectCleanEnd(*frm);
    }
}

// Guards against a server error in the middle of a remote load leaving the
// progress display or the connection behind, or being swallowed.
TEST(RemoteSource, ServerErrorsRemoveTheDisplayAndReachTheCaller)
{
    REQUIRE_SERVER();
    TRemoteDatabase database(*server);  // no table TB100 in it
    auto frm = MakeWindow();
    TLoadWatcher watcher(*frm);
    frm->FRangeIndex = 4;
    EXPECT_THROW(frm->LoadPoems(), TAppError);
    EXPECT_EQ(watcher.Log, (std::vector<QString>{kConnecting, kSuccessBox, kLoading}));
    EXPECT_EQ(frm->FPoemCount, 0);
    ExpectCleanEnd(*frm);
}

// Guards against closing the window in the middle of a remote load pulling
// the window from under the loader, the load going on afterwards, or the
// window never closing.
TEST(RemoteSource, ClosingDuringALoadStopsItThenCloses)
{
    REQUIRE_SERVER();
    TRemoteDatabase database(*server);
    database.WriteTB100(UsableRows(25));
    QPointer<TfrmMain> frm = MakeWindow().release();
    {
        TLoadWatcher watcher(*frm);
        bool stillThere = false;
        watcher.OnText = [&](const QString& text) {
            if (text != QStringLiteral("正在加载诗词数据...10/25"))
                return;
            frm->close();
            stillThere = !frm.isNull() && frm->FLoading;
        };
        frm->FRangeIndex = 4;
        frm->LoadPoems();
        EXPECT_TRUE(stillThere);
        ASSERT_FALSE(frm.isNull());
        EXPECT_EQ(watcher.Log, (std::vector<QString>{kConnecting, kSuccessBox, kLoading,
                                                     Label("正在加载诗词数据...10/25", 10, 25)}));
        EXPECT_EQ(frm->FPoemCount, 10);
        ExpectCleanEnd(*frm);
    }
    QElapsedTimer clock;
    clock.start();
    while (!frm.isNull() && clock.elapsed() < 5000) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    EXPECT_TRUE(frm.isNull()) << "the window did not close after the load";
    delete frm.data();
}

// Guards against a second load starting in the middle of one, by a direct
// call or by the switch-range command: no dialog, the library intact.
TEST(RemoteSource, NoSecondLoadStartsDuringALoad)
{
    REQUIRE_SERVER();
    TRemoteDatabase database(*server);
    database.WriteTB100(UsableRows(25));
    auto frm = MakeWindow();
    TLoadWatcher watcher(*frm);
    const int dialogs = RangeDialogsShown();
    std::int32_t countSeenInside = -1;
    watcher.OnText = [&](const QString& text) {
        if (text != QStringLiteral("正在加载诗词数据...20/25"))
            return;
        frm->LoadPoems();
        frm->SwitchRange();
        countSeenInside = frm->FPoemCount;
    };
    frm->FRangeIndex = 4;
    frm->LoadPoems();
    EXPECT_EQ(countSeenInside, 20);
    EXPECT_EQ(RangeDialogsShown(), dialogs);
    EXPECT_EQ(frm->FPoemCount, 25);
    EXPECT_EQ(watcher.Boxes.size(), 1u);
    ExpectCleanEnd(*frm);
}

// Guards against the command timeout not reaching the server, and against
// mkpoemdb leaving a half-loaded table when a row is refused.
TEST(RemoteSource, TimeoutsAndAtomicLoads)
{
    REQUIRE_SERVER();
    TRemoteDatabase database(*server);
    database.WriteTB100(UsableRows(5));
    {
        TDbConnection connection;
        connection.SetConnectionString(database.ConnectionString());
        connection.Open();
        TDbQuery query(connection);
        query.SetSql(QStringLiteral("SELECT current_setting('statement_timeout') AS T"));
        query.Open();
        EXPECT_EQ(query.FieldAsText(QStringLiteral("T")), QStringLiteral("30s"));
    }
    // Rows are checked before anything is written; a row the server refuses
    // (here: an id too large for the column) rolls the whole load back.
    std::vector<TPoemEntry> rows = UsableRows(3);
    rows[2].Id = 1LL << 40;
    EXPECT_THROW(database.WriteTB100(rows), TAppError);
    TDbConnection connection;
    connection.SetConnectionString(database.ConnectionString());
    connection.Open();
    TDbQuery count(connection);
    count.SetSql(CountSql(SourceOf(4)));
    count.Open();
    EXPECT_EQ(count.FieldAsInteger(QStringLiteral("Cnt")), 5);
}

}  // namespace
