#pragma once

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariantMap>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

/**
 * Reads a property list through libplist's plistutil, an implementation independent of ours: the file is
 * converted to the binary format and back, so only what libplist understood comes through.
 */
namespace PlistReader {

namespace detail {

inline QVariant readValue(QXmlStreamReader &xml);

inline QVariantMap readDictionary(QXmlStreamReader &xml)
{
    QVariantMap map;
    QString key;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("key")) {
            key = xml.readElementText();
        } else {
            map.insert(key, readValue(xml));
        }
    }
    return map;
}

inline QVariant readValue(QXmlStreamReader &xml)
{
    const QString name = xml.name().toString();
    if (name == QLatin1String("dict")) {
        return readDictionary(xml);
    }
    if (name == QLatin1String("array")) {
        QVariantList list;
        while (xml.readNextStartElement()) {
            list.append(readValue(xml));
        }
        return list;
    }
    if (name == QLatin1String("true") || name == QLatin1String("false")) {
        xml.skipCurrentElement();
        return name == QLatin1String("true");
    }
    const QString text = xml.readElementText();
    if (name == QLatin1String("integer")) {
        return text.toLongLong();
    }
    return text;
}

inline QByteArray plistutil(const QStringList &arguments, QString *complaints)
{
    QProcess process;
    process.start(QStringLiteral("/usr/bin/plistutil"), arguments);
    process.waitForFinished(30000);
    *complaints += QString::fromUtf8(process.readAllStandardError());
    return process.readAllStandardOutput();
}

} // namespace detail

/** The property list in `file`, or an empty map with a test failure when libplist rejects it. */
inline QVariantMap read(const QString &file)
{
    QTemporaryDir dir;
    const QString binary = dir.filePath(QStringLiteral("converted.bplist"));
    QString complaints;
    // plistutil 2.2 exits with 0 even when it rejects its input; what it writes tells instead.
    detail::plistutil({QStringLiteral("-i"), file, QStringLiteral("-f"), QStringLiteral("bin"),
                       QStringLiteral("-o"), binary},
                      &complaints);
    QFile converted(binary);
    if (!converted.open(QIODevice::ReadOnly) || !converted.readAll().startsWith("bplist00") ||
        !complaints.isEmpty()) {
        ADD_FAILURE() << "libplist rejected " << file.toStdString() << ": " << complaints.toStdString();
        return {};
    }
    const QByteArray xmlText =
        detail::plistutil({QStringLiteral("-i"), binary, QStringLiteral("-f"), QStringLiteral("xml"),
                           QStringLiteral("-o"), QStringLiteral("-")},
                          &complaints);
    QXmlStreamReader xml(xmlText);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("plist") || !xml.readNextStartElement() ||
        xml.name() != QLatin1String("dict")) {
        ADD_FAILURE() << "no dictionary in " << xmlText.toStdString();
        return {};
    }
    return detail::readDictionary(xml);
}

} // namespace PlistReader
