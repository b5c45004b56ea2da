#pragma once
// The worker threads of the transport. cpp-httplib hands every accepted connection to the
// task queue and the worker keeps it for as long as the client keeps it alive, so a fixed
// pool of N workers would leave the (N+1)-th client waiting until an idle connection
// times out. This pool starts more workers while all of them hold a connection, up to a
// limit, and at shutdown does not wait for idle kept-alive connections once no call is
// running (those workers are left to the process's exit).

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

namespace kpr::appserver {

class WorkerPool : public httplib::TaskQueue
{
public:
    // noCallRunning: whether shutdown may stop waiting for workers that only hold idle
    // connections.
    WorkerPool(int initialWorkers, int maxWorkers, std::function<bool()> noCallRunning);
    ~WorkerPool() override;

    void enqueue(std::function<void()> fn) override;
    void shutdown() override;

    // True when every worker has ended and been joined.
    bool allJoined() const { return m_allJoined; }

private:
    struct Worker
    {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void startWorker(); // with m_mutex held
    void work(Worker *self);

    const int m_maxWorkers;
    std::function<bool()> m_noCallRunning;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_ended;
    std::deque<std::function<void()>> m_jobs;
    std::list<std::unique_ptr<Worker>> m_workers;
    int m_idle = 0;
    int m_live = 0;
    bool m_stopping = false;
    bool m_shutDown = false;
    std::atomic<bool> m_allJoined{false};
};

} // namespace kpr::appserver
