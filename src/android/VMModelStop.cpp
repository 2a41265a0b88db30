// How a device's emulator ends: asked to stop, forced, or on its own.
#include "android/VMModel.h"

#include "platform/Error.h"
#include "platform/ProcessSignal.h"
#include "services/AppLog.h"
#include "services/TextTail.h"

#include <QCoroTimer>
#include <QProcess>

namespace {

const auto category = QStringLiteral("Android");
// How much of the emulator's log an unexpected exit shows, in characters.
constexpr qsizetype unexpectedExitTail = 1800;

} // namespace

void VMModel::onProcessFinished(QProcess *process, int exitCode, bool crashed)
{
    process->deleteLater();
    if (m_process != process || m_forceQuitting) {
        return;
    }
    const bool requested = m_stopping;
    releaseClaim();
    m_running.set(false);
    m_booted.set(false);
    m_stopping.set(false);
    cancelBootMonitor();
    m_process = nullptr;
    reportEnd(exitCode, crashed, requested);
}

void VMModel::reportEnd(int exitCode, bool crashed, bool requested)
{
    setStatus(QStringLiteral("安卓已停止"));
    if ((!crashed && exitCode == 0) || requested) {
        AppLog::info(category, m_name.get() + QStringLiteral(" 已停止"));
        return;
    }
    refreshLog();
    setError(QStringLiteral("模拟器意外退出。可切换「兼容渲染」后重试。\n\n") +
             TextTail::lastCharacters(m_logText, unexpectedExitTail));
    AppLog::error(category, m_name.get() + QStringLiteral(" 意外退出，状态码 ") + QString::number(exitCode));
}

QCoro::Task<> VMModel::stop()
{
    QPointer self(this);
    QPointer<QProcess> process = m_process;
    if (!process || process->state() == QProcess::NotRunning) {
        co_return;
    }
    AppLog::info(category, QStringLiteral("请求正常关闭 ") + m_name.get());
    auto stillRunning = [&process] { return process && process->state() != QProcess::NotRunning; };

    if (m_stopping) {
        // Another stop already asked the emulator to quit: wait for it, then make sure.
        for (int poll = 1; stillRunning(); ++poll) {
            co_await QCoro::sleepFor(m_timing.stopPollInterval);
            if (!self) {
                co_return;
            }
            if (poll == m_timing.repeatedStopPollsBeforeKill && stillRunning()) {
                ProcessSignal::kill(process->processId());
            }
        }
        co_return;
    }

    m_stopping.set(true);
    setStatus(QStringLiteral("正在关闭安卓…"));
    cancelBootMonitor();
    try {
        const QStringList emuKill{QStringLiteral("emu"), QStringLiteral("kill")};
        co_await adb(emuKill, 10);
    } catch (...) {
        // The signals below end an emulator that could not be asked.
    }
    if (!self) {
        co_return;
    }
    const int killAt = m_timing.stopPollsBeforeTerminate + m_timing.stopPollsBeforeKill;
    for (int poll = 1; stillRunning(); ++poll) {
        co_await QCoro::sleepFor(m_timing.stopPollInterval);
        if (!stillRunning()) {
            break;
        }
        if (poll == m_timing.stopPollsBeforeTerminate) {
            process->terminate();
        } else if (poll == killAt) {
            ProcessSignal::kill(process->processId());
        }
    }
}

QCoro::Task<> VMModel::forceQuit()
{
    QPointer self(this);
    QPointer<QProcess> process = m_process;
    if (m_forceQuitting || !process || process->state() == QProcess::NotRunning) {
        co_return;
    }
    AppLog::warn(category, QStringLiteral("请求强制退出 ") + m_name.get());
    m_forceQuitting.set(true);
    setBusy(true);
    m_stopping.set(true);
    setError(QString());
    setStatus(QStringLiteral("正在强制退出…"));
    cancelBootMonitor();

    if (!ProcessSignal::kill(process->processId())) {
        setError(QStringLiteral("无法终止安卓进程，请重试。"));
    } else {
        for (int poll = 0;
             poll < m_timing.forceQuitPolls && process && process->state() != QProcess::NotRunning; ++poll) {
            co_await QCoro::sleepFor(m_timing.forceQuitPollInterval);
            if (!self) {
                co_return;
            }
        }
        if (process && process->state() != QProcess::NotRunning) {
            setError(QStringLiteral("安卓进程尚未退出，请重试。"));
        } else {
            m_process = nullptr;
            m_running.set(false);
            m_booted.set(false);
            releaseClaim();
            setStatus(QStringLiteral("安卓已强制退出"));
            setDetail(QStringLiteral("未保存运行快照；未写入磁盘的操作可能丢失，已写入的数据保留。"));
            AppLog::warn(category, m_name.get() + QStringLiteral(" 已强制退出"));
        }
    }
    m_forceQuitting.set(false);
    setBusy(false);
    m_stopping.set(false);
}
