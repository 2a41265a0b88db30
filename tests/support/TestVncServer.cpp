#include "TestVncServer.h"

#include <QDataStream>
#include <QLocalSocket>
#include <QPainter>
#include <QSocketNotifier>

#include <rfb/rfb.h>
extern "C" {
#include <rfb/rfbregion.h> // which declares no linkage of its own
}

#include <csignal>

namespace {

// libvncserver reports every connection on stderr.
void quiet(const char *, ...) {}

TestVncServer *serverOf(rfbClientPtr client)
{
    return static_cast<TestVncServer *>(client->screen->screenData);
}

// libvncserver writes with write(), and a viewer's thread may end its connection at any moment: the
// SIGPIPE that would end the tests is held back on this thread and then taken. Blocked here only, it
// leaves the viewer's threads to guard themselves as they must in the program.
template<typename Action> void withoutSigpipe(Action action)
{
    sigset_t pipe;
    sigset_t before;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, &before);
    action();
    const timespec now{};
    while (sigtimedwait(&pipe, nullptr, &now) == SIGPIPE) {
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

} // namespace

TestVncServer::TestVncServer(const QString &path, QSize size)
    : m_screen(rfbGetScreen(nullptr, nullptr, size.width(), size.height(), 8, 3, 4))
    , m_frame(size, QImage::Format_RGBX8888) // the bytes libvncserver's own pixel format names
{
    rfbLog = rfbErr = quiet;
    m_frame.fill(Qt::black);
    m_screen->frameBuffer = reinterpret_cast<char *>(m_frame.bits());
    m_screen->screenData = this;
    m_screen->cursor = nullptr;    // QEMU draws no cursor into the picture either
    m_screen->deferUpdateTime = 0; // nothing would come back for an update held back
    // libvncserver answers a request with a DesktopSize rectangle alone yet keeps the request; the viewer
    // asks again for the new size, and only that request is answered.
    m_screen->displayFinishedHook = [](rfbClientPtr client, int) {
        sraRgnMakeEmpty(client->requestedRegion);
    };
    m_screen->newClientHook = [](rfbClientPtr client) {
        TestVncServer *server = serverOf(client);
        ++server->m_connections;
        auto *notifier = new QSocketNotifier(client->sock, QSocketNotifier::Read, server);
        connect(notifier, &QSocketNotifier::activated, server, &TestVncServer::process);
        client->clientData = notifier;
        client->clientGoneHook = [](rfbClientPtr gone) {
            auto *watch = static_cast<QSocketNotifier *>(gone->clientData);
            watch->setEnabled(false);
            watch->deleteLater();
        };
        return RFB_CLIENT_ACCEPT;
    };
    m_screen->kbdAddEvent = [](rfbBool down, rfbKeySym keysym, rfbClientPtr client) {
        serverOf(client)->m_keys.append({quint32(keysym), down != 0});
    };
    m_screen->ptrAddEvent = [](int buttons, int x, int y, rfbClientPtr client) {
        serverOf(client)->m_pointers.append({QPoint(x, y), buttons});
    };
    QLocalServer::removeServer(path);
    listen(path);
}

TestVncServer::~TestVncServer()
{
    dropViewers();
    rfbScreenCleanup(m_screen);
}

void TestVncServer::incomingConnection(quintptr socket)
{
    if (!silent && !announcedSize.isValid()) {
        withoutSigpipe([&] { rfbNewClient(m_screen, int(socket)); });
        return;
    }
    ++m_connections;
    auto *viewer = new QLocalSocket(this);
    viewer->setSocketDescriptor(socket);
    if (!silent) {
        // libvncclient reads the handshake in order, so all of it can go at once: the version, the one
        // security type None and its success, then the screen: 32 bpp true colour, named "test".
        QByteArray handshake("RFB 003.008\n\x01\x01\0\0\0\0", 18);
        QDataStream(&handshake, QIODevice::Append)
            << quint16(announcedSize.width()) << quint16(announcedSize.height());
        viewer->write(handshake +
                      QByteArray("\x20\x18\0\x01\0\xff\0\xff\0\xff\x10\x08\0\0\0\0\0\0\0\x04test", 24));
    }
}

int TestVncServer::viewers() const
{
    int count = 0;
    for (const QLocalSocket *viewer : findChildren<QLocalSocket *>()) {
        count += viewer->state() == QLocalSocket::ConnectedState ? 1 : 0;
    }
    rfbClientIteratorPtr clients = rfbGetClientIterator(m_screen);
    while (rfbClientIteratorNext(clients)) {
        ++count;
    }
    rfbReleaseClientIterator(clients);
    return count;
}

void TestVncServer::fill(const QRect &rect, const QColor &color)
{
    QPainter(&m_frame).fillRect(rect, color);
    const QRect clipped = rect & m_frame.rect();
    rfbMarkRectAsModified(m_screen, clipped.left(), clipped.top(), clipped.right() + 1, clipped.bottom() + 1);
    process();
}

void TestVncServer::resize(QSize size)
{
    m_frame = QImage(size, QImage::Format_RGBX8888);
    m_frame.fill(Qt::black);
    rfbNewFramebuffer(m_screen, reinterpret_cast<char *>(m_frame.bits()), size.width(), size.height(), 8, 3,
                      4);
    process();
}

void TestVncServer::dropViewers()
{
    for (QLocalSocket *viewer : findChildren<QLocalSocket *>()) {
        viewer->abort();
        viewer->deleteLater();
    }
    rfbClientIteratorPtr clients = rfbGetClientIterator(m_screen);
    while (rfbClientPtr client = rfbClientIteratorNext(clients)) {
        rfbCloseClient(client);
    }
    rfbReleaseClientIterator(clients);
    process(); // lets libvncserver forget the viewers it has closed
}

void TestVncServer::process()
{
    withoutSigpipe([this] { rfbProcessEvents(m_screen, 0); });
}
