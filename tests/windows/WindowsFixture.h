#pragma once

#include "Await.h"
#include "FakeHost.h"
#include "FakeInteraction.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "services/FileIO.h"
#include "windows/WindowsModel.h"
#include "windows/WindowsPreparation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

/**
 * Real disc images built with genisoimage and xorriso from small trees, the hdiutil stand-in, a stand-in
 * UTM.app, a host double and a dialog double; every path lives in a folder of the test's own.
 */
class WindowsFixture : public ::testing::Test
{
protected:
    static constexpr qint64 GiB = FakeHost::GiB;
    static inline const QString gateMessage =
        QStringLiteral("文件不是可读取的完整 ISO；请等待下载结束，不要选择 .download 或 .partial 文件。");
    static inline const QString armMessage =
        QStringLiteral("没有找到 ARM64 启动文件。请使用 Windows 11 ARM64 ISO，不能使用 x64 / AMD64 镜像。");
    static inline const QString installerMessage =
        QStringLiteral("未找到 Windows 安装程序和系统映像。请选择完整的 Windows 安装 ISO，而不是驱动盘。");

    enum class Format { UDF, ISO9660, Xorriso };

    static inline const QStringList arm64Files{QStringLiteral("efi/boot/bootaa64.efi"),
                                               QStringLiteral("setup.exe"),
                                               QStringLiteral("sources/install.wim")};
    static inline const QStringList x64Files{QStringLiteral("efi/boot/bootx64.efi"),
                                             QStringLiteral("setup.exe"),
                                             QStringLiteral("sources/install.wim")};

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(temporary());
    }

    QString path(const QString &name) const { return dir.filePath(name); }
    /** Where the stand-in's mount points go. */
    QString temporary() const { return path(QStringLiteral("tmp")); }

    static QByteArray readFile(const QString &file)
    {
        // Settings reach their file behind the window; what is read here must be on disk.
        FileIO::flushLaterWrites();
        return ::readFile(file);
    }

    /** A folder holding `files` (relative paths, each with a line of its own) and 1.5 MiB of filler, so
     *  its image clears the size gate. */
    QString tree(const QString &name, const QStringList &files) const
    {
        const QString root = path(QStringLiteral("trees/") + name);
        for (const QString &file : files) {
            writeFile(root + u'/' + file, file.toUtf8() + '\n');
        }
        writeFile(root + QStringLiteral("/support/filler.bin"), QByteArray(1536 * 1024, 'f'));
        return root;
    }

    /** A real disc image of `treeRoot` at `iso`. */
    static void image(const QString &treeRoot, const QString &iso, Format format = Format::UDF)
    {
        QDir().mkpath(QFileInfo(iso).path());
        QString program = QStringLiteral("/usr/bin/genisoimage");
        QStringList arguments{QStringLiteral("-quiet"), QStringLiteral("-V"),
                              QStringLiteral("CCCOMA_A64FRE")};
        if (format == Format::UDF) {
            arguments << QStringLiteral("-udf");
        } else if (format == Format::Xorriso) {
            program = QStringLiteral("/usr/bin/xorriso");
            arguments.prepend(QStringLiteral("mkisofs"));
            arguments.prepend(QStringLiteral("-as"));
            arguments << QStringLiteral("-J") << QStringLiteral("-r");
        }
        arguments << QStringLiteral("-o") << iso << treeRoot;
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForFinished(60000)) << program.toStdString();
        ASSERT_EQ(process.exitCode(), 0) << process.readAll().toStdString();
        ASSERT_GT(QFileInfo(iso).size(), 1'048'576);
    }

    /** An ARM64 Windows-like UDF image at `iso` (a file name under the test folder, or a path). */
    QString windowsISO(const QString &iso = QStringLiteral("Win11_24H2_Chinese_Simplified_Arm64.iso"))
    {
        const QString file = QFileInfo(iso).isAbsolute() ? iso : path(iso);
        image(tree(QStringLiteral("arm64"), arm64Files), file);
        return file;
    }

    /** The hdiutil path, through the stand-in, with mount points in temporary(). */
    WindowsPreparation::Inspection attaching() const
    {
        WindowsPreparation::Inspection inspection;
        inspection.method = WindowsPreparation::Inspection::Method::Attach;
        inspection.hdiutil = QStringLiteral(CORVANE_FAKES_DIR "/hdiutil");
        inspection.temporaryFolder = temporary();
        return inspection;
    }

    static WindowsPreparation::Inspection listing()
    {
        WindowsPreparation::Inspection inspection;
        inspection.method = WindowsPreparation::Inspection::Method::List;
        return inspection;
    }

    /** The stand-in's calls, each as its argument list. */
    QList<QStringList> hdiutilCalls() const { return recordedCalls(path(QStringLiteral("hdiutil.calls"))); }

    void forgetCalls() const { QFile::remove(path(QStringLiteral("hdiutil.calls"))); }

    /** Outside programs started since the log was last reset. */
    static QStringList commandsStarted()
    {
        return LogProbe::messages(QStringLiteral("命令")).filter(QStringLiteral("INFO 开始："));
    }

    /** A stand-in UTM.app the host double knows by its bundle identifier; with the firmware file unless told.
     */
    QString utmApp(bool withFirmware = true)
    {
        const QString app = path(QStringLiteral("Applications/UTM.app"));
        if (withFirmware) {
            writeFile(firmware(app), firmwareBytes());
            // Application resources are often read-only; the machine's copy must still be writable.
            QFile::setPermissions(firmware(app), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        }
        host.applications.insert(QStringLiteral("com.utmapp.UTM"), app);
        return app;
    }

    static QString firmware(const QString &app)
    {
        return app + QStringLiteral("/Contents/Resources/qemu/edk2-arm-secure-vars.fd");
    }

    static QByteArray firmwareBytes() { return patternedBytes(65536); }

    /** Sets and saves the machine's cores, memory and disk. */
    static void setHardware(WindowsModel &windows, qint64 cores, qint64 memoryGB, qint64 diskGB)
    {
        const WindowsConfiguration now = windows.configuration();
        windows.setConfiguration({cores, memoryGB, diskGB, now.isoPath, now.projectPath});
        windows.save();
    }

    /**
     * A model over a data root of the test's own, checking ISOs by listing them unless told, as on a Mac
     * unless told otherwise.
     */
    WindowsModel &model(const WindowsPreparation::Inspection &inspection = listing(),
                        bool utmSupported = true)
    {
        WindowsModel::Options options;
        options.inspection = inspection;
        options.utmSupported = utmSupported;
        m_model = std::make_unique<WindowsModel>(dataRoot(), options);
        return *m_model;
    }

    void destroyModel() { m_model.reset(); }

    QString dataRoot() const { return path(QStringLiteral("CorvaneBeta")); }

    /** A bundle as UTM keeps it, made by hand: configuration, a sparse disk and EFI variables. */
    static void bundle(const QString &folder, const QByteArray &marker = "v1")
    {
        writeFile(folder + QStringLiteral("/config.plist"), "<plist>" + marker + "</plist>");
        makeSparseFile(folder + QStringLiteral("/Data/windows.img"), GiB);
        writeFile(folder + QStringLiteral("/Data/efi_vars.fd"), marker);
    }

    QTemporaryDir dir;
    // The tests set the stand-in's other knobs in scopes of their own.
    const ScopedEnv hdiutilRecord{"FAKE_HDIUTIL_RECORD", path(QStringLiteral("hdiutil.calls")).toUtf8()};
    FakeHost host;
    FakeInteraction interaction;

private:
    std::unique_ptr<WindowsModel> m_model;
};
