// `corvanectl ios …`: the simulator devices this program created, through the same model as the window.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "ios/IOSModel.h"

namespace {

/** The owned device whose UDID is `nameOrUdid`, or else the only one with that name. */
IOSDevice findDevice(const IOSModel &model, const QString &nameOrUdid)
{
    QList<IOSDevice> named;
    for (const IOSDevice &device : model.devices()) {
        if (device.udid.compare(nameOrUdid, Qt::CaseInsensitive) == 0) {
            return device;
        }
        if (device.name == nameOrUdid) {
            named.append(device);
        }
    }
    if (named.size() == 1) {
        return named.first();
    }
    if (named.isEmpty()) {
        throw CommandFailure{QStringLiteral("找不到 iOS 设备「") + nameOrUdid +
                             QStringLiteral("」。只能操作本程序创建的设备，运行 corvanectl list 查看。")};
    }
    QStringList udids;
    for (const IOSDevice &device : named) {
        udids.append(device.udid);
    }
    throw CommandFailure{QStringLiteral("有多台 iOS 设备名为「") + nameOrUdid + QStringLiteral("」（") +
                         udids.join(QStringLiteral("、")) + QStringLiteral("），请改用 UDID。")};
}

} // namespace

namespace Commands {

QCoro::Task<int> ios(QStringList words)
{
    const Arguments arguments = Arguments::parse(words, {});
    const QString usage = QStringLiteral("corvanectl ios boot|shutdown|kill 名称|UDID");
    const QString action = arguments.positional.value(0);
    // The model's verbs; its "force" is the shutdown with the shorter time-out of the window's force button.
    QString verb;
    QString done;
    if (action == QLatin1String("boot")) {
        verb = QStringLiteral("boot");
        done = QStringLiteral(" 已启动，显示在模拟器中。");
    } else if (action == QLatin1String("shutdown")) {
        verb = QStringLiteral("shutdown");
        done = QStringLiteral(" 已关闭。");
    } else if (action == QLatin1String("kill")) {
        verb = QStringLiteral("force");
        done = QStringLiteral(" 已强制关闭。");
    } else if (action.isEmpty()) {
        throw UsageError{QStringLiteral("缺少操作。用法：") + usage};
    } else {
        throw UsageError{QStringLiteral("未知的 iOS 操作：") + action};
    }
    arguments.expectPositional(2, usage);

    // Another Xcode's simctl, or a stand-in, may be named; the model runs what it is given.
    IOSModel::Options programs;
    programs.xcrun = qEnvironmentVariable("CORVANE_XCRUN");
    programs.open = qEnvironmentVariable("CORVANE_OPEN");
    IOSModel model({}, programs);
    co_await model.refresh();
    if (!model.error().isEmpty()) {
        throw CommandFailure{model.status() + QStringLiteral("：") + model.error()};
    }
    const IOSDevice device = findDevice(model, arguments.positional.at(1));
    co_await model.operate(device, verb);
    if (!model.error().isEmpty()) {
        throw CommandFailure{model.error()};
    }
    Terminal::err(device.name + done);
    co_return Success;
}

} // namespace Commands
