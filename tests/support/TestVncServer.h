#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QLocalServer>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QString>

class QLocalSocket;

/**
 * An RFB 3.8 server on a unix socket, as QEMU's VNC server behaves towards one viewer: no
 * authentication, raw rectangles in the pixel format the viewer asked for, sent only against an
 * outstanding update request, and when the screen changes size a DesktopSize rectangle if the viewer
 * offered that encoding. It records the viewer's connections, keys and pointer events.
 */
class TestVncServer : public QObject
{
    Q_OBJECT

public:
    struct Key
    {
        quint32 keysym;
        bool down;
        friend bool operator==(const Key &, const Key &) = default;
    };
    struct Pointer
    {
        QPoint position;
        int buttons;
        friend bool operator==(const Pointer &, const Pointer &) = default;
    };

    /** Listens at `path` with a screen of `size`, filled black. */
    TestVncServer(const QString &path, QSize size);
    ~TestVncServer() override;

    QString path() const { return m_path; }
    /** Accepts connections but never answers them, as a server that hangs would. */
    bool silent = false;
    /** The size announced at the handshake instead of the screen's own; for refusing absurd sizes. */
    QSize announcedSize;

    /** Paints `rect` of the screen and sends it when the viewer next asks. */
    void fill(const QRect &rect, const QColor &color);
    /** Changes the screen's size; the viewer is told and then sent the whole screen. */
    void resize(QSize size);
    /** Closes every viewer's connection. */
    void dropViewers();

    int viewers() const;
    /** Viewers accepted since the server started listening. */
    int connections() const { return m_connections; }
    const QList<Key> &keys() const { return m_keys; }
    const QList<Pointer> &pointers() const { return m_pointers; }

private:
    void onConnection();
    void onReadable();
    bool handleMessage();
    void flush();
    QByteArray pixels(const QRect &rect) const;

    QString m_path;
    QLocalServer m_server;
    QPointer<QLocalSocket> m_viewer;
    QByteArray m_input;
    enum class Stage { Version, Security, Init, Messages } m_stage = Stage::Version;
    bool m_ready = false;
    bool m_pendingRequest = false;
    QList<qint32> m_encodings;
    int m_connections = 0;
    bool m_resized = false;
    QImage m_screen;
    QRegion m_dirty;
    QList<Key> m_keys;
    QList<Pointer> m_pointers;
    // The viewer's pixel format: 32 bits per pixel with these shifts, in this byte order.
    int m_redShift = 16;
    int m_greenShift = 8;
    int m_blueShift = 0;
    bool m_bigEndian = false;
};
