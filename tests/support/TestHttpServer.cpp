#include "TestHttpServer.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

namespace {

using Header = QPair<QByteArray, QByteArray>;

// Enough queued bytes to keep loopback busy without copying a whole large body into the socket.
constexpr qint64 writeAhead = 256 * 1024;

struct ByteRange
{
    qint64 first;
    qint64 last;
};

/** "bytes=N-" or "bytes=N-M" against a body of `size` bytes; anything else is treated as no range. */
std::optional<ByteRange> parseRange(const QByteArray &value, qint64 size)
{
    static const QRegularExpression form(QStringLiteral("^bytes=(\\d+)-(\\d*)$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(value.trimmed()));
    if (!match.hasMatch()) {
        return std::nullopt;
    }
    const qint64 last =
        match.captured(2).isEmpty() ? size - 1 : qMin(match.captured(2).toLongLong(), size - 1);
    return ByteRange{match.captured(1).toLongLong(), last};
}

const QHash<int, QByteArray> statusTexts{{200, "OK"},
                                         {206, "Partial Content"},
                                         {302, "Found"},
                                         {404, "Not Found"},
                                         {416, "Range Not Satisfiable"}};

} // namespace

/** One connection: reads a request, answers it (well or badly, as the path asks), then closes. */
class TestHttpServer::Exchange : public QObject
{
public:
    Exchange(QTcpSocket *socket, TestHttpServer *server)
        : QObject(socket)
        , m_socket(socket)
        , m_server(server)
    {
        connect(socket, &QTcpSocket::readyRead, this, &Exchange::onReadyRead);
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }

    void respond(const Resource *resource, const QByteArray &rangeHeader)
    {
        if (!resource) {
            m_body = "not found\n";
            m_end = m_body.size();
            sendHead(404, {{"Content-Length", QByteArray::number(m_end)}});
            pump();
            return;
        }
        if (resource->fault == Fault::Redirect) {
            sendHead(302, {{"Location", resource->redirectTo.toUtf8()}, {"Content-Length", "0"}});
            finish();
            return;
        }
        const qint64 size = resource->body.size();
        m_body = resource->body;
        m_pieceBytes = qMax<qint64>(1, resource->pieceBytes);
        m_intervalMs = resource->pieceIntervalMs;

        std::optional<ByteRange> range;
        if (!rangeHeader.isNull() && resource->fault != Fault::IgnoreRange) {
            range = parseRange(rangeHeader, size);
        }
        if (range && range->first >= size) {
            sendHead(416,
                     {{"Content-Range", "bytes */" + QByteArray::number(size)}, {"Content-Length", "0"}});
            finish();
            return;
        }

        int status = range ? 206 : 200;
        m_position = range ? range->first : 0;
        m_end = range ? range->last + 1 : size;
        if (resource->fault == Fault::WrongContentRange) {
            status = 206;
            m_position = qBound<qint64>(0, resource->faultOffset, size);
            m_end = size;
        }

        QList<Header> headers{{"Content-Type", "application/octet-stream"}, {"Accept-Ranges", "bytes"}};
        if (status == 206 && resource->fault != Fault::MissingContentRange) {
            headers.append(Header{"Content-Range", "bytes " + QByteArray::number(m_position) + '-' +
                                                       QByteArray::number(m_end - 1) + '/' +
                                                       QByteArray::number(size)});
        }
        if (resource->fault == Fault::ExtraByte) {
            m_trailer = "!";
        }
        QByteArray version = "HTTP/1.1";
        if (resource->fault == Fault::CloseEarly) {
            // Framed by the connection's end alone, so stopping early looks like a complete body.
            version = "HTTP/1.0";
            m_end = qMin(m_end, m_position + resource->faultOffset);
        } else {
            headers.append(
                Header{"Content-Length", QByteArray::number(m_end - m_position + m_trailer.size())});
        }
        if (resource->fault == Fault::Stall) {
            m_stallAt = qMin(m_end, m_position + resource->faultOffset);
        }
        sendHead(status, headers, version);
        if (m_intervalMs > 0) {
            auto *pacer = new QTimer(this);
            connect(pacer, &QTimer::timeout, this, &Exchange::pump);
            pacer->start(m_intervalMs);
        } else {
            connect(m_socket, &QTcpSocket::bytesWritten, this, &Exchange::pump);
        }
        pump();
    }

private:
    void onReadyRead()
    {
        if (m_answered) {
            m_socket->readAll();
            return;
        }
        m_incoming += m_socket->readAll();
        const qsizetype headEnd = m_incoming.indexOf("\r\n\r\n");
        if (headEnd < 0) {
            return;
        }
        m_answered = true;
        const QList<QByteArray> lines = m_incoming.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        Request request;
        request.method = requestLine.value(0);
        request.path = QUrl(QString::fromLatin1(requestLine.value(1))).path();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0) {
                request.headers.append(
                    Header{lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
            }
        }
        m_server->handle(this, request);
    }

    void sendHead(int status, const QList<Header> &headers, const QByteArray &version = "HTTP/1.1")
    {
        QByteArray head =
            version + ' ' + QByteArray::number(status) + ' ' + statusTexts.value(status) + "\r\n";
        for (const auto &[name, value] : headers) {
            head += name + ": " + value + "\r\n";
        }
        head += "Connection: close\r\n\r\n";
        m_socket->write(head);
    }

    // Paced, one piece at a time; otherwise as much as keeps loopback busy. The extra byte travels as a
    // piece of its own, so the good bytes before it arrive first; a stalled body never ends.
    void pump()
    {
        const qint64 until = m_stallAt >= 0 ? m_stallAt : m_end;
        for (bool more = true; more && !m_finished && m_socket->state() == QAbstractSocket::ConnectedState;) {
            if (m_position < until) {
                const qint64 count = qMin(m_pieceBytes, until - m_position);
                m_socket->write(m_body.constData() + m_position, count);
                m_position += count;
            } else if (!m_trailer.isEmpty() && m_stallAt < 0) {
                m_socket->write(m_trailer);
                m_trailer.clear();
            } else if (m_stallAt < 0) {
                finish();
            } else {
                return;
            }
            const bool sent = m_position >= until && (m_trailer.isEmpty() || m_intervalMs == 0);
            more = sent || (m_intervalMs == 0 && m_socket->bytesToWrite() < writeAhead);
        }
    }

    void finish()
    {
        m_finished = true;
        m_socket->disconnectFromHost();
    }

    QTcpSocket *m_socket;
    TestHttpServer *m_server;
    QByteArray m_incoming;
    bool m_answered = false;
    bool m_finished = false;
    QByteArray m_body;
    QByteArray m_trailer;
    qint64 m_position = 0;
    qint64 m_end = 0;
    qint64 m_stallAt = -1;
    qint64 m_pieceBytes = 64 * 1024;
    int m_intervalMs = 0;
};

QByteArray TestHttpServer::Request::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0) {
            return value;
        }
    }
    return {};
}

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer()
{
    m_server->close();
}

bool TestHttpServer::listen()
{
    return m_server->listen(QHostAddress::LocalHost, 0);
}

quint16 TestHttpServer::port() const
{
    return m_server->serverPort();
}

QUrl TestHttpServer::url(const QString &path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1").arg(port()) + path);
}

void TestHttpServer::serve(const QString &path, Resource resource)
{
    m_resources.insert(path, std::move(resource));
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        new Exchange(socket, this);
    }
}

void TestHttpServer::handle(Exchange *exchange, Request request)
{
    m_requests.append(request);
    const auto found = m_resources.constFind(request.path);
    exchange->respond(found == m_resources.cend() ? nullptr : &*found, request.header("Range"));
}
