#pragma once

#include "android/VMPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

/** Lays out an installed Android SDK whose emulator and adb are the stand-ins from tests/fakes. */
namespace FakeAndroidSdk {

// Its own writer: the screenshot tool lays out this SDK too, without the tests' support library.
inline bool touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

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
           touch(paths.systemImageFile()) && touch(paths.kernelFile()) && touch(paths.installedMarker());
}

} // namespace FakeAndroidSdk
