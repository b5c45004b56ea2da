#include "appserver/server/workerpool.h"

#include "appserver/database/session.h"

#include <chrono>

namespace kpr::appserver {

WorkerPool::WorkerPool(int initialWorkers, int maxWorkers, std::function<bool()> noCallRunning)
    : m_maxWorkers(maxWorkers),
      m_noCallRunning(std::move(noCallRunning))
{
    std::lock_guard lock(m_mutex);
    for (int i = 0; i < initialWorkers; ++i)
        startWorker();
}

WorkerPool::~WorkerPool()
{
    if (!m_stopping)
        shutdown();
    // Workers still holding idle connections are detached: the process ends under them.
    for (auto &w : m_workers)
        if (w->thread.joinable())
            w->thread.detach();
}

void WorkerPool::startWorker()
{
    auto w = std::make_unique<Worker>();
    Worker *self = w.get();
    ++m_live;
    ++m_idle;
    w->thread = std::thread([this, self] { work(self); });
    m_workers.push_back(std::move(w));
}

void WorkerPool::enqueue(std::function<void()> fn)
{
    std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(fn));
    if (m_idle < int(m_jobs.size()) && m_live < m_maxWorkers)
        startWorker();
    m_wake.notify_one();
}

void WorkerPool::work(Worker *self)
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            if (m_jobs.empty())
                break;
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
            --m_idle;
        }
        try {
            job();
        } catch (...) { // the transport catches its own; nothing may end a worker
        }
        std::lock_guard lock(m_mutex);
        ++m_idle;
    }
    // Close this worker's database connection here, not in a thread_local destructor,
    // so that "done" means nothing of this thread touches the database any more.
    releaseThisThreadSession();
    std::lock_guard lock(m_mutex);
    --m_idle;
    --m_live;
    self->done = true;
    m_ended.notify_all();
}

void WorkerPool::shutdown()
{
    using namespace std::chrono;
    const auto started = steady_clock::now();
    std::unique_lock lock(m_mutex);
    if (m_shutDown)
        return;
    m_stopping = true;
    m_wake.notify_all();
    for (;;) {
        if (m_live == 0)
            break;
        m_ended.wait_for(lock, milliseconds(20));
        const auto waited = steady_clock::now() - started;
        // Calls in progress may finish (up to 30 s); idle kept-alive connections are not
        // waited for beyond a short grace.
        if (waited > seconds(30))
            break;
        if (waited > milliseconds(300) && m_noCallRunning && m_noCallRunning())
            break;
    }
    bool all = true;
    for (auto &w : m_workers) {
        if (w->done && w->thread.joinable())
            w->thread.join();
        else if (!w->done)
            all = false;
    }
    m_allJoined = all;
    m_shutDown = true;
}

} // namespace kpr::appserver
