#include "android/detail/InstanceLock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace InstanceLock {

Attempt acquire(const QString &path)
{
    const int descriptor = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return {Outcome::CannotOpen};
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        ::close(descriptor);
        return {Outcome::HeldElsewhere};
    }
    return {Outcome::Locked, descriptor};
}

void release(int &descriptor)
{
    if (descriptor < 0) {
        return;
    }
    ::flock(descriptor, LOCK_UN);
    ::close(descriptor);
    descriptor = -1;
}

} // namespace InstanceLock
