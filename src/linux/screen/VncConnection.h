#pragma once

#include <QImage>
#include <QObject>
#include <QRegion>
#include <QString>

#include <memory>

class QThread;

namespace detail {
struct VncShared;
class VncSession;
} // namespace detail

/**
 * A viewer's connection to a VNC server on a unix socket: the Linux machine's screen as QEMU serves
 * it. The protocol runs on a thread of its own that sleeps until the server sends something or the
 * user types; each finished framebuffer update is copied into frame() here, on the GUI thread.
 */
class VncConnection : public QObject
{
    Q_OBJECT

public:
    explicit VncConnection(QObject *parent = nullptr);
    /** Closes the connection without waiting for its thread. */
    ~VncConnection() override;

    /** Connects to the server listening at `socketPath`, ending any earlier connection first. */
    void open(const QString &socketPath);
    /**
     * Ends the connection. Its thread, socket and client are released by the thread itself a moment
     * later; nothing here waits for them, and no signal of this connection follows.
     */
    void close();

    /** Between open() and close() or a disconnection. */
    bool isOpen() const { return m_shared != nullptr; }
    /** The server accepted the viewer and described its screen. */
    bool isConnected() const { return m_connected; }
    const QString &socketPath() const { return m_socketPath; }
    /** The screen as far as it has arrived; null before the first update. */
    const QImage &frame() const { return m_frame; }
    /** Framebuffer updates taken into frame() since the connection was opened. */
    quint64 updates() const { return m_updates; }

    /** A key going down or up, by its X11 keysym; dropped unless connected. */
    void sendKey(quint32 keysym, bool down);
    /** The pointer at a framebuffer position with these buttons (RFB mask) held; dropped unless connected. */
    void sendPointer(const QPoint &position, int buttonMask);

    /** Protocol threads of any connection that have not yet ended. */
    static int liveSessions();

Q_SIGNALS:
    void connected(const QSize &size);
    /** `region` of frame() changed; after a change of size, all of it. */
    void frameChanged(const QRegion &region);
    /** The server refused the viewer or went away. Never follows close(). */
    void disconnected(const QString &reason);

private:
    void takeFrame(const detail::VncShared *session);
    void onConnected(const detail::VncShared *session, const QSize &size);
    void onEnded(const detail::VncShared *session, const QString &reason);
    void release();

    std::shared_ptr<detail::VncShared> m_shared;
    QString m_socketPath;
    QImage m_frame;
    quint64 m_updates = 0;
    bool m_connected = false;

    friend class detail::VncSession;
};
