#pragma once
// The client-side deadline (round_trip_deadline.h) on every round trip of a
// PostgreSQL connection through libpq. A thread of the watchdog shuts the
// connection's socket down once a round trip outlasts its deadline; libpq
// then fails the call as for a broken network.

#include "library/db/connection_string.h"
#include "library/db/round_trip_deadline.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class QSqlDriver;
struct pg_conn;  // libpq's PGconn

class TPgWatchdog {
public:
    // Watches the connection of `driver`, a QPSQL driver that outlives the
    // watchdog, from before its open() on.
    explicit TPgWatchdog(const QSqlDriver* driver);
    ~TPgWatchdog();
    TPgWatchdog(const TPgWatchdog&) = delete;
    TPgWatchdog& operator=(const TPgWatchdog&) = delete;

    // A call into the driver that may wait for the server, for the life of
    // the scope; nothing without a watchdog. Scopes may nest: each start and
    // end of one starts the deadline anew.
    class TRoundTrip {
    public:
        explicit TRoundTrip(TPgWatchdog* watchdog) noexcept : FWatchdog(watchdog)
        {
            if (FWatchdog)
                FWatchdog->Begin();
        }
        ~TRoundTrip()
        {
            if (FWatchdog)
                FWatchdog->End();
        }
        TRoundTrip(const TRoundTrip&) = delete;
        TRoundTrip& operator=(const TRoundTrip&) = delete;

    private:
        TPgWatchdog* FWatchdog;
    };

    // Call once the driver's open() has returned, outside any round trip.
    void Opened() noexcept;
    // The driver's libpq connection once opened; null before, or for none.
    pg_conn* Connection() const noexcept { return FConnection; }
    // True once a round trip outlasted the deadline: the connection is cut.
    bool Fired() const noexcept { return FFired; }
    // Why a call failed: the deadline once it passed, else the driver's text.
    QString Reason(const QString& driverMessage) const;

private:
    void Begin() noexcept;
    void End() noexcept;
    void Arm() noexcept;
    void Watch();
    void Cut();

    const QSqlDriver* FDriver;
    const std::chrono::milliseconds FDeadline;
    pg_conn* FConnection = nullptr;  // once opened; read on the caller's thread only
    int FDepth = 0;  // round trips under way, nested
    // Shared with the watchdog's thread: when the round trip under way began
    // (steady clock nanoseconds; 0 for none) and the socket it uses (-1 while
    // the driver opens or once libpq dropped it).
    std::atomic<std::int64_t> FStartedAt{0};
    std::atomic<int> FSocket{-1};
    std::atomic<bool> FOpening{true};
    std::atomic<bool> FFired{false};
    std::mutex FMutex;
    std::condition_variable FWake;
    bool FStopping = false;  // under FMutex
    std::thread FThread;
};
