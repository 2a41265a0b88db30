#include "TestVncServer.h"

#include <QHash>
#include <QLocalSocket>
#include <QtEndian>

namespace {

constexpr qint32 desktopSizeEncoding = -223;

void put16(QByteArray &out, quint16 value)
{
    out.append(char(value >> 8)).append(char(value & 0xff));
}

void put32(QByteArray &out, quint32 value)
{
    put16(out, quint16(value >> 16));
    put16(out, quint16(value & 0xffff));
}

quint16 get16(const QByteArray &in, int at)
{
    return quint16((quint8(in[at]) << 8) | quint8(in[at + 1]));
}

quint32 get32(const QByteArray &in, int at)
{
    return (quint32(get16(in, at)) << 16) | get16(in, at + 2);
}

} // namespace

TestVncServer::TestVncServer(const QString &path, QSize size)
    : m_path(path)
    , m_screen(size, QImage::Format_RGB32)
{
    m_screen.fill(Qt::black);
    m_dirty = QRect(QPoint(0, 0), size);
    QLocalServer::removeServer(path);
    m_server.listen(path);
    connect(&m_server, &QLocalServer::newConnection, this, &TestVncServer::onConnection);
}

TestVncServer::~TestVncServer()
{
    dropViewers();
}

int TestVncServer::viewers() const
{
    return m_viewer && m_viewer->state() == QLocalSocket::ConnectedState ? 1 : 0;
}

void TestVncServer::onConnection()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        // One viewer at a time, like a server that is not shared.
        dropViewers();
        m_viewer = socket;
        ++m_connections;
        m_input.clear();
        m_encodings.clear();
        m_stage = Stage::Version;
        m_ready = false;
        m_pendingRequest = false;
        m_dirty = QRect(QPoint(0, 0), m_screen.size());
        connect(socket, &QLocalSocket::readyRead, this, &TestVncServer::onReadable);
        if (!silent) {
            socket->write("RFB 003.008\n");
        }
    }
}

void TestVncServer::onReadable()
{
    if (!m_viewer || silent) {
        return;
    }
    m_input += m_viewer->readAll();
    while (m_viewer && handleMessage()) {
    }
}

bool TestVncServer::handleMessage()
{
    // The viewer's handshake answers (version, chosen security type, shared flag), then its messages;
    // a message's size depends on its type, SetEncodings' also on its count.
    static const QHash<int, qsizetype> sizes{{0, 20}, {2, 4}, {3, 10}, {4, 8}, {5, 6}};
    const int type = m_stage != Stage::Messages || m_input.isEmpty() ? -1 : quint8(m_input[0]);
    if (m_stage == Stage::Messages && !m_input.isEmpty() && !sizes.contains(type)) {
        m_viewer->abort(); // nothing else is spoken here: the viewer broke the protocol
        return false;
    }
    const qsizetype size = m_stage == Stage::Version          ? 12
                           : m_stage != Stage::Messages       ? 1
                           : type == 2 && m_input.size() >= 4 ? 4 + 4 * get16(m_input, 2)
                                                              : sizes.value(type, 1);
    if (m_input.size() < size) {
        return false;
    }
    const QByteArray message = m_input.left(size);
    m_input.remove(0, size);
    QByteArray reply;
    if (m_stage == Stage::Version) {
        reply = QByteArray("\x01\x01", 2); // one security type: None
        m_stage = Stage::Security;
    } else if (m_stage == Stage::Security) {
        put32(reply, 0);
        m_stage = Stage::Init;
    } else if (m_stage == Stage::Init) {
        const QSize announced = announcedSize.isValid() ? announcedSize : m_screen.size();
        put16(reply, quint16(announced.width()));
        put16(reply, quint16(announced.height()));
        // 32 bpp, depth 24, little endian, true colour, 255 each, shifts 16/8/0, padding; named "test".
        reply.append(QByteArray("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 16));
        put32(reply, 4);
        reply += "test";
        m_stage = Stage::Messages;
        m_ready = true;
    } else if (type == 0) { // SetPixelFormat
        m_bigEndian = message[6] != 0;
        m_redShift = quint8(message[14]);
        m_greenShift = quint8(message[15]);
        m_blueShift = quint8(message[16]);
    } else if (type == 2) { // SetEncodings; a later one replaces the earlier
        m_encodings.clear();
        for (qsizetype at = 4; at < size; at += 4) {
            m_encodings.append(qint32(get32(message, int(at))));
        }
    } else if (type == 3) { // FramebufferUpdateRequest
        if (message[1] == 0) {
            m_dirty += QRect(get16(message, 2), get16(message, 4), get16(message, 6), get16(message, 8));
        }
        m_pendingRequest = true;
        flush();
    } else if (type == 4) { // KeyEvent
        m_keys.append({get32(message, 4), message[1] != 0});
    } else { // PointerEvent
        m_pointers.append({QPoint(get16(message, 2), get16(message, 4)), quint8(message[1])});
    }
    if (!reply.isEmpty()) {
        m_viewer->write(reply);
    }
    return true;
}

void TestVncServer::fill(const QRect &rect, const QColor &color)
{
    const QRect clipped = rect & m_screen.rect();
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(m_screen.scanLine(y));
        std::fill(line + clipped.left(), line + clipped.right() + 1, color.rgb());
    }
    m_dirty += clipped;
    flush();
}

void TestVncServer::resize(QSize size)
{
    m_screen = QImage(size, QImage::Format_RGB32);
    m_screen.fill(Qt::black);
    m_dirty = QRect(QPoint(0, 0), size);
    m_resized = true;
    flush();
}

void TestVncServer::dropViewers()
{
    if (m_viewer) {
        m_viewer->abort();
        m_viewer->deleteLater();
    }
}

void TestVncServer::flush()
{
    if (!m_viewer || !m_ready || !m_pendingRequest || (m_dirty.isEmpty() && !m_resized)) {
        return;
    }
    m_pendingRequest = false;
    QByteArray update;
    update.append(char(0)).append(char(0));
    if (m_resized && m_encodings.contains(desktopSizeEncoding)) {
        // The viewer answers a new size with a request of its own.
        m_resized = false;
        put16(update, 1);
        put32(update, 0); // at 0, 0
        put16(update, quint16(m_screen.width()));
        put16(update, quint16(m_screen.height()));
        put32(update, quint32(desktopSizeEncoding));
        m_viewer->write(update);
        return;
    }
    const QList<QRect> rects(m_dirty.begin(), m_dirty.end());
    m_dirty = QRegion();
    put16(update, quint16(rects.size()));
    for (const QRect &rect : rects) {
        put16(update, quint16(rect.x()));
        put16(update, quint16(rect.y()));
        put16(update, quint16(rect.width()));
        put16(update, quint16(rect.height()));
        put32(update, 0); // raw
        update += pixels(rect);
    }
    m_viewer->write(update);
}

QByteArray TestVncServer::pixels(const QRect &rect) const
{
    QByteArray out;
    out.reserve(rect.width() * rect.height() * 4);
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(m_screen.constScanLine(y));
        for (int x = rect.left(); x <= rect.right(); ++x) {
            const QRgb colour = line[x];
            const quint32 value = (quint32(qRed(colour)) << m_redShift) |
                                  (quint32(qGreen(colour)) << m_greenShift) |
                                  (quint32(qBlue(colour)) << m_blueShift);
            char bytes[4];
            if (m_bigEndian) {
                qToBigEndian(value, bytes);
            } else {
                qToLittleEndian(value, bytes);
            }
            out.append(bytes, 4);
        }
    }
    return out;
}
