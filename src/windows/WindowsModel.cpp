#include "windows/WindowsModel.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/Interaction.h"
#include "services/PropertyField.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

namespace {

const auto category = QStringLiteral("Windows");
constexpr qint64 GiB = WindowsConfiguration::GiB;

} // namespace

WindowsModel::WindowsModel(QString dataRoot, Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
    , m_settings(dataRoot + QStringLiteral("/windows-configuration.json"))
    , m_configuration(this, WindowsConfiguration::load(m_settings).validated())
    , m_isoCheck(this, QStringLiteral("尚未检查镜像"))
    , m_message(this, QStringLiteral("未安装 Windows · 本工具不会自动下载任何 Windows 组件"))
{
    recoverSnapshots();
    loadSnapshots();
}

std::optional<QString> WindowsModel::projectPath() const
{
    if (m_configuration->projectPath.isEmpty()) {
        return std::nullopt;
    }
    return m_configuration->projectPath;
}

QString WindowsModel::utmPath()
{
    return Host::current().applicationPath(utmBundleIdentifier);
}

bool WindowsModel::hasConfiguration(const QString &bundle)
{
    return !bundle.isEmpty() && QFileInfo::exists(bundle + QStringLiteral("/config.plist"));
}

void WindowsModel::save()
{
    setConfiguration(m_configuration->validated());
    try {
        FileIO::createFolder(QFileInfo(m_settings).path());
    } catch (const Error &failure) {
        setError(failure.description());
        return;
    }
    // Every stepper click saves: the sync to disk happens behind the window.
    FileIO::writeAtomicallyLater(m_settings, m_configuration->toJson(), this,
                                 [this](const QString &failure) { setError(failure); });
}

void WindowsModel::refreshPreparation()
{
    QString engine = QStringLiteral("已找到 UTM");
    if (!m_options.utmSupported) {
        engine = QStringLiteral("UTM 只有 macOS 版，本机不能创建或打开 Windows 虚拟机");
    } else if (utmPath().isEmpty()) {
        engine = QStringLiteral("尚未安装 UTM");
    }
    const qint64 available = Host::current().availableCapacity(QFileInfo(m_settings).path());
    const qint64 freeGiB = available > 0 ? available / GiB : 0;
    m_preparation.set(QStringLiteral("引擎：") + engine + QStringLiteral("\n本机可用空间：") +
                      QString::number(freeGiB) + QStringLiteral(" GiB；建议预留约 80GB，或使用外置 SSD。") +
                      QStringLiteral("\n预设：") + QString::number(m_configuration->cores) +
                      QStringLiteral(" 核 CPU / ") + QString::number(m_configuration->memoryGB) +
                      QStringLiteral("GB 内存 / ") + QString::number(m_configuration->diskGB) +
                      QStringLiteral("GB 磁盘"));
}

QCoro::Task<> WindowsModel::chooseISO()
{
    QPointer self(this);
    const QStringList filters{QStringLiteral("Windows ISO (*.iso *.ISO)")};
    const QString iso = co_await Interaction::current()->chooseFile(QString(), filters);
    if (!self || iso.isEmpty()) {
        co_return;
    }
    co_await useISO(iso);
}

QCoro::Task<> WindowsModel::useISO(QString iso)
{
    if (m_busy) {
        co_return;
    }
    QPointer self(this);
    WindowsConfiguration selected = m_configuration;
    selected.isoPath = QFileInfo(iso).absoluteFilePath();
    setConfiguration(selected);
    m_confirmedARM.set(false);
    save();
    setBusy(true);
    m_isoCheck.set(QStringLiteral("正在只读检查 ARM64 启动文件…"));

    std::optional<QString> failure;
    try {
        co_await WindowsPreparation::inspectISO(m_configuration->isoPath, m_options.inspection);
    } catch (...) {
        failure = describe(std::current_exception());
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        m_isoCheck.set(QStringLiteral("镜像检查未通过"));
        setError(*failure);
    } else {
        m_confirmedARM.set(true);
        m_isoCheck.set(QStringLiteral("已确认 ARM64 启动文件和 Windows 安装文件（非整盘哈希校验）"));
        setMessage(QStringLiteral("镜像结构检查通过。准备好 UTM 和磁盘空间后，即可创建虚拟机。"));
    }
    setBusy(false);
    refreshPreparation();
}

QCoro::Task<> WindowsModel::findDownloadedISO()
{
    if (m_busy) {
        co_return;
    }
    // A platform that names no Downloads folder has, for our purpose, no finished ISO there either.
    const QStringList candidates = WindowsPreparation::isoCandidates(Host::downloadsFolder());
    if (candidates.size() == 1) {
        co_await useISO(candidates.first());
    } else if (candidates.isEmpty()) {
        setMessage(QStringLiteral("下载目录没有已完成的 .iso 文件。请下载完成后再点击，或手动选择文件。"));
    } else {
        co_await chooseISO();
    }
}

void WindowsModel::openProject()
{
    if (!m_options.utmSupported) {
        setError(QStringLiteral(
            "打开 Windows 虚拟机需要 UTM，而 UTM 只有 macOS 版。请在装有 UTM 的 Mac 上打开它。"));
        return;
    }
    const QString utm = utmPath();
    if (utm.isEmpty()) {
        setError(QStringLiteral("请先自行安装 UTM 到「应用程序」，再回来打开虚拟机。"));
        return;
    }
    const QString project = m_configuration->projectPath;
    if (!hasConfiguration(project)) {
        setError(QStringLiteral("虚拟机文件已移动或不存在，请重新选择 .utm 文件。"));
        return;
    }
    const bool requested = Host::current().openWithApplication(utm, project);
    setMessage(QStringLiteral("已请求 UTM 打开设备。请在 UTM 中点击运行、安装系统或关机。"));
    AppLog::info(category, QStringLiteral("已请求 UTM 打开：") + project);
    if (!requested) {
        setError(QStringLiteral("无法请求 UTM 打开虚拟机：") + project);
    }
}

QCoro::Task<> WindowsModel::chooseProject()
{
    QPointer self(this);
    const QStringList filters{QStringLiteral("UTM (*.utm *.UTM)")};
    const QString chosen = co_await Interaction::current()->choosePackage(QString(), filters);
    if (!self || chosen.isEmpty()) {
        co_return;
    }
    if (!hasConfiguration(chosen)) {
        setError(QStringLiteral("请选择有效的 .utm 虚拟机。"));
        co_return;
    }
    const QString path = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    WindowsConfiguration associated = m_configuration;
    associated.projectPath = path;
    setConfiguration(associated);
    save();
    setMessage(QStringLiteral("已关联现有虚拟机。其硬件设置请在 UTM 中修改。"));
    recoverSnapshots();
    refreshSnapshots();
    AppLog::info(category, QStringLiteral("已关联 UTM 项目：") + path);
}
