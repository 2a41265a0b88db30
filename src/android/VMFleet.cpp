#include "android/VMFleet.h"

#include "android/VMConfiguration.h"
#include "android/VMModel.h"
#include "android/detail/FleetRecovery.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "preferences/AppPreferences.h"
#include "services/AppLog.h"
#include "services/Command.h"
#include "services/FileIO.h"
#include "services/InstanceLock.h"
#include "services/OpenFiles.h"
#include "services/PropertyField.h"
#include "services/Tasks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStringDecoder>
#include <QUuid>

#include <algorithm>
#include <optional>

namespace {

const QString firstDeviceName = QStringLiteral("安卓 1");
const QString namePrefix = QStringLiteral("安卓 ");

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

/** The name stored for a device, or nothing when the file cannot be read as UTF-8 text. */
std::optional<QString> readName(const QString &path)
{
    // A name is a line of text; a file far larger than that is not one.
    const std::optional<QByteArray> bytes = FileIO::readSmallFile(path, qint64(64) * 1024);
    if (!bytes) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = decoder.decode(*bytes);
    if (decoder.hasError()) {
        return std::nullopt;
    }
    return name;
}

/** The stored name, trimmed as saving trims it; `fallback` when there is none to show. */
QString storedName(const QString &path, const QString &fallback)
{
    const QString name = readName(path).value_or(QString()).trimmed();
    return name.isEmpty() ? fallback : name;
}

QCoro::Task<> cloneFolder(QString source, QString destination)
{
    const ToolCommand clone = Host::current().cloneCommand(source, destination);
    co_await Command::run(clone.program, clone.arguments, std::nullopt, 180);
}

/** Emulator lock files (plain files or, in newer emulators, folders) and launch records. */
void removeRuntimeFiles(const QString &avdFolder)
{
    const QStringList entries =
        QDir(avdFolder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        if (VMPaths::isEmulatorRuntimeFile(entry)) {
            FileIO::removeAll(avdFolder + u'/' + entry);
        }
    }
}

/** A new device folder that disappears again unless the operation keeps it. */
struct FolderInProgress
{
    QString path;
    bool keep = false;
    explicit FolderInProgress(QString folder)
        : path(std::move(folder))
    {}
    FolderInProgress(const FolderInProgress &) = delete;
    FolderInProgress &operator=(const FolderInProgress &) = delete;
    ~FolderInProgress()
    {
        if (!keep) {
            FileIO::removeIfPresent(path);
        }
    }
};

} // namespace

/** Clears the fleet's and the device's flags when a copy or delete ends, on every path out. */
struct VMFleet::OperationEnd
{
    QPointer<VMFleet> fleet;
    QPointer<VMModel> device;
    OperationEnd(QPointer<VMFleet> endingFleet, QPointer<VMModel> endingDevice)
        : fleet(std::move(endingFleet))
        , device(std::move(endingDevice))
    {}
    OperationEnd(const OperationEnd &) = delete;
    OperationEnd &operator=(const OperationEnd &) = delete;
    ~OperationEnd()
    {
        if (fleet) {
            fleet->m_creating.set(false);
        }
        if (device) {
            device->setBusy(false);
        }
    }
};

VMFleet::VMFleet(QString root, Options options, QObject *parent)
    : QObject(parent)
    , m_shared(root)
    , m_options(std::move(options))
{
    FleetRecovery::run(m_shared);
    if (!QFileInfo::exists(m_shared.primaryDeletedMarker())) {
        m_models.append(
            makeModel(m_shared, primaryId, storedName(m_shared.instanceNameFile(), firstDeviceName)));
    }

    // An unreadable folder lists nothing, which is what it should mean here.
    QStringList entries =
        QDir(m_shared.instancesFolder())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    std::sort(entries.begin(), entries.end());
    for (const QString &entry : entries) {
        const VMPaths paths(m_shared.instanceFolder(entry), m_shared.root());
        if (!QFileInfo::exists(paths.instanceNameFile())) {
            continue;
        }
        const QString name = storedName(paths.instanceNameFile(), entry);
        m_models.append(makeModel(paths, entry, name));
    }

    if (!m_models.isEmpty()) {
        m_selected.set(m_models.first()->id());
    }
}

VMFleet::~VMFleet() = default;

VMModel *VMFleet::current() const
{
    if (VMModel *model = device(m_selected)) {
        return model;
    }
    return m_models.isEmpty() ? nullptr : m_models.first();
}

QString VMFleet::nextName() const
{
    for (qint64 n = 1;; ++n) {
        const QString candidate = namePrefix + QString::number(n);
        const bool taken =
            std::any_of(m_models.cbegin(), m_models.cend(),
                        [&candidate](const VMModel *model) { return model->name() == candidate; });
        if (!taken) {
            return candidate;
        }
    }
}

void VMFleet::addDevice()
{
    if (m_creating) {
        return;
    }
    const bool installed = m_shared.installed();
    if (m_models.isEmpty() && !installed) {
        // With no device and no SDK the user is starting over: bring the first device back.
        const QString marker = m_shared.primaryDeletedMarker();
        try {
            // A new first device: the deleted one's name stays behind in its folder until replaced,
            // and it is replaced before the marker goes so that no load ever shows it again.
            FileIO::createFolder(m_shared.root());
            FileIO::writeAtomically(m_shared.instanceNameFile(), firstDeviceName.toUtf8());
            if (FileIO::exists(marker)) {
                FileIO::removeAll(marker);
            }
        } catch (...) {
            m_error.set(QStringLiteral("无法重新创建设备：") + describe(std::current_exception()));
            return;
        }
        addModel(m_shared, primaryId, firstDeviceName);
        setSelected(primaryId);
        return;
    }
    if (!installed) {
        m_error.set(QStringLiteral("请先在当前设备中安装安卓环境。"));
        return;
    }

    const QString id = newId();
    const VMPaths paths(m_shared.instanceFolder(id), m_shared.root());
    const VMConfiguration configuration = VMConfiguration::forNewDevice(*AppPreferences::openStore());
    try {
        paths.configure(configuration);
        saveConfiguration(paths, configuration);
        // The name file goes last: a folder without it is not a device, so a half-made one never loads.
        const QString name = nextName();
        FileIO::writeAtomically(paths.instanceNameFile(), name.toUtf8());
        addModel(paths, id, name);
        setSelected(id);
    } catch (...) {
        FileIO::removeIfPresent(paths.root());
        m_error.set(describe(std::current_exception()));
    }
}

void VMFleet::duplicate()
{
    startTask(duplicateTask(), QStringLiteral("Android"));
}

void VMFleet::deleteDevice(QString id)
{
    startTask(deleteTask(std::move(id)), QStringLiteral("Android"));
}

QCoro::Task<> VMFleet::duplicateTask()
{
    VMModel *source = current();
    if (!source) {
        co_return;
    }
    // A snapshot restore swaps the AVD folder under the copy's feet, so it counts as in use too.
    if (m_creating || !source->installed() || source->running() || source->busy() || source->snapshotBusy()) {
        m_error.set(QStringLiteral("请先停止要复制的实例，再创建副本。"));
        co_return;
    }
    m_creating.set(true);
    source->setBusy(true);

    QPointer<VMFleet> self(this);
    QPointer<VMModel> sourceGuard(source);
    const OperationEnd end{self, sourceGuard};
    InstanceLock::Held lock;
    InstanceLock::Held copyLock;
    const QString id = newId();
    FolderInProgress copy{m_shared.instanceFolder(id)};
    try {
        lock = InstanceLock::take(source->paths().lockFile(), QStringLiteral("无法锁定源实例。"),
                                  QStringLiteral("源实例正在使用，不能复制运行中的数据盘。"));
        const QString sourceAvd = source->paths().avdFolder();
        const bool inUse = co_await OpenFiles::inUse(sourceAvd, 60);
        if (!self || !sourceGuard) {
            co_return;
        }
        if (inUse) {
            throw VMFailure(QStringLiteral("该实例仍被其他进程使用，请先关闭对应安卓窗口。"));
        }
        const qint64 available = Host::current().availableCapacity(m_shared.root());
        if (available < 0 || available <= VMModel::minimumFreeBytes) {
            throw VMFailure(QStringLiteral("创建副本至少需要 3GB 可用空间。"));
        }

        const VMPaths paths(copy.path, m_shared.root());
        FileIO::createFolder(paths.avdHome());
        // Held while the copy is made, so another copy of the application loading now does not take
        // the unfinished folder for the leftover of a copy that was cut short.
        copyLock = InstanceLock::take(paths.lockFile(), QStringLiteral("无法锁定设备。"),
                                      QStringLiteral("该设备正在其他窗口使用。"));
        co_await cloneFolder(sourceAvd, paths.avdFolder());
        if (!self || !sourceGuard) {
            co_return;
        }
        removeRuntimeFiles(paths.avdFolder());

        // The copy keeps the source's screen and renderer but takes today's size for new devices.
        VMConfiguration configuration = VMConfiguration::forNewDevice(*AppPreferences::openStore());
        configuration.screen = source->configuration().screen;
        configuration.softwareGPU = source->configuration().softwareGPU;
        paths.configure(configuration);
        saveConfiguration(paths, configuration);
        const QString name = nextName();
        FileIO::writeAtomically(paths.instanceNameFile(), name.toUtf8());

        addModel(paths, id, name);
        copy.keep = true;
        setSelected(id);
    } catch (...) {
        // The folder goes before the error shows, so the screen never sees a half-made copy.
        FileIO::removeIfPresent(copy.path);
        if (self) {
            m_error.set(describe(std::current_exception()));
        }
    }
}

QCoro::Task<> VMFleet::deleteTask(QString id)
{
    VMModel *target = device(id);
    if (m_creating || !target) {
        co_return;
    }
    if (target->running() || target->busy() || target->snapshotBusy()) {
        m_error.set(QStringLiteral("请先停止该安卓设备，再删除。"));
        co_return;
    }
    m_creating.set(true);
    target->setBusy(true);

    QPointer<VMFleet> self(this);
    QPointer<VMModel> targetGuard(target);
    const OperationEnd end{self, targetGuard};
    InstanceLock::Held lock;
    try {
        const VMPaths paths = target->paths();
        FileIO::createFolder(paths.root());
        lock = InstanceLock::take(paths.lockFile(), QStringLiteral("无法锁定设备。"),
                                  QStringLiteral("该设备正在其他窗口使用。"));
        const bool inUse = co_await OpenFiles::inUse(paths.avdFolder(), 60);
        if (!self || !targetGuard) {
            co_return;
        }
        if (inUse) {
            throw VMFailure(QStringLiteral("该设备仍被模拟器使用，请先关闭对应安卓窗口。"));
        }

        // The first device shares its folder with the SDK and the other devices: only its AVD goes.
        const bool primary = id == primaryId;
        const QString marker = m_shared.primaryDeletedMarker();
        const QString trashed = primary ? paths.avdHome() : paths.root();
        if (primary) {
            FileIO::writeAtomically(marker, {});
        }
        if (FileIO::exists(trashed)) {
            try {
                Host::current().moveToTrash(trashed);
            } catch (...) {
                if (primary) {
                    FileIO::removeIfPresent(marker);
                }
                throw;
            }
        }

        const QString snapshots = m_shared.snapshotCollection(id);
        if (FileIO::exists(snapshots)) {
            const QString category = QStringLiteral("快照");
            try {
                Host::current().moveToTrash(snapshots);
                AppLog::info(category, QStringLiteral("删除设备时已将 ") + target->name() +
                                           QStringLiteral(" 的快照移到废纸篓"));
            } catch (...) {
                AppLog::warn(category, QStringLiteral("设备已删除，但快照目录未能移到废纸篓：") +
                                           describe(std::current_exception()));
            }
        }
        removeModels(id);
    } catch (...) {
        if (self) {
            m_error.set(describe(std::current_exception()));
        }
    }
}

VMModel *VMFleet::device(const QString &id) const
{
    const auto found = std::find_if(m_models.cbegin(), m_models.cend(),
                                    [&id](const VMModel *model) { return model->id() == id; });
    return found != m_models.cend() ? *found : nullptr;
}

VMModel *VMFleet::addModel(const VMPaths &paths, const QString &id, const QString &name)
{
    VMModel *model = makeModel(paths, id, name);
    m_models.append(model);
    Q_EMIT modelsChanged();
    return model;
}

VMModel *VMFleet::makeModel(const VMPaths &paths, const QString &id, const QString &name)
{
    VMModel::Options options;
    options.timing = m_options.timing;
    // Weak: the check must not keep the fleet alive, and refuses once the fleet is gone.
    options.canStart = [fleet = QPointer<VMFleet>(this)](VMModel &device) {
        return fleet && fleet->fitsBudget(device);
    };
    return new VMModel(paths, id, name, std::move(options), this);
}

bool VMFleet::fitsBudget(VMModel &model) const
{
    qint64 used = 0;
    for (const VMModel *other : m_models) {
        if (other != &model && (other->running() || other->busy())) {
            used += other->configuration().memoryMB;
        }
    }
    // Read at every start, so a new budget in the settings applies without a restart.
    const qint64 budget = AppPreferences::memoryBudgetMB(*AppPreferences::openStore());
    const qint64 external = m_options.externalMemoryMB ? m_options.externalMemoryMB() : 0;
    if (used + model.configuration().memoryMB + external <= budget) {
        return true;
    }
    model.setError(
        QStringLiteral("多开总内存超过设置中的上限。请调低实例内存、停止其他实例，或在设置中调整上限。"));
    return false;
}

void VMFleet::removeModels(const QString &id)
{
    QList<VMModel *> removed;
    m_models.removeIf([&](VMModel *model) {
        if (model->id() != id) {
            return false;
        }
        removed.append(model);
        return true;
    });
    if (removed.isEmpty()) {
        return;
    }
    Q_EMIT modelsChanged();
    if (m_selected == id) {
        setSelected(m_models.isEmpty() ? QString() : m_models.first()->id());
    }
    // Later, not now: observers and the ending operation still hold these pointers this turn.
    for (VMModel *model : std::as_const(removed)) {
        model->deleteLater();
    }
}
