#include "ui/shell/AppDelegate.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "ios/IOSModel.h"
#include "linux/LinuxModel.h"
#include "services/Interaction.h"
#include "windows/WindowsModel.h"

#include <algorithm>
#include <optional>

namespace {

struct Refusal
{
    QString title;
    QString text;
    QStringList buttons;
};

} // namespace

void AppDelegate::setModels(VMFleet *fleet, WindowsModel *windows, LinuxModel *linux, IOSModel *ios)
{
    m_fleet = fleet;
    m_windows = windows;
    m_linux = linux;
    m_ios = ios;
}

QCoro::Task<AppDelegate::Reply> AppDelegate::applicationShouldTerminate()
{
    QPointer self(this);
    std::optional<Refusal> refusal;
    if (m_ios && m_ios->busy()) {
        refusal = Refusal{QStringLiteral("iPhone 操作尚未完成"), QStringLiteral("请等待设备操作或快照完成后退出。"), {}};
    } else if (m_linux && m_linux->snapshotBusy()) {
        refusal = Refusal{QStringLiteral("Linux 快照尚未完成"), QStringLiteral("请等待快照创建或回滚完成后退出。"), {}};
    } else if (m_linux && m_linux->busy()) {
        refusal = Refusal{QStringLiteral("Linux 操作尚未完成"), QStringLiteral("请等待启动或停止结束后退出。"), {}};
    } else if (m_windows && m_windows->busy()) {
        refusal = Refusal{QStringLiteral("正在处理 Windows 虚拟机"), QStringLiteral("请等待当前镜像检查或本地复制完成后退出。"), {}};
    } else if (m_fleet) {
        const QList<VMModel *> &devices = m_fleet->models();
        const bool working = m_fleet->creating() || std::any_of(devices.cbegin(), devices.cend(), [](VMModel *device) {
                                 return device->snapshotBusy() || device->forceQuitting()
                                     || (device->busy() && !device->running());
                             });
        if (working) {
            refusal = Refusal{QStringLiteral("操作尚未完成"), QStringLiteral("请先取消安装并等待当前解压步骤结束，再退出 App。"),
                              {QStringLiteral("返回")}};
        }
    }
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
            QStringLiteral("退出 App 会强制停止 Linux，未写入磁盘的操作可能丢失。建议先在 Linux 内正常关机。"), buttons);
        if (answer != 1 || !self || !m_fleet) {
            co_return Reply::Cancel;
        }
    }
    const QList<VMModel *> &devices = m_fleet->models();
    const bool androidRunning =
        std::any_of(devices.cbegin(), devices.cend(), [](VMModel *device) { return device->running(); });
    if (!androidRunning && !(m_linux && m_linux->running())) {
        co_return Reply::TerminateNow;
    }
    co_return Reply::TerminateLater;
}

QCoro::Task<bool> AppDelegate::stopGuestsForTermination()
{
    QPointer self(this);
    if (m_linux && m_linux->running()) {
        co_await m_linux->forceStop();
        if (!self) {
            co_return false;
        }
        if (m_linux && m_linux->running()) {
            co_return false;
        }
    }
    if (!m_fleet) {
        co_return true;
    }
    QList<QPointer<VMModel>> devices;
    for (VMModel *device : m_fleet->models()) {
        devices.append(device);
    }
    for (const QPointer<VMModel> &device : devices) {
        if (device) {
            co_await device->stop();
        }
        if (!self) {
            co_return false;
        }
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
