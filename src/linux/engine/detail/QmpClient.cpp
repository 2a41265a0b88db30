#include "linux/engine/detail/QmpClient.h"

#include <QJsonDocument>
#include <QLocalSocket>

namespace detail {
namespace {

// QEMU's replies are small; a line this long means the peer is not speaking QMP.
constexpr qsizetype longestLine = qsizetype(16) * 1024 * 1024;

} // namespace

QmpClient::QmpClient(QLocalSocket *socket, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
{
    m_socket->setParent(this);
    connect(m_socket, &QLocalSocket::readyRead, this, &QmpClient::onReadyRead);
    connect(m_socket, &QLocalSocket::disconnected, this, [this] {
        // What QEMU wrote last (its SHUTDOWN event) may still wait in the buffer.
        if (m_socket->bytesAvailable() > 0) {
            onReadyRead();
        }
        close();
    });
    if (m_socket->state() != QLocalSocket::ConnectedState) {
        m_open = false;
        return;
    }
    if (m_socket->bytesAvailable() > 0) {
        onReadyRead();
    }
}

qint64 QmpClient::send(const QString &command, const QJsonObject &arguments)
{
    if (!m_open) {
        return -1;
    }
    const qint64 id = m_nextId++;
    QJsonObject message{{QStringLiteral("execute"), command}, {QStringLiteral("id"), id}};
    if (!arguments.isEmpty()) {
        message.insert(QStringLiteral("arguments"), arguments);
    }
    m_socket->write(QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
    return id;
}

void QmpClient::onReadyRead()
{
    m_buffer.append(m_socket->readAll());
    qsizetype start = 0;
    for (qsizetype end = m_buffer.indexOf('\n'); end >= 0 && m_open; end = m_buffer.indexOf('\n', start)) {
        const QByteArray line = m_buffer.sliced(start, end - start).trimmed();
        start = end + 1;
        if (line.isEmpty()) {
            continue;
        }
        const QJsonDocument document = QJsonDocument::fromJson(line);
        if (!document.isObject()) {
            close();
            return;
        }
        handle(document.object());
    }
    m_buffer.remove(0, start);
    if (m_buffer.size() > longestLine) {
        close();
    }
}

void QmpClient::handle(const QJsonObject &message)
{
    if (message.contains(QStringLiteral("QMP"))) {
        m_capabilitiesId = send(QStringLiteral("qmp_capabilities"));
        return;
    }
    if (message.contains(QStringLiteral("event"))) {
        Q_EMIT eventArrived(message.value(QStringLiteral("event")).toString(),
                            message.value(QStringLiteral("data")).toObject());
        return;
    }
    const qint64 id = message.value(QStringLiteral("id")).toInteger(-1);
    QString description;
    if (message.contains(QStringLiteral("error"))) {
        const QJsonObject error = message.value(QStringLiteral("error")).toObject();
        description = error.value(QStringLiteral("desc")).toString();
        if (description.isEmpty()) {
            description = error.value(QStringLiteral("class")).toString(QStringLiteral("GenericError"));
        }
    }
    if (id == m_capabilitiesId && m_capabilitiesId >= 0) {
        if (!description.isEmpty()) {
            close();
            return;
        }
        m_ready = true;
        Q_EMIT ready();
        return;
    }
    Q_EMIT replied(id, message.value(QStringLiteral("return")), description);
}

void QmpClient::close()
{
    if (!m_open) {
        return;
    }
    m_open = false;
    m_ready = false;
    m_socket->abort();
    Q_EMIT closed();
}

} // namespace detail
