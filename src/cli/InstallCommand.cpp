// `corvanectl install-android`: the Android components, after the licence, with the window's installer.
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Guests.h"
#include "cli/SignalPipe.h"
#include "cli/Terminal.h"

#include <QTextStream>

#include <cstdio>
#include <unistd.h>

namespace {

bool isTerminal(FILE *stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

/** Asks on the terminal; only an explicit yes accepts. */
bool askToAccept()
{
    std::fputs("是否接受以上许可？输入 yes 接受：", stdout);
    std::fflush(stdout);
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("yes") || answer == QLatin1String("y") || answer == QStringLiteral("是");
}

/** One redrawn line on a terminal; elsewhere a plain line each time the step or a tenth changes. */
class ProgressReport
{
public:
    explicit ProgressReport(bool terminal)
        : m_terminal(terminal)
    {}

    void show(double progress, const QString &status)
    {
        const int percent = int(std::clamp(progress, 0.0, 1.0) * 100);
        if (m_terminal) {
            constexpr int width = 30;
            const int filled = percent * width / 100;
            const QString bar = QStringLiteral("\r\033[K[") + QString(filled, u'#') +
                                QString(width - filled, u'-') + QStringLiteral("] ") +
                                QString::number(percent).rightJustified(3) + QStringLiteral("% ") + status;
            const QByteArray bytes = bar.toUtf8();
            std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
            std::fflush(stdout);
            m_open = true;
            return;
        }
        if (status != m_status || percent / 10 != m_percent / 10) {
            Terminal::out(QString::number(percent) + QStringLiteral("% ") + status);
        }
        m_status = status;
        m_percent = percent;
    }

    /** Ends the redrawn line, so what follows starts on a line of its own. */
    void close()
    {
        if (m_open) {
            std::fputc('\n', stdout);
            std::fflush(stdout);
            m_open = false;
        }
    }

private:
    const bool m_terminal;
    bool m_open = false;
    QString m_status;
    int m_percent = -1;
};

} // namespace

namespace Commands {

QCoro::Task<int> installAndroid(QStringList words, SignalPipe *signals)
{
    const Arguments arguments = Arguments::parse(words, {QStringLiteral("--accept-license")});
    arguments.expectPositional(0, QStringLiteral("corvanectl install-android [--accept-license]"));
    VMFleet fleet;
    VMModel *device = fleet.current();
    if (device == nullptr) {
        throw CommandFailure{QStringLiteral("无法安装：没有安卓设备。请先运行 corvanectl android add。")};
    }
    ComponentInstallation &installation = device->installation();
    installation.requestInstall();
    if (installation.showLicense()) {
        Terminal::out(ComponentInstallation::license());
        if (arguments.has(QStringLiteral("--accept-license"))) {
            Terminal::err(QStringLiteral("已通过 --accept-license 接受以上许可。"));
        } else if (!isTerminal(stdin) || !isTerminal(stdout)) {
            throw CommandFailure{QStringLiteral("安装前须接受安卓 SDK 许可。请阅读以上许可，同意后以 "
                                                "corvanectl install-android --accept-license 重新运行。")};
        } else if (!askToAccept()) {
            throw CommandFailure{QStringLiteral("未接受许可，未安装任何组件。")};
        }
        installation.setLicenseChecked(true);
        installation.acceptAndInstall();
    }

    ProgressReport report(isTerminal(stdout));
    bool cancelled = false;
    co_await Guests::waitUntil(
        [&] {
            if (!device->busy()) {
                return true;
            }
            if (signals->received() && !cancelled) {
                cancelled = true;
                installation.cancel();
            }
            report.show(installation.progress(), device->status());
            return false;
        },
        std::chrono::milliseconds(100));
    report.close();
    if (!device->error().isEmpty()) {
        throw CommandFailure{QStringLiteral("安装失败：") + device->error()};
    }
    if (cancelled || !device->installed()) {
        throw CommandFailure{QStringLiteral("安装未完成：") + device->status()};
    }
    Terminal::err(device->status());
    co_return Success;
}

} // namespace Commands
