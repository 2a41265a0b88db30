#include "cli/Guests.h"

#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "cli/Commands.h"
#include "cli/OwnerNote.h"
#include "cli/Terminal.h"
#include "platform/ProcessSignal.h"

#include <QCoroTimer>
#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

/** How long `stop` and `kill` wait for the owning process to let the guest go. */
constexpr qint64 releaseTimeoutMs = 120'000;

} // namespace

namespace Guests {

VMModel &android(const VMFleet &fleet, const QString &nameOrId)
{
    for (VMModel *device : fleet.models()) {
        if (device->id() == nameOrId) {
            return *device;
        }
    }
    QList<VMModel *> named;
    for (VMModel *device : fleet.models()) {
        if (device->name() == nameOrId) {
            named.append(device);
        }
    }
    if (named.size() == 1) {
        return *named.first();
    }
    if (named.isEmpty()) {
        throw CommandFailure{QStringLiteral("找不到安卓设备「") + nameOrId +
                             QStringLiteral("」。运行 corvanectl list 查看所有设备。")};
    }
    QStringList ids;
    for (const VMModel *device : named) {
        ids.append(device->id());
    }
    throw CommandFailure{QStringLiteral("有多台安卓设备名为「") + nameOrId + QStringLiteral("」（") +
                         ids.join(QStringLiteral("、")) + QStringLiteral("），请改用设备 ID。")};
}

QString androidKey(const VMModel &device)
{
    return QStringLiteral("android-") + device.id();
}

bool lockHeld(const QString &lockFile)
{
    const int descriptor = ::open(QFile::encodeName(lockFile).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return false;
    }
    // A shared lock is enough to learn whether an exclusive one is held, and is dropped at once.
    const bool held = ::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(descriptor);
    return held;
}

QCoro::Task<int> endOwned(QString key, QString lockFile, QString name, int signal)
{
    const std::optional<OwnerNote::Owner> owner = OwnerNote::read(key);
    if (!owner) {
        if (lockHeld(lockFile)) {
            throw CommandFailure{name + QStringLiteral(" 正由 Corvane 窗口使用，请在窗口中停止。")};
        }
        Terminal::err(name + QStringLiteral(" 未在运行。"));
        co_return Commands::Success;
    }
    if (!ProcessSignal::send(owner->pid, signal)) {
        throw CommandFailure{QStringLiteral("无法通知运行 ") + name + QStringLiteral(" 的进程（PID ") +
                             QString::number(owner->pid) + QStringLiteral("）。")};
    }
    QElapsedTimer waited;
    waited.start();
    co_await waitUntil([&] {
        return (!lockHeld(lockFile) && !OwnerNote::read(key)) || waited.elapsed() > releaseTimeoutMs;
    });
    if (lockHeld(lockFile)) {
        throw CommandFailure{name + QStringLiteral(" 仍未停止，请稍后重试。")};
    }
    Terminal::err(name + (signal == SIGUSR1 ? QStringLiteral(" 已强制退出。") : QStringLiteral(" 已停止。")));
    co_return Commands::Success;
}

QCoro::Task<> waitUntil(std::function<bool()> done, std::chrono::milliseconds interval)
{
    while (!done()) {
        co_await QCoro::sleepFor(interval);
    }
}

} // namespace Guests
