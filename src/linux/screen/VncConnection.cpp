#include "linux/screen/VncConnection.h"

#include "linux/screen/detail/VncSession.h"

#include <QThread>

#include <cstring>
#include <sys/socket.h>

VncConnection::VncConnection(QObject *parent)
    : QObject(parent)
{}

VncConnection::~VncConnection()
{
    release();
}

int VncConnection::liveSessions()
{
    return detail::VncSession::live();
}

void VncConnection::open(const QString &socketPath)
{
    release();
    m_socketPath = socketPath;
    m_frame = QImage();
    m_updates = 0;
    m_connected = false;
    m_shared = std::make_shared<detail::VncShared>();
    m_shared->receiver = this;

    auto *thread = new QThread;
    thread->setObjectName(QStringLiteral("Linux screen"));
    auto *session = new detail::VncSession(m_shared, socketPath);
    m_shared->session = session;
    session->moveToThread(thread);
    // The thread ends when its session does; both are then deleted without anyone waiting for them.
    connect(thread, &QThread::finished, session, &QObject::deleteLater);
    connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    QMetaObject::invokeMethod(session, &detail::VncSession::begin, Qt::QueuedConnection);
    thread->start();
}

void VncConnection::close()
{
    release();
    m_frame = QImage();
    m_updates = 0;
}

void VncConnection::release()
{
    if (!m_shared) {
        return;
    }
    m_connected = false;
    const std::shared_ptr<detail::VncShared> shared = std::exchange(m_shared, nullptr);
    const QMutexLocker lock(&shared->mutex);
    shared->receiver = nullptr;
    shared->closing = true;
    // Wakes a session blocked in a read or a write; it notices and ends.
    if (shared->socket >= 0) {
        ::shutdown(shared->socket, SHUT_RDWR);
    }
    if (detail::VncSession *session = shared->session) {
        QMetaObject::invokeMethod(session, &detail::VncSession::end, Qt::QueuedConnection);
    }
}

void VncConnection::sendKey(quint32 keysym, bool down)
{
    if (!m_shared || !m_connected || keysym == 0) {
        return;
    }
    const QMutexLocker lock(&m_shared->mutex);
    if (detail::VncSession *session = m_shared->session) {
        QMetaObject::invokeMethod(
            session, [session, keysym, down] { session->sendKey(keysym, down); }, Qt::QueuedConnection);
    }
}

void VncConnection::sendPointer(const QPoint &position, int buttonMask)
{
    if (!m_shared || !m_connected) {
        return;
    }
    const QMutexLocker lock(&m_shared->mutex);
    if (detail::VncSession *session = m_shared->session) {
        const int x = position.x();
        const int y = position.y();
        QMetaObject::invokeMethod(
            session, [session, x, y, buttonMask] { session->sendPointer(x, y, buttonMask); },
            Qt::QueuedConnection);
    }
}

void VncConnection::onConnected(const detail::VncShared *session, const QSize &size)
{
    if (session != m_shared.get()) {
        return;
    }
    m_connected = true;
    Q_EMIT connected(size);
}

void VncConnection::takeFrame(const detail::VncShared *session)
{
    if (session != m_shared.get()) {
        return;
    }
    QRegion changed;
    {
        const QMutexLocker lock(&m_shared->mutex);
        const QImage &source = m_shared->image;
        changed = m_shared->dirty;
        if (m_frame.size() != source.size()) {
            m_frame = QImage(source.size(), QImage::Format_RGB32);
            changed = QRect(QPoint(0, 0), source.size());
        }
        // Only what changed is copied; the rest of the screen is already here.
        for (const QRect &rect : changed) {
            const size_t bytes = size_t(rect.width()) * sizeof(quint32);
            for (int y = rect.top(); y <= rect.bottom(); ++y) {
                std::memcpy(m_frame.scanLine(y) + rect.left() * qsizetype(sizeof(quint32)),
                            source.constScanLine(y) + rect.left() * qsizetype(sizeof(quint32)), bytes);
            }
        }
        m_shared->dirty = QRegion();
        m_shared->notified = false;
    }
    ++m_updates;
    Q_EMIT frameChanged(changed);
}

void VncConnection::onEnded(const detail::VncShared *session, const QString &reason)
{
    if (session != m_shared.get()) {
        return;
    }
    release();
    Q_EMIT disconnected(reason);
}
