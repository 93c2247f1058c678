#include "library/db/pg_watchdog.h"

#include "library/app_error.h"

#include <QSqlDriver>
#include <QVariant>

#include <algorithm>

#ifdef VQ_HAVE_LIBPQ
#include <libpq-fe.h>
#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif
#endif

namespace {

std::int64_t Now() noexcept
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The connection of a QPSQL driver; null until its open() has connected.
pg_conn* ConnectionOf(const QSqlDriver& driver)
{
    // The driver names the type "pg_conn*", PGconn's own name.
    const QVariant handle = driver.handle();
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<pg_conn* const*>(handle.constData());
}

// The socket of `connection`; -1 for none. Without libpq (a build with no
// PostgreSQL client) no socket is known and nothing is ever cut.
int SocketOf(const pg_conn* connection) noexcept
{
#ifdef VQ_HAVE_LIBPQ
    return connection ? PQsocket(connection) : -1;
#else
    Q_UNUSED(connection);
    return -1;
#endif
}

// Ends both directions of `socket`: a call waiting on it returns at once, and
// libpq reports the connection lost.
void ShutDown(int socket) noexcept
{
#if defined(VQ_HAVE_LIBPQ) && defined(_WIN32)
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
#elif defined(VQ_HAVE_LIBPQ)
    ::shutdown(socket, SHUT_RDWR);
#else
    Q_UNUSED(socket);
#endif
}

}  // namespace

TPgWatchdog::TPgWatchdog(const QSqlDriver* driver) : FDriver(driver), FDeadline(RoundTripDeadline())
{
    FThread = std::thread([this] { Watch(); });
}

TPgWatchdog::~TPgWatchdog()
{
    {
        const std::lock_guard lock(FMutex);
        FStopping = true;
    }
    FWake.notify_one();
    FThread.join();
}

void TPgWatchdog::Opened() noexcept
{
    FConnection = ConnectionOf(*FDriver);
    FOpening = false;
}

QString TPgWatchdog::Reason(const QString& driverMessage) const
{
    if (!FFired)
        return DriverText(driverMessage);
    return NoAnswerText(FDeadline);
}

void TPgWatchdog::Begin() noexcept
{
    ++FDepth;
    Arm();
}

void TPgWatchdog::End() noexcept
{
    if (--FDepth > 0)
        Arm();
    else
        FStartedAt = 0;
}

void TPgWatchdog::Arm() noexcept
{
    FSocket = SocketOf(FConnection);
    FStartedAt = Now();
}

// Looks at the round trip under way a few times per deadline, so that a cut
// comes at most a tenth of the deadline (and never more than a second) late.
void TPgWatchdog::Watch()
{
    const auto tick =
        std::clamp<std::chrono::milliseconds>(FDeadline / 10, std::chrono::milliseconds(10), std::chrono::seconds(1));
    std::unique_lock lock(FMutex);
    while (!FStopping) {
        FWake.wait_for(lock, tick);
        const std::int64_t startedAt = FStartedAt;
        if (startedAt != 0 && !FFired && Now() - startedAt >= std::chrono::nanoseconds(FDeadline).count())
            Cut();
    }
}

void TPgWatchdog::Cut()
{
    int socket = FSocket;
    // While the driver opens, its connection is known only to the driver,
    // which sets its handle once the log-in is through and then sends its
    // own set-up queries. Before that, libpq's connect_timeout bounds the
    // wait; this looks again at the next tick.
    if (socket < 0 && FOpening)
        socket = SocketOf(ConnectionOf(*FDriver));
    if (socket < 0)
        return;  // libpq dropped the connection itself: the call is returning
    // Marked before the cut: the waiting call returns as soon as the socket
    // is shut down and asks at once why.
    FFired = true;
    ShutDown(socket);
}
