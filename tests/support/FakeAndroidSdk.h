#pragma once

#include "TestFiles.h"
#include "android/VMPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

/** Lays out an installed Android SDK whose emulator and adb are the stand-ins from tests/fakes. */
namespace FakeAndroidSdk {

/** Installs into `paths.sharedRoot()`; false when something could not be placed. */
inline bool install(const VMPaths &paths)
{
    const QString fakes = QStringLiteral(CORVANE_FAKES_DIR);
    QDir().mkpath(QFileInfo(paths.emulatorExecutable()).path());
    QDir().mkpath(QFileInfo(paths.adbExecutable()).path());
    QFile::remove(paths.emulatorExecutable());
    QFile::remove(paths.adbExecutable());
    return QFile::link(fakes + QStringLiteral("/emulator"), paths.emulatorExecutable()) &&
           QFile::link(fakes + QStringLiteral("/adb"), paths.adbExecutable()) &&
           writeFile(paths.systemImageFile(), {}) && writeFile(paths.kernelFile(), {}) &&
           writeFile(paths.installedMarker(), {});
}

} // namespace FakeAndroidSdk
