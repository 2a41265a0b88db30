#include "android/detail/LogTail.h"

#include <QFile>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace LogTail {

std::optional<QByteArray> read(const QString &path, qint64 count)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct Closer
    {
        int descriptor;
        ~Closer() { ::close(descriptor); }
    } closer{descriptor};
    struct stat st
    {
    };
    if (::fstat(descriptor, &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    const qint64 start = qMax<qint64>(0, qint64(st.st_size) - count);
    // The emulator may still be appending: what arrived after the size was taken is left for next time.
    QByteArray tail(qsizetype(qMin<qint64>(count, qint64(st.st_size))), Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < tail.size()) {
        const ssize_t got =
            ::pread(descriptor, tail.data() + filled, size_t(tail.size() - filled), start + filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        filled += got;
    }
    tail.truncate(filled);
    return tail;
}

QString lastCharacters(const QString &text, qsizetype count)
{
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.toEnd();
    qsizetype start = text.size();
    for (qsizetype taken = 0; taken < count && start > 0; ++taken) {
        start = characters.toPreviousBoundary();
    }
    return text.mid(qMax<qsizetype>(start, 0));
}

} // namespace LogTail
