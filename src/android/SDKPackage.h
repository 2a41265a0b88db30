#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

/** One downloadable Android component as the manifest describes it. */
struct SDKPackage
{
    QString id;
    QString name;
    QString url;
    QString sha1;
    qint64 size = 0;
    /** Where the package's folder goes, relative to the SDK folder. */
    QString destination;
    /** The folder inside the unpacked archive that is installed. */
    QString source;

    /** File name of the archive: the last component of `url`. */
    QString archiveName() const;

    /**
     * Decodes a manifest: a JSON array of objects carrying every key with its type. Throws VMFailure
     * for a malformed manifest or for a path that would leave the SDK or staging folder.
     */
    static QList<SDKPackage> decodeManifest(const QByteArray &json);

    /** The manifest built into the application for this host; throws VMFailure where none can run. */
    static QByteArray builtInManifest();
    /**
     * The manifest an installation uses: the file named by CORVANE_ANDROID_MANIFEST when set (a mirror
     * of the components, such as a local server), else the built-in one. Throws VMFailure naming the file
     * when it is missing, not a regular file, or too large to be a manifest.
     */
    static QByteArray activeManifest();
    /** The Android SDK licence text built into the application. */
    static QString license();
};
