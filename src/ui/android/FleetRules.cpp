#include "ui/android/FleetRules.h"

namespace FleetRules {

FleetActions actions(bool creating, bool empty)
{
    return {!creating, !creating && !empty, !creating && !empty};
}

QString deletionMessage(const std::optional<QString> &name)
{
    return QStringLiteral("将删除 ") + name.value_or(QStringLiteral("所选设备")) +
           QStringLiteral(" 及其应用和数据，移到 Mac 废纸篓；不影响其他设备及共享系统文件。");
}

Dot dot(bool running, bool booted)
{
    if (booted) {
        return Dot::Green;
    }
    return running ? Dot::Orange : Dot::Grey;
}

} // namespace FleetRules
