#include "android/SDKPackage.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "platform/Tools.h"
#include "services/FileIO.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

#include <cmath>

namespace {

QString requireString(const QJsonObject &object, const char *key)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (!value.isString()) {
        throw VMFailure(QStringLiteral("安装清单格式错误：缺少字段 ") + QLatin1String(key));
    }
    return value.toString();
}

// A relative path that stays inside the folder it is joined to: no root, no "..", no empty parts.
void requireContainedPath(const QString &path)
{
    const QStringList parts = path.split(u'/');
    const bool contained =
        !path.isEmpty() && !path.startsWith(u'/') && !path.contains(u'\\') &&
        std::none_of(parts.cbegin(), parts.cend(), [](const QString &part) {
            return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
        });
    if (!contained) {
        throw VMFailure(QStringLiteral("安装清单中的路径无效：") + path);
    }
}

} // namespace

QString SDKPackage::archiveName() const
{
    return QUrl(url).fileName();
}

QList<SDKPackage> SDKPackage::decodeManifest(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        throw VMFailure(QStringLiteral("安装清单格式错误：") + error.errorString());
    }
    if (!document.isArray()) {
        throw VMFailure(QStringLiteral("安装清单格式错误：应为数组"));
    }
    QList<SDKPackage> packages;
    for (const QJsonValue &row : document.array()) {
        if (!row.isObject()) {
            throw VMFailure(QStringLiteral("安装清单格式错误：应为对象"));
        }
        const QJsonObject object = row.toObject();
        SDKPackage package;
        package.id = requireString(object, "id");
        package.name = requireString(object, "name");
        package.url = requireString(object, "url");
        package.sha1 = requireString(object, "sha1");
        package.destination = requireString(object, "destination");
        package.source = requireString(object, "source");
        const double size = object.value(QLatin1String("size")).toDouble(-1);
        if (!object.value(QLatin1String("size")).isDouble() || size < 0 || std::floor(size) != size) {
            throw VMFailure(QStringLiteral("安装清单格式错误：缺少字段 size"));
        }
        package.size = qint64(size);
        requireContainedPath(package.destination);
        requireContainedPath(package.source);
        const QUrl url(package.url);
        const QString archive = package.archiveName();
        if (!url.isValid() || url.isRelative() || archive.isEmpty() || archive == QLatin1String("..")) {
            throw VMFailure(QStringLiteral("安装清单中的路径无效：") + package.url);
        }
        packages.append(package);
    }
    return packages;
}

QByteArray SDKPackage::builtInManifest()
{
    const Tools::AndroidVariant variant = Tools::androidVariant(Host::current().androidHost());
    if (variant.manifestResource.isEmpty()) {
        throw VMFailure(variant.refusal);
    }
    // Compiled into the program: its size was fixed when the program was built.
    QFile file(variant.manifestResource);
    if (!file.open(QIODevice::ReadOnly)) {
        throw SystemError(file.errorString());
    }
    return file.readAll();
}

QByteArray SDKPackage::activeManifest()
{
    const QString mirror = qEnvironmentVariable("CORVANE_ANDROID_MANIFEST");
    if (mirror.isEmpty()) {
        return builtInManifest();
    }
    // A manifest lists three components in a few kilobytes.
    std::optional<QByteArray> bytes = FileIO::readSmallFile(mirror, qint64(1024) * 1024);
    if (!bytes) {
        throw VMFailure(mirror + QStringLiteral("：不存在、不是可读取的普通文件，或大于 1 MB"));
    }
    return *std::move(bytes);
}

QString SDKPackage::license()
{
    // Compiled into the program, like the built-in manifest.
    QFile file(QStringLiteral(":/android/SDK-LICENSE.txt"));
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("无法加载许可，请重新安装 App。");
    }
    return QString::fromUtf8(file.readAll());
}
