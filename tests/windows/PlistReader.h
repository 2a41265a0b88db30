#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QVariantMap>

#include <gtest/gtest.h>

/**
 * Reads a property list through Python's plistlib, an implementation independent of ours: each value
 * comes back with the type plistlib read it as (an <integer> as a number, a <string> as text).
 */
namespace PlistReader {

/** The property list in `file`, or an empty map with a test failure when plistlib rejects it. */
inline QVariantMap read(const QString &file)
{
    QProcess python;
    python.start(
        QStringLiteral("/usr/bin/python3"),
        {QStringLiteral("-c"),
         QStringLiteral(
             "import json, plistlib, sys; print(json.dumps(plistlib.load(open(sys.argv[1], 'rb'))))"),
         file});
    const bool finished = python.waitForFinished(30000);
    const QJsonDocument json = QJsonDocument::fromJson(python.readAllStandardOutput());
    if (!finished || python.exitCode() != 0 || !json.isObject()) {
        ADD_FAILURE() << "plistlib rejected " << file.toStdString() << ": "
                      << python.readAllStandardError().toStdString();
        return {};
    }
    return json.object().toVariantMap();
}

} // namespace PlistReader
