#include "services/detail/LogQueue.h"

#include <future>

LogQueue::LogQueue()
    : m_thread([this] { run(); })
{
}

LogQueue::~LogQueue()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

LogQueue &LogQueue::shared()
{
    static LogQueue queue;
    return queue;
}

void LogQueue::enqueue(std::function<void()> job)
{
    {
        const std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void LogQueue::runAndWait(const std::function<void()> &job)
{
    std::promise<void> done;
    std::future<void> finished = done.get_future();
    enqueue([&job, &done] {
        job();
        done.set_value();
    });
    finished.wait();
}

void LogQueue::run()
{
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
            // Entries still queued at exit are written before the thread ends.
            if (m_jobs.empty()) {
                return;
            }
            job = std::move(m_jobs.front());
            m_jobs.pop_front();
        }
        job();
    }
}
