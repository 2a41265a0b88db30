#include "platform/Host.h"

#include "platform/Error.h"
#include "platform/FileCopy.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSysInfo>
#include <QXmlStreamReader>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <unistd.h>

#ifndef Q_OS_MACOS
#include <fontconfig/fontconfig.h>
#endif

#ifdef Q_OS_MACOS
#include <sys/sysctl.h>
#endif

namespace {

Host s_system;
std::atomic<Host *> s_current{&s_system};

QString applicationDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

#ifdef Q_OS_MACOS
bool macAccessibilityFlag(const char *key)
{
    const QSettings settings(QStringLiteral("com.apple.universalaccess"), QString());
    return settings.value(QString::fromLatin1(key)).toBool();
}

QString bundleIdentifierOf(const QString &appPath)
{
    QFile plist(appPath + QStringLiteral("/Contents/Info.plist"));
    if (!plist.open(QIODevice::ReadOnly)) {
        return {};
    }
    // Info.plist of an installed app is XML in practice; a binary one is read by the system's own parser.
    if (plist.peek(8) == "bplist00") {
        const QSettings settings(plist.fileName(), QSettings::NativeFormat);
        return settings.value(QStringLiteral("CFBundleIdentifier")).toString();
    }
    QXmlStreamReader xml(&plist);
    bool nextIsValue = false;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (nextIsValue) {
            return text;
        }
        nextIsValue = xml.name() == QLatin1String("key") && text == QLatin1String("CFBundleIdentifier");
    }
    return {};
}
#else
// Desktops without a system-wide switch leave animations on; KDE and GTK each keep one in a file.
bool readDesktopAnimationSwitch(const QString &kdeFile, const QString &gtkFile)
{
    const QSettings kde(kdeFile, QSettings::IniFormat);
    const QVariant factor = kde.value(QStringLiteral("KDE/AnimationDurationFactor"));
    if (factor.isValid() && factor.toDouble() == 0.0) {
        return true;
    }
    const QSettings gtk(gtkFile, QSettings::IniFormat);
    const QString gtkAnimations = gtk.value(QStringLiteral("Settings/gtk-enable-animations")).toString();
    return gtkAnimations == QLatin1String("false") || gtkAnimations == QLatin1String("0");
}

// Widgets ask on every paint: the two files are parsed again when one of them has changed, or a
// second on (a rewrite of the same length within the file system's clock tick looks unchanged).
bool desktopDisablesAnimations()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    const QString kdeFile = config + QStringLiteral("/kdeglobals");
    const QString gtkFile = config + QStringLiteral("/gtk-3.0/settings.ini");
    const QByteArray stamps = FileCopy::version(kdeFile) + '|' + FileCopy::version(gtkFile);
    static std::mutex guard;
    static QByteArray readStamps;
    static QElapsedTimer sinceRead;
    static bool disabled = false;
    const std::lock_guard lock(guard);
    if (stamps != readStamps || !sinceRead.isValid() || sinceRead.hasExpired(1000)) {
        disabled = readDesktopAnimationSwitch(kdeFile, gtkFile);
        readStamps = stamps;
        sinceRead.start();
    }
    return disabled;
}
#endif

} // namespace

Host &Host::current()
{
    return *s_current.load(std::memory_order_acquire);
}

void Host::install(Host *host)
{
    s_current.store(host ? host : &s_system, std::memory_order_release);
}

QString Host::dataRoot()
{
    return applicationDataFolder() + QStringLiteral("/CorvaneBeta");
}

QString Host::vphoneRoot()
{
    return applicationDataFolder() + QStringLiteral("/Corvane");
}

QString Host::downloadsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

Host::LinuxEngine Host::linuxEngine()
{
#ifdef Q_OS_MACOS
    return LinuxEngine::AppleVirtualization;
#else
    return LinuxEngine::Qemu;
#endif
}

bool Host::displayAvailable()
{
#if defined(Q_OS_LINUX)
    return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
#else
    return true;
#endif
}

bool Host::sheetsAttachToWindow()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

bool Host::packagesAreFiles()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

bool Host::nativePreferenceStore()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

bool Host::attachesDiscImages()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

bool Host::utmSupported()
{
#ifdef Q_OS_MACOS
    return true;
#else
    return false;
#endif
}

QString Host::simplifiedChineseFamily()
{
#ifdef Q_OS_MACOS
    return QStringLiteral("PingFang SC");
#else
    // The same question fontconfig answers for a zh-CN desktop: the sans-serif it prefers for that language.
    FcPattern *pattern = FcNameParse(reinterpret_cast<const FcChar8 *>("sans-serif:lang=zh-cn"));
    if (!pattern) {
        return {};
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern *match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    QString family;
    FcLangSet *languages = nullptr;
    FcChar8 *name = nullptr;
    // A match is returned even when nothing covers the language; such a font would draw empty boxes.
    if (match && FcPatternGetLangSet(match, FC_LANG, 0, &languages) == FcResultMatch &&
        FcLangSetHasLang(languages, reinterpret_cast<const FcChar8 *>("zh-cn")) == FcLangEqual &&
        FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch) {
        family = QString::fromUtf8(reinterpret_cast<const char *>(name));
    }
    if (match) {
        FcPatternDestroy(match);
    }
    return family;
#endif
}

Tools::AndroidHost Host::androidHost() const
{
    // The processor the program runs on, not the one it was built for: that is what the emulator needs.
    const QString processor = QSysInfo::currentCpuArchitecture();
    const bool arm64 = processor == QLatin1String("arm64");
#if defined(Q_OS_MACOS)
    return arm64 ? Tools::AndroidHost::MacArm64 : Tools::AndroidHost::Other;
#elif defined(Q_OS_LINUX)
    if (processor == QLatin1String("x86_64")) {
        return Tools::AndroidHost::LinuxX86_64;
    }
    return arm64 ? Tools::AndroidHost::LinuxArm64 : Tools::AndroidHost::Other;
#else
    return Tools::AndroidHost::Other;
#endif
}

QString Host::kvmDevice() const
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/dev/kvm");
#else
    return {};
#endif
}

int Host::activeProcessorCount() const
{
    const long count = sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? int(count) : 1;
}

qint64 Host::physicalMemory() const
{
#ifdef Q_OS_MACOS
    int64_t bytes = 0;
    size_t size = sizeof(bytes);
    if (sysctlbyname("hw.memsize", &bytes, &size, nullptr, 0) == 0) {
        return bytes;
    }
    return 0;
#else
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && pageSize > 0 ? qint64(pages) * pageSize : 0;
#endif
}

qint64 Host::availableCapacity(const QString &path) const
{
    QFileInfo info(path);
    while (!info.exists() && !info.isRoot()) {
        const QString parent = info.absolutePath();
        if (parent == info.absoluteFilePath()) {
            break;
        }
        info.setFile(parent);
    }
    const QStorageInfo storage(info.absoluteFilePath());
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

bool Host::reduceMotion() const
{
#ifdef Q_OS_MACOS
    return macAccessibilityFlag("reduceMotion");
#else
    return desktopDisablesAnimations();
#endif
}

bool Host::reduceTransparency() const
{
#ifdef Q_OS_MACOS
    return macAccessibilityFlag("reduceTransparency");
#else
    // Linux desktops have no such setting.
    return false;
#endif
}

void Host::moveToTrash(const QString &path)
{
    QFile file(path);
    if (!file.moveToTrash()) {
        throw SystemError(file.errorString());
    }
}

bool Host::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

bool Host::revealFolder(const QString &folder)
{
    QDir().mkpath(folder);
    return openUrl(QUrl::fromLocalFile(folder));
}

QString Host::applicationPath(const QString &bundleIdentifier) const
{
#ifdef Q_OS_MACOS
    const QStringList roots{QStringLiteral("/Applications"),
                            QDir::homePath() + QStringLiteral("/Applications")};
    for (const QString &root : roots) {
        QDirIterator it(root, {QStringLiteral("*.app")}, QDir::Dirs | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            const QString app = it.next();
            if (bundleIdentifierOf(app) == bundleIdentifier) {
                return app;
            }
        }
    }
    return {};
#else
    Q_UNUSED(bundleIdentifier)
    return {};
#endif
}

bool Host::openWithApplication(const QString &applicationPath, const QString &file)
{
#ifdef Q_OS_MACOS
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"),
                                   {QStringLiteral("-a"), applicationPath, file});
#else
    Q_UNUSED(applicationPath)
    Q_UNUSED(file)
    return false;
#endif
}

bool Host::openApplication(const QString &path)
{
#ifdef Q_OS_MACOS
    return QProcess::startDetached(QStringLiteral("/usr/bin/open"), {QStringLiteral("-a"), path});
#else
    return QProcess::startDetached(path, {});
#endif
}

ToolCommand Host::cloneCommand(const QString &source, const QString &destination) const
{
    return Tools::clone(source, destination);
}

QString Host::processTable() const
{
#ifdef Q_OS_LINUX
    return QStringLiteral("/proc");
#else
    return QString();
#endif
}

ToolCommand Host::openFilesProbeCommand(const QString &folder) const
{
    return Tools::openFilesProbe(folder);
}
