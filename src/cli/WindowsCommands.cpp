// `corvanectl windows check-iso`: the window's read-only installer check, without choosing the image.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "platform/Error.h"
#include "windows/WindowsPreparation.h"

namespace Commands {

QCoro::Task<int> windows(QStringList words)
{
    const Arguments arguments = Arguments::parse(words, {});
    const QString usage = QStringLiteral("corvanectl windows check-iso 文件.iso");
    const QString action = arguments.positional.value(0);
    if (action.isEmpty()) {
        throw UsageError{QStringLiteral("缺少操作。用法：") + usage};
    }
    if (action != QLatin1String("check-iso")) {
        throw UsageError{QStringLiteral("未知的 Windows 操作：") + action};
    }
    arguments.expectPositional(2, usage);
    const QString iso = arguments.positional.at(1);
    // The model's own check would also make this image the window's chosen one; a script only asks.
    std::optional<QString> failure;
    try {
        co_await WindowsPreparation::inspectISO(iso);
    } catch (...) {
        failure = describe(std::current_exception());
    }
    if (failure) {
        throw CommandFailure{QStringLiteral("镜像检查未通过：") + iso + QStringLiteral("：") + *failure};
    }
    Terminal::out(QStringLiteral("已确认 ARM64 启动文件和 Windows 安装文件（非整盘哈希校验）：") + iso);
    co_return Success;
}

} // namespace Commands
