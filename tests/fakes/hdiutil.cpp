// Stands in for macOS's hdiutil, attaching and detaching disc images at a chosen mount point.
// "Attaching" copies a prepared folder (the image's content) to the mount point together with a hidden
// volume marker; "detaching" empties the mount point again but leaves the folder itself, as unmounting
// a mount point the caller created does. Output and exit codes are the real tool's.
//
// Usage: hdiutil attach [-readonly] [-nobrowse] -mountpoint DIR IMAGE   (in this order)
//        hdiutil detach DIR
//
// Knobs: FAKE_HDIUTIL_TREE=DIR (the image's content; an empty volume without it),
//        FAKE_HDIUTIL_ATTACH=fail (image not recognized, nothing mounted) | late-fail (mounts, then fails),
//        FAKE_HDIUTIL_FAIL_DETACH=N (the first N detach calls fail with "Resource busy"; counted in the
//        record), FAKE_HDIUTIL_DELAY_MS=N (sleeps before attaching), FAKE_HDIUTIL_RECORD=FILE (one line per
//        call, format in stand_in.h).
#include "stand_in.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

using StandIn::fail;
using StandIn::say;

namespace {

const QString marker = QStringLiteral(".fake-hdiutil-volume");
const QString device = QStringLiteral("disk4");

int usage()
{
    return fail(QStringLiteral("Usage: hdiutil <verb> <options>\n"
                               "<verb> is one of the following: attach detach help"));
}

int detachCallsSoFar()
{
    QFile record(qEnvironmentVariable("FAKE_HDIUTIL_RECORD"));
    if (!record.open(QIODevice::ReadOnly)) {
        return 0;
    }
    int count = 0;
    for (const QByteArray &line : record.readAll().split('\n')) {
        count += line.startsWith("detach") ? 1 : 0;
    }
    return count;
}

int attach(QStringList arguments)
{
    // The flags change nothing here: nothing is written to the image, and nothing is shown anyway.
    arguments.removeAll("-readonly");
    arguments.removeAll("-nobrowse");
    if (arguments.size() != 3 || arguments[0] != "-mountpoint" || arguments[2].startsWith(u'-')) {
        return usage();
    }
    const QString mountPoint = arguments[1];
    const QString image = arguments[2];
    QThread::msleep(static_cast<unsigned long>(StandIn::knob("FAKE_HDIUTIL_DELAY_MS", 0)));
    if (!QFileInfo(image).isFile()) {
        return fail(QStringLiteral("hdiutil: attach failed - No such file or directory"));
    }
    const QString mode = qEnvironmentVariable("FAKE_HDIUTIL_ATTACH");
    if (mode == "fail") {
        return fail(QStringLiteral("hdiutil: attach failed - image not recognized"));
    }
    if (mountPoint.isEmpty() || !QFileInfo(mountPoint).isDir()) {
        return fail(QStringLiteral("hdiutil: attach failed - No such file or directory"));
    }
    if (QFileInfo::exists(mountPoint + u'/' + marker)) {
        return fail(QStringLiteral("hdiutil: attach failed - Resource busy"));
    }
    QFile volume(mountPoint + u'/' + marker);
    if (!volume.open(QIODevice::WriteOnly)) {
        return fail(QStringLiteral("hdiutil: attach failed - Permission denied"));
    }
    volume.write(image.toUtf8());
    volume.close();
    const QString tree = qEnvironmentVariable("FAKE_HDIUTIL_TREE");
    if (!tree.isEmpty() && QProcess::execute("/bin/cp", {"-R", tree + "/.", mountPoint}) != 0) {
        return fail(QStringLiteral("hdiutil: attach failed - Input/output error"));
    }
    if (mode == "late-fail") {
        return fail(QStringLiteral("hdiutil: attach failed - Operation timed out"));
    }
    say(stdout, "/dev/" + device + "          \t                               \t" + mountPoint);
    return 0;
}

int detach(const QStringList &arguments)
{
    if (arguments.size() != 1) {
        return usage();
    }
    const QString mountPoint = arguments.first();
    if (!QFileInfo::exists(mountPoint + u'/' + marker)) {
        return fail(QStringLiteral("hdiutil: detach failed - No such file or directory"));
    }
    if (detachCallsSoFar() <= StandIn::knob("FAKE_HDIUTIL_FAIL_DETACH", 0)) {
        return fail("hdiutil: couldn't unmount \"" + device + "\" - Resource busy", 16);
    }
    // Unmounting leaves the mount point the caller made, empty.
    QDir(mountPoint).removeRecursively();
    QDir().mkdir(mountPoint);
    say(stdout, "\"" + device + "\" ejected.");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments = StandIn::arguments(argc, argv);
    StandIn::record("FAKE_HDIUTIL_RECORD", arguments);
    if (arguments.isEmpty()) {
        return usage();
    }
    const QString verb = arguments.takeFirst();
    if (verb == "attach") {
        return attach(arguments);
    }
    if (verb == "detach") {
        return detach(arguments);
    }
    return usage();
}
