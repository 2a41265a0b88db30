// The program's entry into its sub-commands, their help, and the one place failures become statuses.
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "platform/Error.h"
#include "services/AppLog.h"

#include <QCoroTimer>
#include <QFile>

namespace {

struct Help
{
    const char *command;
    const char *text;
};

const Help helps[] = {
    {"",
     "用法：corvanectl 命令 [参数…]\n"
     "\n"
     "在命令行中管理 Corvane 的客体，与窗口共用同一份数据、同样的锁和全局日志。\n"
     "\n"
     "命令：\n"
     "  list [--json]                               列出所有客体及其状态\n"
     "  android start|stop|kill 名称|ID             启动（前台运行）、停止、强制退出安卓设备\n"
     "  android run 名称|ID [--rollback] -- 命令…   启动设备，开机后运行命令，再停止设备\n"
     "  android add [--cpu N] [--memory GB]         添加安卓设备\n"
     "  android copy|delete 名称|ID                 复制设备，或将其移到废纸篓\n"
     "  android install-apk 名称|ID 文件            向 corvanectl 运行中的设备安装 APK\n"
     "  linux start [--iso 文件]|stop|kill          启动（前台运行）、关机、强制退出 Linux 虚拟机\n"
     "  ios boot|shutdown|kill 名称|UDID            启动、关闭、强制关闭本程序创建的 iOS 设备\n"
     "  windows check-iso 文件                      只读检查 Windows 11 ARM64 安装镜像\n"
     "  snapshot create|list|rollback|delete 客体   管理快照；客体是安卓设备的名称或 ID、linux 或 windows\n"
     "  install-android [--accept-license]          安装安卓环境（模拟器、平台工具、系统镜像）\n"
     "  log [--follow] [--filter 文本]              显示全局日志，可持续跟随\n"
     "  help [命令]                                 显示帮助\n"
     "\n"
     "退出状态：0 成功；1 被拒绝或失败（原因写在标准错误）；2 用法错误。\n"
     "android run 以所运行命令的退出状态退出。"},
    {"list",
     "用法：corvanectl list [--json]\n"
     "\n"
     "列出安卓设备（名称、ID、状态、端口、配置、快照数）、本程序创建的 iOS 设备、Linux 虚拟机和 Windows "
     "虚拟机。\n"
     "另一个 Corvane 窗口或 corvanectl 进程正在使用的设备显示为运行中。--json 输出供脚本读取的 JSON。"},
    {"android",
     "用法：\n"
     "  corvanectl android start 名称|ID\n"
     "      启动设备并留在前台，直到设备停止；收到 SIGINT 或 SIGTERM 时按顺序关闭设备后退出。\n"
     "  corvanectl android stop 名称|ID\n"
     "      请运行该设备的 corvanectl 进程正常关闭它，并等待其停止。\n"
     "  corvanectl android kill 名称|ID\n"
     "      请运行该设备的 corvanectl 进程强制退出它。\n"
     "  corvanectl android run 名称|ID [--rollback] -- 命令 [参数…]\n"
     "      启动设备，开机后以 ANDROID_SERIAL=emulator-端口 和 ANDROID_ADB_SERVER_PORT=5038 运行命令，\n"
     "      然后停止设备；带 --rollback 时再回滚到最新快照。以命令的退出状态退出。\n"
     "  corvanectl android add [--cpu N] [--memory GB]\n"
     "      添加一台设备，输出其 ID 和名称。\n"
     "  corvanectl android copy 名称|ID\n"
     "      复制一台已停止的设备，输出副本的 ID 和名称。\n"
     "  corvanectl android delete 名称|ID\n"
     "      将一台已停止的设备移到废纸篓。\n"
     "  corvanectl android install-apk 名称|ID 文件.apk\n"
     "      向由 corvanectl 运行的设备安装 APK。\n"
     "\n"
     "名称与多台设备相同时请使用 ID（见 corvanectl list）。"},
    {"linux",
     "用法：\n"
     "  corvanectl linux start [--iso 文件.iso]\n"
     "      启动 Linux 虚拟机并留在前台，直到它停止。--iso 挂载该安装镜像（并记为窗口中选定的镜像）。\n"
     "      收到 SIGINT 或 SIGTERM 时请求 Linux 关机，90 秒内未关机或再次收到信号则强制退出。\n"
     "  corvanectl linux stop\n"
     "      请运行虚拟机的 corvanectl 进程按上述顺序关机，并等待其停止。\n"
     "  corvanectl linux kill\n"
     "      请运行虚拟机的 corvanectl 进程立即强制退出（已写入磁盘的数据保留）。"},
    {"ios", "用法：corvanectl ios boot|shutdown|kill 名称|UDID\n"
            "\n"
            "启动（并在模拟器中显示）、关闭或强制关闭一台本程序创建的 iOS 模拟器设备。需要 Xcode；\n"
            "名称与多台设备相同时请使用 UDID（见 corvanectl list）。"},
    {"windows", "用法：corvanectl windows check-iso 文件.iso\n"
                "\n"
                "只读检查 Windows 11 ARM64 安装镜像的启动文件和安装文件，与窗口中的检查相同；不挂载到系统，\n"
                "也不改变窗口中选定的镜像。"},
    {"snapshot", "用法：\n"
                 "  corvanectl snapshot create 客体          创建快照，输出快照 ID\n"
                 "  corvanectl snapshot list 客体 [--json]   列出快照，最新的在前\n"
                 "  corvanectl snapshot rollback 客体 [ID]   回滚到最新快照（给出 ID 时须是最新的那个）\n"
                 "  corvanectl snapshot delete 客体 [ID]     删除最新快照（给出 ID 时须是最新的那个）\n"
                 "\n"
                 "客体：安卓设备的名称或 ID，linux（Linux 虚拟机），windows（关联的 Windows 虚拟机）。\n"
                 "正在运行的客体不能创建或回滚快照。"},
    {"install-android",
     "用法：corvanectl install-android [--accept-license]\n"
     "\n"
     "下载并安装安卓环境，与窗口中的安装相同：可续传，已安装的组件不再下载。首次安装前显示安卓 SDK\n"
     "许可：在终端中输入 yes 接受；不在终端中运行时须给出 --accept-license，否则拒绝安装。\n"
     "终端中显示进度条，否则逐行输出进度。按 Ctrl+C 取消（已下载的部分保留，下次继续）。"},
    {"log",
     "用法：corvanectl log [--follow] [--filter 文本]\n"
     "\n"
     "显示全局日志的末尾。--filter 只显示包含该文本的行；--follow 持续显示新写入的行，直到按 Ctrl+C。"},
};

QString helpText(const QString &command)
{
    for (const Help &help : helps) {
        if (command == QLatin1String(help.command)) {
            return QString::fromUtf8(help.text);
        }
    }
    return {};
}

void printLines(const QString &text, const QString &filter)
{
    QString shown;
    for (const QString &line : text.split(u'\n', Qt::SkipEmptyParts)) {
        if (filter.isEmpty() || line.contains(filter, Qt::CaseInsensitive)) {
            shown += line + u'\n';
        }
    }
    if (!shown.isEmpty()) {
        Terminal::out(shown);
    }
}

QCoro::Task<int> log(QStringList words)
{
    const Arguments arguments =
        Arguments::parse(words, {QStringLiteral("--follow")}, {QStringLiteral("--filter")});
    arguments.expectPositional(0, QStringLiteral("corvanectl log [--follow] [--filter 文本]"));
    const QString filter = arguments.values.value(QStringLiteral("--filter"));
    const QString tail = AppLog::readTail(AppLog::displayTailBytes);
    printLines(tail, filter);
    if (!arguments.has(QStringLiteral("--follow"))) {
        co_return Commands::Success;
    }
    // Another process writes the file, so its growth is watched rather than this process's notifier.
    qint64 offset = QFile(AppLog::file()).size();
    for (;;) {
        co_await QCoro::sleepFor(std::chrono::milliseconds(300));
        QFile file(AppLog::file());
        if (file.size() < offset) {
            offset = 0; // rotated or cleared
        }
        if (file.size() == offset || !file.open(QIODevice::ReadOnly)) {
            continue;
        }
        file.seek(offset);
        QByteArray added = file.readAll();
        // Only whole lines: the writer may be half-way through one.
        added.truncate(added.lastIndexOf('\n') + 1);
        offset += added.size();
        printLines(QString::fromUtf8(added), filter);
    }
}

} // namespace

namespace Commands {

QString help(const QString &command)
{
    return helpText(command);
}

QCoro::Task<int> run(QStringList arguments, SignalPipe *signals)
{
    try {
        if (arguments.isEmpty()) {
            throw UsageError{QStringLiteral("缺少命令。运行 corvanectl --help 查看用法。")};
        }
        const QString command = arguments.takeFirst();
        if (command == QLatin1String("--help") || command == QLatin1String("-h") ||
            command == QLatin1String("help")) {
            const QString topic = arguments.value(0);
            const QString text = helpText(topic);
            if (text.isEmpty()) {
                throw UsageError{QStringLiteral("没有这个命令：") + topic};
            }
            Terminal::out(text);
            co_return Success;
        }
        if (helpText(command).isEmpty()) {
            throw UsageError{QStringLiteral("未知命令：") + command +
                             QStringLiteral("。运行 corvanectl --help 查看用法。")};
        }
        // "--help" anywhere before "--" asks for the command's help instead of running it.
        const qsizetype separator = arguments.indexOf(QStringLiteral("--"));
        const QStringList options = separator < 0 ? arguments : arguments.mid(0, separator);
        if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
            Terminal::out(helpText(command));
            co_return Success;
        }
        int status = Success;
        if (command == QLatin1String("list")) {
            status = co_await list(arguments);
        } else if (command == QLatin1String("android")) {
            status = co_await android(arguments, signals);
        } else if (command == QLatin1String("linux")) {
            status = co_await linuxMachine(arguments, signals);
        } else if (command == QLatin1String("ios")) {
            status = co_await ios(arguments);
        } else if (command == QLatin1String("windows")) {
            status = co_await windows(arguments);
        } else if (command == QLatin1String("install-android")) {
            status = co_await installAndroid(arguments, signals);
        } else if (command == QLatin1String("snapshot")) {
            status = co_await snapshot(arguments);
        } else {
            status = co_await log(arguments);
        }
        co_return status;
    } catch (const UsageError &usage) {
        Terminal::err(QStringLiteral("corvanectl：") + usage.message);
        co_return Usage;
    } catch (const CommandFailure &failure) {
        Terminal::err(QStringLiteral("corvanectl：") + failure.message);
        co_return Failed;
    } catch (...) {
        Terminal::err(QStringLiteral("corvanectl：操作失败：") + describe(std::current_exception()));
        co_return Failed;
    }
}

} // namespace Commands
