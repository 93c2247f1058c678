#pragma once
// A Qt SQL connection whose calls run on a thread of its own, each under the
// client-side deadline (round_trip_deadline.h). An ODBC driver gives no socket
// to shut down and cancels a statement only with the server's help, so a call
// that outlasts the deadline is not ended: the caller stops waiting, and the
// connection is given up to its thread, which releases it whenever the driver
// returns. Nothing ever waits for a given-up thread, the program's end
// included. QtCore and QtSql only.
//
// Qt SQL binds a connection to the thread that made it: the database, its
// queries and their values are made, used and destroyed on that thread, in
// the tasks given to Run().

#include <QSqlDatabase>
#include <QString>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QSqlQuery;
class QThread;

// The Qt SQL side of one connection, touched only on the thread that made its
// database: the database (by its Qt connection name), the prepared command of
// a batch and the open results.
struct TSqlSession {
    explicit TSqlSession(const QString& name);
    ~TSqlSession();
    TSqlSession(const TSqlSession&) = delete;
    TSqlSession& operator=(const TSqlSession&) = delete;

    QSqlDatabase Database() const { return QSqlDatabase::database(Name, false); }
    // Closes and removes the Qt connection, its queries first; quiet.
    void Release() noexcept;

    const QString Name;
    std::unique_ptr<QSqlQuery> Command;
    std::map<unsigned, std::unique_ptr<QSqlQuery>> Cursors;  // by the cursor's number
};

// A call into the driver: the driver's error text when it fails, nullopt when
// it succeeds. A task on a TSqlThread may outlive its caller's wait, so it
// captures nothing by reference: values by copy, results through a
// shared_ptr.
using TSqlTask = std::function<std::optional<QString>(TSqlSession& session)>;

class TSqlThread {
public:
    // Starts the thread of the connection named `name`; the deadline is
    // RoundTripDeadline() as it is now.
    explicit TSqlThread(const QString& name);
    // Releases the connection on its thread and waits for that, at most the
    // deadline; a given-up thread is left to end by itself.
    ~TSqlThread();
    TSqlThread(const TSqlThread&) = delete;
    TSqlThread& operator=(const TSqlThread&) = delete;

    // Runs `task` on the thread and waits for it at most the deadline. Returns
    // why it failed, as the player reads it (the driver's text, or the
    // deadline's), or nullopt; rethrows what the task threw. Once a call
    // outlasted the deadline the connection is given up: every later call
    // fails at once, without running.
    std::optional<QString> Run(TSqlTask task);
    bool GivenUp() const { return FGivenUp; }

private:
    struct TShared;
    static void Serve(const std::shared_ptr<TShared>& shared);
    void GiveUp();

    const std::chrono::milliseconds FDeadline;
    std::shared_ptr<TShared> FShared;
    // A QThread, which Qt knows as its own on every platform (Qt SQL keeps
    // per-thread data); null once given up, when it frees itself on its end.
    QThread* FThread = nullptr;
    bool FGivenUp = false;
};
