#pragma once

#include "platform/Tools.h"

#include <QString>
#include <QUrl>

/**
 * Everything the program asks of the operating system it runs on: where data lives,
 * what the machine offers, and the desktop services it hands work to.
 *
 * One instance is current for the process. Tests install a double (see ScopedHost)
 * to fix processor count, memory and free capacity and to record what was opened.
 */
class Host
{
public:
    virtual ~Host() = default;

    /** The host in use; the real system unless a test installed another. Safe from any thread. */
    static Host &current();
    /** Installs a host for the rest of the process, or the real system again for nullptr. */
    static void install(Host *host);

    /** "CorvaneBeta" in the user's application data folder. */
    static QString dataRoot();
    /** "Corvane" beside the data root: the home of the external phone tool. */
    static QString vphoneRoot();
    static QString downloadsFolder();

    /** What runs the Linux machine on this system, as the Linux page names it to the user. */
    enum class LinuxEngine {
        /** On a Mac the page keeps naming the platform's own virtualization. */
        AppleVirtualization,
        /** QEMU with KVM where the processor allows, else emulated. */
        Qemu,
    };
    static LinuxEngine linuxEngine();

    /** Whether a window can be shown: false where the system needs a display server and none is named. */
    static bool displayAvailable();
    /** Whether window-modal dialogs slide out of their window as sheets (macOS) rather than float over it. */
    static bool sheetsAttachToWindow();
    /** Whether the file chooser picks an application package (a folder with an extension) as one file. */
    static bool packagesAreFiles();
    /** Whether preferences live in the system's own store (the user-defaults domain), not a file of ours. */
    static bool nativePreferenceStore();
    /** Whether disc images are looked into by attaching them (hdiutil) instead of listing them with 7-Zip. */
    static bool attachesDiscImages();
    /** Whether UTM, which is made for macOS alone, can exist on this system. */
    static bool utmSupported();
    /**
     * The font family that draws Chinese in its Simplified forms, as the desktop picks one for zh-CN
     * text; empty when no installed font covers Simplified Chinese. Left to fallback, the choice
     * follows the user's locale, which outside a Chinese one draws the texts in Japanese forms.
     */
    static QString simplifiedChineseFamily();

    /** Which Android emulator and system image this computer can run, from its system and processor. */
    virtual Tools::AndroidHost androidHost() const;
    /** The device through which the Android emulator reaches KVM; empty where the system has none. */
    virtual QString kvmDevice() const;

    virtual int activeProcessorCount() const;
    virtual qint64 physicalMemory() const;
    /** Bytes available on the volume holding `path` (or its nearest existing ancestor); -1 if unknown. */
    virtual qint64 availableCapacity(const QString &path) const;

    virtual bool reduceMotion() const;
    virtual bool reduceTransparency() const;

    /** Moves a file or folder to the Trash; throws SystemError when the platform refuses. */
    virtual void moveToTrash(const QString &path);
    /** Opens a folder, file or web page in the user's default application. */
    virtual bool openUrl(const QUrl &url);
    /**
     * Shows `folder` in the file manager, creating it first: a folder that is not there yet (no
     * snapshot, no save so far) cannot be opened, and an empty one shows the user where things will go.
     */
    virtual bool revealFolder(const QString &folder);

    /** Path of the installed application with this bundle identifier, empty when there is none. */
    virtual QString applicationPath(const QString &bundleIdentifier) const;
    /** Opens `file` with the application at `applicationPath`. */
    virtual bool openWithApplication(const QString &applicationPath, const QString &file);
    /**
     * Starts the application at `path` (an app bundle on macOS, a program elsewhere) without waiting
     * for it.
     */
    virtual bool openApplication(const QString &path);

    /** How this host clones `source` copy-on-write; tests may substitute another program. */
    virtual ToolCommand cloneCommand(const QString &source, const QString &destination) const;
    /**
     * Where this system lists its processes for an in-process scan of who holds files open ("/proc"
     * on Linux); empty where there is none and the outside probe (openFilesProbeCommand) answers.
     */
    virtual QString processTable() const;
    /** How this host lists the processes with files open under `folder`. */
    virtual ToolCommand openFilesProbeCommand(const QString &folder) const;
};
