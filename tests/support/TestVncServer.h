#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QLocalServer>
#include <QPoint>
#include <QRect>
#include <QString>

struct _rfbScreenInfo;

/**
 * A VNC server on a unix socket, built on libvncserver and meeting a viewer as QEMU's does: no
 * authentication, updates only against an outstanding request, and when the screen changes size a
 * DesktopSize rectangle to a viewer that offered it. It runs on this thread's event loop and records the
 * viewers' connections, keys and pointer events.
 */
class TestVncServer : public QLocalServer
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

    QString path() const { return fullServerName(); }
    /** Accepts connections but never answers them, as a server that hangs would. */
    bool silent = false;
    /** A size to announce to later viewers instead of the screen's own, for refusing absurd sizes; such a
     *  viewer is sent the handshake and nothing more. */
    QSize announcedSize;

    /** Paints `rect` of the screen and sends it when a viewer next asks. */
    void fill(const QRect &rect, const QColor &color);
    /** Changes the screen's size; a viewer is told and then sent the whole screen. */
    void resize(QSize size);
    /** Closes every viewer's connection. */
    void dropViewers();

    int viewers() const;
    /** Viewers accepted since the server started listening. */
    int connections() const { return m_connections; }
    const QList<Key> &keys() const { return m_keys; }
    const QList<Pointer> &pointers() const { return m_pointers; }

protected:
    void incomingConnection(quintptr socket) override;

private:
    void process();

    _rfbScreenInfo *m_screen;
    QImage m_frame;
    int m_connections = 0;
    QList<Key> m_keys;
    QList<Pointer> m_pointers;
};
