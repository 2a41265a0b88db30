// Building a new UTM bundle: the checks on the GUI thread, then the file work on a worker thread.
#include "windows/WindowsModel.h"

#include "platform/Error.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/Interaction.h"
#include "windows/detail/BundleBuild.h"

#include <QCoroFuture>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QtConcurrent>

#include <unistd.h>

namespace {

const auto category = QStringLiteral("Windows");

bool usableISO(const QString &path)
{
    return !path.isEmpty() && QFileInfo(path).suffix().toLower() == QLatin1String("iso") &&
           ::access(QFile::encodeName(path).constData(), R_OK) == 0;
}

} // namespace

QCoro::Task<> WindowsModel::create()
{
    if (m_busy || !m_confirmedARM) {
        co_return;
    }
    if (!m_options.utmSupported) {
        setError(QStringLiteral("创建 Windows 虚拟机需要 UTM，而 UTM 只有 macOS 版。"
                                "请在 Mac 上创建；本机可以检查镜像，并关联已有的 .utm 虚拟机、为它做快照。"));
        co_return;
    }
    const QString utm = utmPath();
    if (utm.isEmpty()) {
        setError(QStringLiteral("还没有安装 UTM。请自行下载安装后再创建；本工具不会代你下载。"));
        co_return;
    }
    const QString firmware = utm + QStringLiteral("/Contents/Resources/qemu/edk2-arm-secure-vars.fd");
    if (!QFileInfo::exists(firmware)) {
        setError(QStringLiteral("该 UTM 未包含 ARM64 Secure Boot 固件，请安装带 QEMU 引擎的新版 UTM。"));
        co_return;
    }
    const WindowsConfiguration chosen = m_configuration->validated();
    if (!usableISO(chosen.isoPath)) {
        setError(QStringLiteral("请先选择本地 Windows ARM64 ISO 文件。"));
        co_return;
    }

    QPointer self(this);
    const QStringList filters{QStringLiteral("UTM (*.utm *.UTM)")};
    const QString proposed = QDir::homePath() + QStringLiteral("/Desktop/Windows 虚拟机/Windows ARM64.utm");
    QString target = co_await Interaction::current()->chooseSaveLocation(
        QStringLiteral("选择虚拟机位置（建议空闲容量至少 80GB）"), proposed, filters);
    // The panel does not block the window: another check may have started or replaced the ISO meanwhile.
    if (!self || target.isEmpty() || m_busy || !m_confirmedARM ||
        m_configuration->isoPath != chosen.isoPath) {
        co_return;
    }
    target = QDir::cleanPath(QFileInfo(target).absoluteFilePath());
    if (QFileInfo(target).suffix().toLower() != QLatin1String("utm")) {
        target += QStringLiteral(".utm");
    }
    if (FileIO::exists(target)) {
        setError(QStringLiteral("目标已存在，请换一个名称。不会覆盖任何现有虚拟机。"));
        co_return;
    }
    setBusy(true);
    setMessage(QStringLiteral("正在检查镜像并创建本地虚拟机，不进行网络下载…"));
    co_await build(firmware, chosen.isoPath, chosen, target);
}

QCoro::Task<> WindowsModel::build(QString firmware, QString iso, WindowsConfiguration configuration,
                                  QString target)
{
    QPointer self(this);
    std::optional<QString> failure;
    try {
        co_await WindowsPreparation::inspectISO(iso, m_options.inspection);
    } catch (...) {
        failure = describe(std::current_exception());
    }
    if (!self) {
        co_return;
    }
    if (!failure) {
        const BundleBuild::Request request{firmware, iso, configuration, target};
        QFuture<std::optional<QString>> work = QtConcurrent::run(&BundleBuild::run, request);
        const std::optional<QString> outcome = co_await work;
        if (!self) {
            co_return;
        }
        failure = outcome;
    }
    if (failure) {
        setMessage(QStringLiteral("创建未完成"));
        setError(*failure);
        AppLog::error(category, QStringLiteral("创建失败：") + *failure);
        setBusy(false);
        co_return;
    }

    WindowsConfiguration created = m_configuration;
    created.projectPath = target;
    setConfiguration(created);
    save();
    setMessage(QStringLiteral("虚拟机文件已创建，尚未安装 Windows。请在 UTM 中启动并安装。"));
    refreshSnapshots();
    AppLog::info(category, QStringLiteral("已创建 UTM 项目：") + target);
    openProject();
    setBusy(false);
}
