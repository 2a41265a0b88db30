#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <zlib.h>

/**
 * Writes a zip archive of stored (uncompressed) entries with Unix permissions and symbolic links, as the
 * SDK archives carry them. Tests build their component archives with it, including hostile ones.
 */
class ZipWriter
{
public:
    void addFile(const QString &name, const QByteArray &data, int mode = 0644);
    void addFolder(const QString &name);
    /** A symbolic link, stored as unzip and ditto expect one: the target is the entry's data. */
    void addSymlink(const QString &name, const QString &target);
    QByteArray archive() const;

private:
    struct Entry
    {
        QByteArray name;
        QByteArray data;
        quint32 mode;
    };
    QList<Entry> m_entries;
};

inline void ZipWriter::addFile(const QString &name, const QByteArray &data, int mode)
{
    m_entries.append({name.toUtf8(), data, quint32(0100000 | mode)});
}

inline void ZipWriter::addFolder(const QString &name)
{
    m_entries.append({(name.endsWith(u'/') ? name : name + u'/').toUtf8(), {}, quint32(040755)});
}

inline void ZipWriter::addSymlink(const QString &name, const QString &target)
{
    m_entries.append({name.toUtf8(), target.toUtf8(), quint32(0120777)});
}

namespace ZipDetail {

inline void put16(QByteArray &out, quint32 value)
{
    out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

inline void put32(QByteArray &out, quint32 value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

} // namespace ZipDetail

inline QByteArray ZipWriter::archive() const
{
    using namespace ZipDetail;
    constexpr quint32 dosDate = (46u << 9) | (3u << 5) | 1u; // 2026-03-01, at midnight
    QByteArray out;
    QByteArray directory;
    for (const Entry &entry : m_entries) {
        const quint32 offset = quint32(out.size());
        // From "version needed" to the name's length the local header and the directory entry agree.
        QByteArray shared;
        put16(shared, 20);
        shared += QByteArray(6, '\0'); // no flags, stored, at midnight
        put16(shared, dosDate);
        put32(shared, quint32(::crc32(0, reinterpret_cast<const Bytef *>(entry.data.constData()),
                                      uInt(entry.data.size()))));
        put32(shared, quint32(entry.data.size()));
        put32(shared, quint32(entry.data.size()));
        put16(shared, quint32(entry.name.size()));

        put32(out, 0x04034b50);
        out += shared;
        put16(out, 0);
        out += entry.name + entry.data;

        put32(directory, 0x02014b50);
        put16(directory, (3u << 8) | 20u); // made on Unix, so the mode below is honoured
        directory += shared;
        directory += QByteArray(8, '\0'); // no extra field, comment, disk number or internal attributes
        put32(directory, entry.mode << 16);
        put32(directory, offset);
        directory += entry.name;
    }
    const quint32 directoryOffset = quint32(out.size());
    out += directory;
    put32(out, 0x06054b50);
    put32(out, 0);
    put16(out, quint32(m_entries.size()));
    put16(out, quint32(m_entries.size()));
    put32(out, quint32(directory.size()));
    put32(out, directoryOffset);
    put16(out, 0);
    return out;
}
