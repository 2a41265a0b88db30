#include "ios/detail/IOSRegistry.h"

#include "platform/Error.h"
#include "services/FileIO.h"
#include "services/UnreadableFile.h"

#include <QFileInfo>

#include <QRegularExpression>

namespace IOSRegistry {

namespace {

// A registry lists the user's devices or snapshots, a few hundred bytes each; thousands of them still
// fit with room to spare.
constexpr qint64 registryLimit = qint64(8) * 1024 * 1024;

} // namespace

QByteArray read(const QString &path)
{
    std::optional<QByteArray> data = FileIO::readSmallFile(path, registryLimit);
    if (!data) {
        throw VMFailure(QStringLiteral("不是可读取的普通文件，或大于 8 MB"));
    }
    return *std::move(data);
}

File::File(QString path, QString what, QString category)
    : m_path(std::move(path))
    , m_what(std::move(what))
    , m_category(std::move(category))
{}

void File::save(const QByteArray &content)
{
    FileIO::createFolder(QFileInfo(m_path).absolutePath());
    if (m_unreadable) {
        UnreadableFile::setAside(m_path, m_category, m_what + QStringLiteral("无法读取，原文件已另存为 "));
        m_unreadable = false;
    }
    FileIO::writeAtomically(m_path, content);
}

bool isUUID(const QString &text)
{
    // Anchored at the very end: "$" alone would also accept a trailing line break.
    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}")));
    return form.match(text).hasMatch();
}

} // namespace IOSRegistry
