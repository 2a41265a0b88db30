#include "cli/OwnerNote.h"

#include "cli/Terminal.h"
#include "platform/Host.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString OwnerNote::path(const QString &guest)
{
    return Host::dataRoot() + QStringLiteral("/corvanectl/") + guest + QStringLiteral(".owner");
}

OwnerNote::OwnerNote(int descriptor, QString path)
    : m_descriptor(descriptor)
    , m_path(std::move(path))
{}

OwnerNote::OwnerNote(OwnerNote &&other) noexcept
    : m_descriptor(other.m_descriptor)
    , m_path(std::move(other.m_path))
{
    other.m_descriptor = -1;
}

OwnerNote::~OwnerNote()
{
    if (m_descriptor >= 0) {
        // Removed while still locked, so no reader can take a half-gone note for a live one.
        QFile::remove(m_path);
        ::close(m_descriptor);
    }
}

std::optional<OwnerNote> OwnerNote::claim(const QString &guest)
{
    const QString file = path(guest);
    QDir().mkpath(QFileInfo(file).path());
    const int descriptor = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        throw CommandFailure{QStringLiteral("无法写入 ") + file + QStringLiteral("：") +
                             QString::fromLocal8Bit(std::strerror(errno))};
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return std::nullopt;
    }
    OwnerNote note(descriptor, file);
    note.write(0);
    return note;
}

void OwnerNote::setPort(int port)
{
    write(port);
}

void OwnerNote::write(int port)
{
    const QByteArray text = QByteArray::number(qint64(::getpid())) + '\n' + QByteArray::number(port) + '\n';
    if (::ftruncate(m_descriptor, 0) == 0) {
        // A short write only loses the port, which readers treat as unknown.
        [[maybe_unused]] const ssize_t written =
            ::pwrite(m_descriptor, text.constData(), size_t(text.size()), 0);
    }
}

std::optional<OwnerNote::Owner> OwnerNote::read(const QString &guest)
{
    const int descriptor = ::open(QFile::encodeName(path(guest)).constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    std::optional<Owner> owner;
    if (::flock(descriptor, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        char buffer[64] = {};
        const ssize_t length = ::pread(descriptor, buffer, sizeof buffer - 1, 0);
        const QList<QByteArray> lines = QByteArray(buffer, int(std::max<ssize_t>(length, 0))).split('\n');
        Owner found;
        found.pid = lines.value(0).toLongLong();
        found.port = lines.value(1).toInt();
        if (found.pid > 0) {
            owner = found;
        }
    }
    ::close(descriptor);
    return owner;
}
