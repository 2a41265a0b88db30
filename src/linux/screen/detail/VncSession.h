#pragma once

#include <QImage>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QRegion>
#include <QString>

#include <memory>
#include <vector>

class QSocketNotifier;
class VncConnection;
struct _rfbClient; // NOLINT(bugprone-reserved-identifier): libvncclient's own name for rfbClient

namespace detail {

/** What one session's thread and its connection share; every field is guarded by `mutex`. */
struct VncShared
{
    QMutex mutex;
    /** The connection listening for this session; cleared when it closes or goes away. */
    VncConnection *receiver = nullptr;
    /** The session while it may still take input; cleared when it ends. */
    class VncSession *session = nullptr;
    /** The socket while the session holds it open, else -1. */
    int socket = -1;
    bool closing = false;
    /** The latest screen and the part of it the connection has not copied yet. */
    QImage image;
    QRegion dirty;
    /** A copy has been asked of the connection and not yet made. */
    bool notified = false;
};

/**
 * One RFB session on its own thread: connects, shakes hands, then handles each server message as the
 * socket becomes readable, and sends input handed over by the connection. It ends itself when the
 * server goes or the connection closes, and the thread with it.
 */
class VncSession : public QObject
{
    Q_OBJECT

public:
    VncSession(std::shared_ptr<VncShared> shared, QString socketPath);
    ~VncSession() override;

    /** Connects and shakes hands; runs on the session's thread. */
    void begin();
    /** Releases the client, the notifier and the socket and stops the thread; safe to repeat. */
    void end();

    void sendKey(quint32 keysym, bool down);
    void sendPointer(int x, int y, int buttonMask);

    static int live();

    // libvncclient's callbacks, on the session's thread.
    /** A framebuffer of the server's new size; false for a size no screen has. */
    bool allocateFrame(int width, int height);
    void addUpdate(const QRect &rect);
    /** Copies what changed into the shared image and asks the connection to take it. */
    void publish();

private:
    void handshake();
    void onReadable();
    void fail(const QString &reason);

    std::shared_ptr<VncShared> m_shared;
    const QString m_socketPath;
    int m_socket = -1;
    _rfbClient *m_client = nullptr;
    bool m_connected = false;
    bool m_ended = false;
    QSocketNotifier *m_notifier = nullptr;
    /** The framebuffer libvncclient decodes into, one 0x00RRGGBB word per pixel. */
    std::vector<quint32> m_pixels;
    QSize m_size;
    /** Rectangles of the framebuffer changed since the last publish. */
    QList<QRect> m_updated;
    /** The screen changed size and nothing of the new picture has arrived yet. */
    bool m_awaitingPicture = false;
};

} // namespace detail
