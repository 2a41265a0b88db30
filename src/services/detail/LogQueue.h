#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/** A serial queue on one worker thread: jobs run one at a time, in the order they were enqueued. */
class LogQueue
{
public:
    LogQueue();
    ~LogQueue();
    LogQueue(const LogQueue &) = delete;
    LogQueue &operator=(const LogQueue &) = delete;

    /** The process-wide queue behind the global log, started on first use. */
    static LogQueue &shared();

    void enqueue(std::function<void()> job);
    /** Runs `job` after everything enqueued before it and waits for it to finish. */
    void runAndWait(const std::function<void()> &job);

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    bool m_stopping = false;
    std::thread m_thread;
};
