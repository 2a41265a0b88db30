#include "android/VMPaths.h"

#include "android/VMConfiguration.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/FileIO.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>

namespace {

const QString avdName = QStringLiteral("Corvane");

} // namespace

VMPaths::VMPaths(const QString &root, const QString &sharedRoot)
    : m_root(QDir::cleanPath(root.isEmpty() ? Host::dataRoot() : root))
    , m_sharedRoot(sharedRoot.isEmpty() ? m_root : QDir::cleanPath(sharedRoot))
{}

QString VMPaths::inRoot(const QString &relative) const
{
    return m_root + u'/' + relative;
}

QString VMPaths::inShared(const QString &relative) const
{
    return m_sharedRoot + u'/' + relative;
}

QString VMPaths::configurationFile() const
{
    return inRoot(QStringLiteral("configuration.json"));
}
QString VMPaths::instanceNameFile() const
{
    return inRoot(QStringLiteral("instance-name.txt"));
}
QString VMPaths::lockFile() const
{
    return inRoot(QStringLiteral("instance.lock"));
}
QString VMPaths::emulatorLog() const
{
    return inRoot(QStringLiteral("emulator.log"));
}
QString VMPaths::licenseRecord() const
{
    return inRoot(QStringLiteral("accepted-sdk-license.txt"));
}
QString VMPaths::avdHome() const
{
    return inRoot(QStringLiteral("avd"));
}
QString VMPaths::avdIni() const
{
    return avdHome() + u'/' + avdName + QStringLiteral(".ini");
}
QString VMPaths::avdFolder() const
{
    return avdHome() + u'/' + avdName + QStringLiteral(".avd");
}
QString VMPaths::configIni() const
{
    return avdFolder() + QStringLiteral("/config.ini");
}
QString VMPaths::emulatorHome() const
{
    return inRoot(QStringLiteral("android"));
}
QString VMPaths::downloads() const
{
    return inRoot(QStringLiteral("downloads"));
}

QString VMPaths::sdk() const
{
    return inShared(QStringLiteral("sdk"));
}
QString VMPaths::emulatorExecutable() const
{
    return sdk() + QStringLiteral("/emulator/emulator");
}
QString VMPaths::adbExecutable() const
{
    return sdk() + QStringLiteral("/platform-tools/adb");
}
QString VMPaths::systemImage() const
{
    const Tools::AndroidVariant variant = Tools::androidVariant(Host::current().androidHost());
    return sdk() + QStringLiteral("/system-images/android-34/default/") + variant.abi;
}
QString VMPaths::systemImageFile() const
{
    return systemImage() + QStringLiteral("/system.img");
}
QString VMPaths::kernelFile() const
{
    return systemImage() + QStringLiteral("/kernel-ranchu");
}
QString VMPaths::installedMarker() const
{
    return inShared(QStringLiteral("installed.json"));
}
QString VMPaths::primaryDeletedMarker() const
{
    return inShared(QStringLiteral("primary-deleted"));
}
QString VMPaths::instancesFolder() const
{
    return inShared(QStringLiteral("instances"));
}
QString VMPaths::instanceFolder(const QString &id) const
{
    return instancesFolder() + u'/' + id;
}

QString VMPaths::snapshotCollection(const QString &id) const
{
    return m_sharedRoot + QStringLiteral("/snapshots/android/") + id;
}

const QStringList &VMPaths::emulatorRuntimeFileNames()
{
    static const QStringList names{
        QStringLiteral("hardware-qemu.ini"),
        QStringLiteral("emu-launch-params.txt"),
        QStringLiteral("AVD.conf"),
        QStringLiteral("tmpAdbCmds"),
    };
    return names;
}

bool VMPaths::isEmulatorRuntimeFile(const QString &name)
{
    return name.endsWith(QStringLiteral(".lock")) || emulatorRuntimeFileNames().contains(name);
}

bool VMPaths::installed() const
{
    // The marker comes last: it is written only after every component above was put in place.
    const QStringList required{emulatorExecutable(), adbExecutable(), systemImageFile(), kernelFile(),
                               installedMarker()};
    for (const QString &path : required) {
        if (!QFileInfo::exists(path)) {
            return false;
        }
    }
    return true;
}

QMap<QString, QString> VMPaths::environment() const
{
    QMap<QString, QString> result;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    for (const QString &name : system.keys()) {
        result.insert(name, system.value(name));
    }
    result.insert(QStringLiteral("ANDROID_SDK_ROOT"), sdk());
    result.insert(QStringLiteral("ANDROID_HOME"), sdk());
    result.insert(QStringLiteral("ANDROID_AVD_HOME"), avdHome());
    result.insert(QStringLiteral("ANDROID_EMULATOR_HOME"), emulatorHome());
    result.insert(QStringLiteral("ANDROID_ADB_SERVER_PORT"), QString::number(adbServerPort));
    return result;
}

void VMPaths::createDirectories() const
{
    for (const QString &folder : {m_root, sdk(), avdHome(), avdFolder(), downloads(), emulatorHome()}) {
        FileIO::createFolder(folder);
    }
}

void VMPaths::configure(const VMConfiguration &configuration) const
{
    createDirectories();
    FileIO::writeAtomically(configIni(), configuration.ini(systemImage()).toUtf8());
    const QString pointer = QStringLiteral("avd.ini.encoding=UTF-8\npath=") + avdFolder() +
                            QStringLiteral("\ntarget=android-34\n");
    FileIO::writeAtomically(avdIni(), pointer.toUtf8());
}

void saveConfiguration(const VMPaths &paths, const VMConfiguration &configuration)
{
    const VMConfiguration stored = configuration.validated();
    paths.createDirectories();
    FileIO::writeAtomically(paths.configurationFile(), stored.toJson());
}
