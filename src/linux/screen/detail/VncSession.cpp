#include "linux/screen/detail/VncSession.h"

#include "linux/screen/VncConnection.h"

#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <rfb/rfbclient.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace detail {

namespace {

// No real screen is larger; a bigger size from the server is refused rather than allocated.
constexpr int largestSide = 16384;
constexpr qsizetype tilesKept = 32;

std::atomic<int> liveSessions{0};
char clientTag;

void quiet(const char *, ...) {}

VncSession *sessionOf(rfbClient *client)
{
    return static_cast<VncSession *>(rfbClientGetClientData(client, &clientTag));
}

rfbBool allocateCallback(rfbClient *client)
{
    return sessionOf(client)->allocateFrame(client->width, client->height) ? TRUE : FALSE;
}

void updateCallback(rfbClient *client, int x, int y, int width, int height)
{
    sessionOf(client)->addUpdate(QRect(x, y, width, height));
}

void finishedCallback(rfbClient *client)
{
    sessionOf(client)->publish();
}

// What this viewer asks of the server. libvncclient's own list also offers the extended desktop size,
// which QEMU then prefers; 0.9.14 drops the screen QEMU numbers 0, keeps its old size and fails on the
// next rectangle ("Rect too large"). The plain DesktopSize it handles, so only that is offered.
bool sendFormatAndEncodings(rfbClient *client)
{
    rfbSetPixelFormatMsg format{};
    format.type = rfbSetPixelFormat;
    format.format = client->format;
    format.format.redMax = rfbClientSwap16IfLE(format.format.redMax);
    format.format.greenMax = rfbClientSwap16IfLE(format.format.greenMax);
    format.format.blueMax = rfbClientSwap16IfLE(format.format.blueMax);
    if (!WriteToRFBServer(client, reinterpret_cast<const char *>(&format), sz_rfbSetPixelFormatMsg)) {
        return false;
    }
    // The server is on this machine: raw pixels cost less to take than to decompress.
    const uint32_t encodings[] = {static_cast<uint32_t>(rfbClientSwap32IfLE(rfbEncodingRaw)),
                                  static_cast<uint32_t>(rfbClientSwap32IfLE(rfbEncodingNewFBSize))};
    rfbSetEncodingsMsg header{};
    header.type = rfbSetEncodings;
    header.nEncodings = rfbClientSwap16IfLE(uint16_t(std::size(encodings)));
    char message[sz_rfbSetEncodingsMsg + sizeof encodings];
    std::memcpy(message, &header, sz_rfbSetEncodingsMsg);
    std::memcpy(message + sz_rfbSetEncodingsMsg, encodings, sizeof encodings);
    return WriteToRFBServer(client, message, sizeof message);
}

QString systemError(const QString &what)
{
    return what + QStringLiteral("：") + QString::fromLocal8Bit(std::strerror(errno));
}

// A socket of our own, so that it is close-on-exec (no QEMU started later inherits it) and so that
// closing the connection can shut it down while the session is blocked in a read.
int connectTo(const QString &path, QString &failure)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    if (encoded.isEmpty() || size_t(encoded.size()) >= sizeof(address.sun_path)) {
        failure = QStringLiteral("画面套接字路径无效");
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
#ifdef SOCK_CLOEXEC
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
#else
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd >= 0) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
#endif
    if (fd < 0) {
        failure = systemError(QStringLiteral("无法创建套接字"));
        return -1;
    }
#ifdef SO_NOSIGPIPE
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
#endif
    int result = 0;
    do {
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    } while (result < 0 && errno == EINTR);
    if (result < 0) {
        failure = systemError(QStringLiteral("无法连接画面"));
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

VncSession::VncSession(std::shared_ptr<VncShared> shared, QString socketPath)
    : m_shared(std::move(shared))
    , m_socketPath(std::move(socketPath))
{
    ++liveSessions;
    // libvncclient reports every step on stderr; its logging functions are process-wide.
    static const bool silenced = [] {
        rfbClientLog = quiet;
        rfbClientErr = quiet;
        return true;
    }();
    Q_UNUSED(silenced);
}

VncSession::~VncSession()
{
    end();
    --liveSessions;
}

int VncSession::live()
{
    return liveSessions;
}

void VncSession::begin()
{
    // libvncclient writes with write(): a server gone away would raise SIGPIPE and end the whole
    // program. Blocked on this thread only, it stays pending here and the write fails with EPIPE.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    QString failure;
    const int fd = connectTo(m_socketPath, failure);
    if (fd < 0) {
        fail(failure);
        return;
    }
    bool closing = false;
    {
        const QMutexLocker lock(&m_shared->mutex);
        closing = m_shared->closing;
        if (!closing) {
            m_shared->socket = fd;
            m_socket = fd;
        }
    }
    if (closing) {
        ::close(fd);
        end();
        return;
    }
    handshake();
}

void VncSession::handshake()
{
    m_client = rfbGetClient(8, 3, 4);
    if (!m_client) {
        fail(QStringLiteral("无法创建画面客户端"));
        return;
    }
    rfbClientSetClientData(m_client, &clientTag, this);
    // 0x00RRGGBB words: a QImage::Format_RGB32 once the unused byte is made opaque.
    m_client->format.redShift = 16;
    m_client->format.greenShift = 8;
    m_client->format.blueShift = 0;
    m_client->appData.useRemoteCursor = FALSE;
    m_client->MallocFrameBuffer = allocateCallback;
    m_client->GotFrameBufferUpdate = updateCallback;
    m_client->FinishedFrameBufferUpdate = finishedCallback;
    m_client->GetPassword = nullptr;
    m_client->sock = m_socket;

    if (!InitialiseRFBConnection(m_client)) {
        fail(QStringLiteral("画面服务没有接受连接"));
        return;
    }
    m_client->width = m_client->si.framebufferWidth;
    m_client->height = m_client->si.framebufferHeight;
    if (!m_client->MallocFrameBuffer(m_client)) {
        fail(QStringLiteral("画面尺寸无效：%1 × %2").arg(m_client->width).arg(m_client->height));
        return;
    }
    m_client->updateRect.x = 0;
    m_client->updateRect.y = 0;
    m_client->updateRect.w = m_client->width;
    m_client->updateRect.h = m_client->height;
    if (!sendFormatAndEncodings(m_client) ||
        !SendFramebufferUpdateRequest(m_client, 0, 0, m_client->width, m_client->height, FALSE)) {
        fail(QStringLiteral("画面服务没有接受连接"));
        return;
    }
    m_connected = true;
    {
        const QMutexLocker lock(&m_shared->mutex);
        if (VncConnection *receiver = m_shared->receiver) {
            const QSize size = m_size;
            QMetaObject::invokeMethod(
                receiver, [receiver, token = m_shared, size] { receiver->onConnected(token.get(), size); },
                Qt::QueuedConnection);
        }
    }
    // From here on the thread sleeps in its event loop until the server writes.
    m_notifier = new QSocketNotifier(qintptr(m_socket), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &VncSession::onReadable);
}

void VncSession::onReadable()
{
    if (!m_client || m_ended) {
        return;
    }
    // What libvncclient has read ahead into its buffer raises no further notification.
    do {
        if (!HandleRFBServerMessage(m_client)) {
            fail(QStringLiteral("画面服务已断开"));
            return;
        }
    } while (m_client && m_client->buffered > 0);
}

bool VncSession::allocateFrame(int width, int height)
{
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide) {
        return false;
    }
    m_size = QSize(width, height);
    m_pixels.assign(size_t(width) * size_t(height), 0);
    m_client->frameBuffer = reinterpret_cast<uint8_t *>(m_pixels.data());
    m_updated = {QRect(QPoint(0, 0), m_size)};
    // A new size mid-session: the old picture stays until the new one starts to arrive, rather than
    // a blank one in between.
    m_awaitingPicture = m_connected;
    return true;
}

void VncSession::addUpdate(const QRect &rect)
{
    const QRect inside = rect & QRect(QPoint(0, 0), m_size);
    if (inside.isEmpty()) {
        return;
    }
    m_awaitingPicture = false;
    // A screen that scrolls arrives as hundreds of tiles covering most of it: past a few dozen, the
    // rectangle around them costs less to merge and copy than a region of hundreds.
    if (m_updated.size() >= tilesKept) {
        QRect all = inside;
        for (const QRect &tile : std::as_const(m_updated)) {
            all |= tile;
        }
        m_updated = {all};
        return;
    }
    m_updated.append(inside);
}

void VncSession::publish()
{
    if (m_updated.isEmpty() || m_awaitingPicture) {
        return;
    }
    QRegion changed;
    for (const QRect &tile : std::as_const(m_updated)) {
        changed += tile;
    }
    m_updated.clear();
    const QMutexLocker lock(&m_shared->mutex);
    if (m_shared->image.size() != m_size) {
        m_shared->image = QImage(m_size, QImage::Format_RGB32);
        changed = QRect(QPoint(0, 0), m_size);
    }
    const int stride = m_size.width();
    for (const QRect &rect : changed) {
        for (int y = rect.top(); y <= rect.bottom(); ++y) {
            const quint32 *from = m_pixels.data() + size_t(y) * size_t(stride) + rect.left();
            auto *to = reinterpret_cast<quint32 *>(m_shared->image.scanLine(y)) + rect.left();
            for (int x = 0; x < rect.width(); ++x) {
                to[x] = from[x] | 0xff000000u;
            }
        }
    }
    m_shared->dirty += changed;
    VncConnection *receiver = m_shared->receiver;
    if (receiver && !m_shared->notified) {
        // One request at a time: updates arriving meanwhile join the dirty region of this one.
        m_shared->notified = true;
        QMetaObject::invokeMethod(
            receiver, [receiver, token = m_shared] { receiver->takeFrame(token.get()); },
            Qt::QueuedConnection);
    }
}

void VncSession::sendKey(quint32 keysym, bool down)
{
    if (m_connected && !m_ended && !SendKeyEvent(m_client, keysym, down ? TRUE : FALSE)) {
        fail(QStringLiteral("画面服务已断开"));
    }
}

void VncSession::sendPointer(int x, int y, int buttonMask)
{
    if (m_connected && !m_ended && !SendPointerEvent(m_client, x, y, buttonMask)) {
        fail(QStringLiteral("画面服务已断开"));
    }
}

void VncSession::fail(const QString &reason)
{
    {
        const QMutexLocker lock(&m_shared->mutex);
        if (VncConnection *receiver = m_shared->receiver) {
            QMetaObject::invokeMethod(
                receiver, [receiver, token = m_shared, reason] { receiver->onEnded(token.get(), reason); },
                Qt::QueuedConnection);
        }
    }
    end();
}

void VncSession::end()
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_connected = false;
    delete m_notifier;
    m_notifier = nullptr;
    if (m_client) {
        // The socket is ours to close, under the lock, so that a shutdown from the connection never
        // reaches a descriptor number already reused.
        m_client->sock = RFB_INVALID_SOCKET;
        rfbClientCleanup(m_client);
        m_client = nullptr;
    }
    m_pixels = {};
    {
        const QMutexLocker lock(&m_shared->mutex);
        m_shared->session = nullptr;
        if (m_socket >= 0) {
            ::close(m_socket);
            m_shared->socket = -1;
            m_socket = -1;
        }
    }
    if (QThread *own = thread(); own && own == QThread::currentThread()) {
        own->quit();
    }
}

} // namespace detail
