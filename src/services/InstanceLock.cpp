#include "services/InstanceLock.h"

#include "platform/Error.h"

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

Held &Held::operator=(Held &&other) noexcept
{
    if (this != &other) {
        release(m_descriptor);
        m_descriptor = other.m_descriptor;
        other.m_descriptor = -1;
    }
    return *this;
}

Held take(const QString &path, const QString &cannotOpen, const QString &heldElsewhere)
{
    const Attempt attempt = acquire(path);
    switch (attempt.outcome) {
    case Outcome::Locked:
        return Held(attempt.descriptor);
    case Outcome::CannotOpen:
        throw VMFailure(cannotOpen);
    case Outcome::HeldElsewhere:
        break;
    }
    throw VMFailure(heldElsewhere);
}

std::optional<Held> tryTake(const QString &path)
{
    const Attempt attempt = acquire(path);
    if (attempt.outcome != Outcome::Locked) {
        return std::nullopt;
    }
    return Held(attempt.descriptor);
}

} // namespace InstanceLock
