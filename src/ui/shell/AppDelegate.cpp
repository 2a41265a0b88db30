#include "ui/shell/AppDelegate.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ios/IOSModel.h"
#include "linux/LinuxModel.h"
#include "services/AppLog.h"
#include "services/Interaction.h"
#include "services/PropertyField.h"
#include "windows/WindowsModel.h"

#include <algorithm>

void AppDelegate::setModels(VMFleet *fleet, WindowsModel *windows, LinuxModel *linux, IOSModel *ios)
{
    m_fleet = fleet;
    m_windows = windows;
    m_linux = linux;
    m_ios = ios;
}

std::optional<AppDelegate::Refusal> AppDelegate::busyWork() const
{
    if (m_ios && m_ios->busy()) {
        return Refusal{
            QStringLiteral("iPhone 操作尚未完成"), QStringLiteral("请等待设备操作或快照完成后退出。"), {}};
    }
    if (m_linux && m_linux->snapshotBusy()) {
        return Refusal{
            QStringLiteral("Linux 快照尚未完成"), QStringLiteral("请等待快照创建或回滚完成后退出。"), {}};
    }
    if (m_linux && m_linux->busy()) {
        return Refusal{
            QStringLiteral("Linux 操作尚未完成"), QStringLiteral("请等待启动或停止结束后退出。"), {}};
    }
    if (m_windows && m_windows->busy()) {
        return Refusal{QStringLiteral("正在处理 Windows 虚拟机"),
                       QStringLiteral("请等待当前镜像检查或本地复制完成后退出。"),
                       {}};
    }
    if (m_fleet) {
        const QList<VMModel *> &devices = m_fleet->models();
        const bool working =
            m_fleet->creating() || std::any_of(devices.cbegin(), devices.cend(), [](VMModel *device) {
                return device->snapshotBusy() || device->forceQuitting() ||
                       (device->busy() && !device->running());
            });
        if (working) {
            return Refusal{QStringLiteral("操作尚未完成"),
                           QStringLiteral("请先取消安装并等待当前解压步骤结束，再退出 App。"),
                           {QStringLiteral("返回")}};
        }
    }
    return std::nullopt;
}

bool AppDelegate::guestsRunning() const
{
    if (m_linux && m_linux->running()) {
        return true;
    }
    if (!m_fleet) {
        return false;
    }
    const QList<VMModel *> &devices = m_fleet->models();
    return std::any_of(devices.cbegin(), devices.cend(), [](VMModel *device) { return device->running(); });
}

QCoro::Task<AppDelegate::Reply> AppDelegate::applicationShouldTerminate()
{
    QPointer self(this);
    const std::optional<Refusal> refusal = busyWork();
    if (refusal) {
        co_await Interaction::current()->ask(refusal->title, refusal->text, refusal->buttons);
        co_return Reply::Cancel;
    }
    if (!m_fleet) {
        co_return Reply::TerminateNow;
    }

    if (m_linux && m_linux->running()) {
        const QStringList buttons{QStringLiteral("返回"), QStringLiteral("停止并退出")};
        const int answer = co_await Interaction::current()->ask(
            QStringLiteral("Linux 仍在运行"),
            QStringLiteral(
                "退出 App 会强制停止 Linux，未写入磁盘的操作可能丢失。建议先在 Linux 内正常关机。"),
            buttons);
        if (answer != 1 || !self || !m_fleet) {
            co_return Reply::Cancel;
        }
    }
    co_return guestsRunning() ? Reply::TerminateLater : Reply::TerminateNow;
}

QCoro::Task<bool> AppDelegate::stopGuestsForTermination()
{
    QPointer self(this);
    setQuitting(true);
    if (m_linux && m_linux->running()) {
        setStoppingGuest(QStringLiteral("Linux"));
        co_await m_linux->forceStop();
        if (!self) {
            co_return false;
        }
        if (m_linux && m_linux->running()) {
            abandonQuit(QStringLiteral("Linux 未能停止，已取消退出"));
            co_return false;
        }
    }
    if (m_fleet) {
        QList<QPointer<VMModel>> devices;
        for (VMModel *device : m_fleet->models()) {
            devices.append(device);
        }
        for (const QPointer<VMModel> &device : devices) {
            if (device) {
                setStoppingGuest(device->name());
                co_await device->stop();
            }
            if (!self) {
                co_return false;
            }
        }
    }
    setStoppingGuest(QString());

    // The window took no new work meanwhile, but a model can still be asked past it. Ending the
    // process now would kill whatever started since, so such work keeps the application open.
    const std::optional<Refusal> refusal = busyWork();
    if (refusal) {
        abandonQuit(QStringLiteral("退出已取消：停止设备期间又有操作开始"));
        co_await Interaction::current()->ask(refusal->title, refusal->text, refusal->buttons);
        co_return false;
    }
    if (guestsRunning()) {
        abandonQuit(QStringLiteral("退出已取消：停止设备期间又有设备启动"));
        const QStringList defaultButton;
        co_await Interaction::current()->ask(
            QStringLiteral("退出已取消"),
            QStringLiteral("停止设备期间又有设备启动。需要退出时，请再次退出 App。"), defaultButton);
        co_return false;
    }
    co_return true;
}

QCoro::Task<bool> AppDelegate::requestTermination()
{
    QPointer self(this);
    const Reply reply = co_await applicationShouldTerminate();
    if (!self || reply == Reply::Cancel) {
        co_return false;
    }
    if (reply == Reply::TerminateNow) {
        co_return true;
    }
    const bool stopped = co_await stopGuestsForTermination();
    co_return stopped;
}

void AppDelegate::abandonQuit(const QString &reason)
{
    AppLog::warn(QStringLiteral("应用"), reason);
    setStoppingGuest(QString());
    setQuitting(false);
}

void AppDelegate::setQuitting(bool quitting)
{
    if (assignChanged(m_quitting, quitting)) {
        Q_EMIT quittingChanged();
    }
}

void AppDelegate::setStoppingGuest(const QString &name)
{
    if (assignChanged(m_stoppingGuest, name)) {
        Q_EMIT stoppingGuestChanged();
    }
}
