#pragma once

#include "platform/Error.h"
#include "services/FileIO.h"

#include <QByteArray>
#include <QString>

#include <exception>
#include <optional>
#include <type_traits>

/** File and identifier helpers shared by IOSDevices and IOSSnapshots. */
namespace IOSRegistry {

/** The whole file; throws VMFailure when it is not a regular file or too large to be a registry. */
QByteArray read(const QString &path);

/** simctl's identifier form: 8-4-4-4-12 hexadecimal digits, either case, nothing around them. */
bool isUUID(const QString &text);

/**
 * A registry as its model keeps it: read once, rewritten whole. One that cannot be read is set aside
 * before the first write instead of being overwritten, so what it lists can still be recovered.
 */
class File
{
public:
    /** `what` names the file in messages ("iOS 设备记录"); the setting-aside is logged under `category`. */
    File(QString path, QString what, QString category);

    /**
     * The file decoded by `decode`, which throws on content it rejects; nothing when there is no file,
     * or when it cannot be read or decoded: loadError() then says why.
     */
    template<typename Decode> std::optional<std::invoke_result_t<Decode, QByteArray>> load(Decode decode)
    {
        if (!FileIO::exists(m_path)) {
            return std::nullopt;
        }
        try {
            return decode(read(m_path));
        } catch (...) {
            m_unreadable = true;
            m_loadError = m_what + QStringLiteral("无法读取：") + describe(std::current_exception());
            return std::nullopt;
        }
    }
    /** Writes `content` atomically, setting an unreadable file aside first; throws on failure. */
    void save(const QByteArray &content);

    const QString &path() const { return m_path; }
    /** Why the file could not be read when it was loaded; empty when it could. */
    const QString &loadError() const { return m_loadError; }

private:
    const QString m_path;
    const QString m_what;
    const QString m_category;
    QString m_loadError;
    bool m_unreadable = false;
};

} // namespace IOSRegistry
