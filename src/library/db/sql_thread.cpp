#include "library/db/sql_thread.h"

#include "library/app_error.h"
#include "library/db/round_trip_deadline.h"

#include <QSqlQuery>
#include <QThread>

#include <condition_variable>
#include <exception>
#include <mutex>

TSqlSession::TSqlSession(const QString& name) : Name(name) { }

TSqlSession::~TSqlSession()
{
    Release();
}

void TSqlSession::Release() noexcept
{
    // Queries go first: a Qt connection must not be removed under them.
    Command.reset();
    Cursors.clear();
    if (!QSqlDatabase::contains(Name))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(Name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(Name);
}

// What the caller and the thread share; it lives as long as either needs it,
// so that a given-up thread never touches its former owner.
struct TSqlThread::TShared {
    explicit TShared(const QString& name) : Name(name) { }

    const QString Name;
    std::mutex Mutex;
    std::condition_variable Wake;  // the thread waits for a task or the end
    std::condition_variable Done;  // the caller waits for the task's end or the thread's
    TSqlTask Task;  // the task to run; empty once taken
    bool Finished = false;  // the last task given has ended
    std::optional<QString> Failure;
    std::exception_ptr Error;
    bool Stopping = false;  // no more tasks: release the connection and end
    bool Ended = false;  // the connection is released
};

namespace {

// The connection's thread. A subclass rather than QThread::create, whose
// std::future goes through std::call_once: in a mingw-w64 build that works
// only while the program and libstdc++ share one emulated TLS (see
// src/CMakeLists.txt).
class TServeThread final : public QThread {
public:
    explicit TServeThread(std::function<void()> serve) : FServe(std::move(serve)) { }

protected:
    void run() override { FServe(); }

private:
    std::function<void()> FServe;
};

}  // namespace

TSqlThread::TSqlThread(const QString& name) : FDeadline(RoundTripDeadline()), FShared(std::make_shared<TShared>(name))
{
    // Qt SQL's driver registry is made here, on the caller's thread, before a
    // connection's thread can be the first to touch it: making it scans the
    // plugin folder with a wildcard, whose regular-expression JIT stack is a
    // thread_local. A mingw-w64 build frees a thread's thread_locals before it
    // runs their destructors, so that one crashes at the thread's end; the
    // loader swallows the crash (Wine's does), but winpthreads' lock of its
    // thread-local keys stays held, and the next key made or deleted (the first
    // thread_local of another module, or the program's end) waits for good.
    QSqlDatabase::drivers();
    FThread = new TServeThread([shared = FShared] { Serve(shared); });
    FThread->start();
}

TSqlThread::~TSqlThread()
{
    if (FGivenUp)
        return;
    std::unique_lock lock(FShared->Mutex);
    FShared->Stopping = true;
    FShared->Wake.notify_one();
    // Letting go of a connection may wait for the server too (closing a
    // server-side cursor, say).
    const bool ended = FShared->Done.wait_for(lock, FDeadline, [this] { return FShared->Ended; });
    lock.unlock();
    if (ended) {
        FThread->wait();
        delete FThread;
    } else {
        GiveUp();
    }
}

void TSqlThread::Serve(const std::shared_ptr<TShared>& shared)
{
    TSqlSession session(shared->Name);
    // A reference of the thread's own for as long as it lives: at the
    // program's end Qt's clean-up of its connections then lets go of its
    // reference only, and never closes a connection under a call that has
    // not returned (the driver would wait for that call).
    QSqlDatabase held;
    std::unique_lock lock(shared->Mutex);
    for (;;) {
        shared->Wake.wait(lock, [&] { return shared->Task || shared->Stopping; });
        if (!shared->Task)
            break;
        TSqlTask task = std::move(shared->Task);
        shared->Task = nullptr;
        lock.unlock();
        std::optional<QString> failure;
        std::exception_ptr error;
        try {
            failure = task(session);
        } catch (...) {
            error = std::current_exception();
        }
        task = nullptr;  // what it holds goes on this thread
        if (!held.isValid())
            held = session.Database();
        lock.lock();
        shared->Failure = std::move(failure);
        shared->Error = error;
        shared->Finished = true;
        shared->Done.notify_all();
    }
    lock.unlock();
    held = QSqlDatabase();
    session.Release();
    lock.lock();
    shared->Ended = true;
    shared->Done.notify_all();
}

std::optional<QString> TSqlThread::Run(TSqlTask task)
{
    if (FGivenUp)
        return NoAnswerText(FDeadline);
    std::unique_lock lock(FShared->Mutex);
    FShared->Task = std::move(task);
    FShared->Finished = false;
    FShared->Wake.notify_one();
    if (!FShared->Done.wait_for(lock, FDeadline, [this] { return FShared->Finished; })) {
        // The task stays with the thread, which ends once the driver returns.
        FShared->Stopping = true;
        lock.unlock();
        GiveUp();
        return NoAnswerText(FDeadline);
    }
    const std::optional<QString> failure = std::move(FShared->Failure);
    const std::exception_ptr error = std::exchange(FShared->Error, nullptr);
    lock.unlock();
    if (error)
        std::rethrow_exception(error);
    if (failure)
        return DriverText(*failure);
    return std::nullopt;
}

void TSqlThread::GiveUp()
{
    FGivenUp = true;
    // Freed where it was made once it ends; a thread still in the driver at
    // the program's end is never waited for.
    QObject::connect(FThread, &QThread::finished, FThread, &QObject::deleteLater);
    FThread = nullptr;
}
