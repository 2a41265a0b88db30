#pragma once

#include <QMetaObject>
#include <QProcess>

#include <coroutine>

/**
 * Awaitables for a QProcess's state. QCoro's waitForStarted never resumes for a program that fails
 * to start, so these watch the state itself. The resume is posted, not direct, so QProcess has
 * finished emitting its own signals before the coroutine may destroy it.
 */
class ProcessStateWait
{
public:
    /** Resumes once the process has left `Starting` (to Running or NotRunning). */
    static ProcessStateWait started(QProcess &process) { return ProcessStateWait(process, true); }
    /** Resumes once the process is not running, whether it exited or never started. */
    static ProcessStateWait ended(QProcess &process) { return ProcessStateWait(process, false); }

    bool await_ready() const { return satisfied(m_process.state()); }

    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(&m_process, &QProcess::stateChanged, &m_process,
                                        [this, waiting](QProcess::ProcessState state) {
                                            if (!satisfied(state)) {
                                                return;
                                            }
                                            QObject::disconnect(m_connection);
                                            QMetaObject::invokeMethod(
                                                &m_process, [waiting] { waiting.resume(); }, Qt::QueuedConnection);
                                        });
    }

    void await_resume() const {}

private:
    ProcessStateWait(QProcess &process, bool untilStarted)
        : m_process(process)
        , m_untilStarted(untilStarted)
    {
    }

    bool satisfied(QProcess::ProcessState state) const
    {
        return m_untilStarted ? state != QProcess::Starting : state == QProcess::NotRunning;
    }

    QProcess &m_process;
    bool m_untilStarted;
    QMetaObject::Connection m_connection;
};
