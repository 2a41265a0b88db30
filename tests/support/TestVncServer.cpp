#include "TestVncServer.h"

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
        if (m_viewer) {
            m_viewer->abort();
            m_viewer->deleteLater();
        }
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
    switch (m_stage) {
    case Stage::Version: {
        if (m_input.size() < 12) {
            return false;
        }
        m_input.remove(0, 12);
        m_viewer->write(QByteArray("\x01\x01", 2)); // one security type: None
        m_stage = Stage::Security;
        return true;
    }
    case Stage::Security: {
        if (m_input.isEmpty()) {
            return false;
        }
        m_input.remove(0, 1);
        QByteArray result;
        put32(result, 0);
        m_viewer->write(result);
        m_stage = Stage::Init;
        return true;
    }
    case Stage::Init: {
        if (m_input.isEmpty()) {
            return false;
        }
        m_input.remove(0, 1);
        const QSize size = announcedSize.isValid() ? announcedSize : m_screen.size();
        QByteArray init;
        put16(init, quint16(size.width()));
        put16(init, quint16(size.height()));
        // 32 bpp, depth 24, little endian, true colour, 255 each, shifts 16/8/0, padding.
        init.append(QByteArray("\x20\x18\x00\x01\x00\xff\x00\xff\x00\xff\x10\x08\x00\x00\x00\x00", 16));
        const QByteArray name("test");
        put32(init, quint32(name.size()));
        init += name;
        m_viewer->write(init);
        m_stage = Stage::Messages;
        m_ready = true;
        return true;
    }
    case Stage::Messages:
        break;
    }
    if (m_input.isEmpty()) {
        return false;
    }
    const quint8 type = quint8(m_input[0]);
    switch (type) {
    case 0: // SetPixelFormat
        if (m_input.size() < 20) {
            return false;
        }
        m_bigEndian = m_input[6] != 0;
        m_redShift = quint8(m_input[14]);
        m_greenShift = quint8(m_input[15]);
        m_blueShift = quint8(m_input[16]);
        m_input.remove(0, 20);
        return true;
    case 2: { // SetEncodings
        if (m_input.size() < 4) {
            return false;
        }
        const int count = get16(m_input, 2);
        if (m_input.size() < 4 + 4 * count) {
            return false;
        }
        // A later SetEncodings replaces the earlier one.
        m_encodings.clear();
        for (int i = 0; i < count; ++i) {
            m_encodings.append(qint32(get32(m_input, 4 + 4 * i)));
        }
        m_input.remove(0, 4 + 4 * count);
        return true;
    }
    case 3: // FramebufferUpdateRequest
        if (m_input.size() < 10) {
            return false;
        }
        if (m_input[1] == 0) {
            m_dirty += QRect(get16(m_input, 2), get16(m_input, 4), get16(m_input, 6), get16(m_input, 8));
        }
        m_input.remove(0, 10);
        m_pendingRequest = true;
        flush();
        return true;
    case 4: // KeyEvent
        if (m_input.size() < 8) {
            return false;
        }
        m_keys.append({get32(m_input, 4), m_input[1] != 0});
        m_input.remove(0, 8);
        return true;
    case 5: // PointerEvent
        if (m_input.size() < 6) {
            return false;
        }
        m_pointers.append({QPoint(get16(m_input, 2), get16(m_input, 4)), quint8(m_input[1])});
        m_input.remove(0, 6);
        return true;
    default:
        // Nothing else is spoken here: the viewer broke the protocol.
        m_viewer->abort();
        return false;
    }
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
