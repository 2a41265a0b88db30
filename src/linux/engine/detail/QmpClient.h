#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QString>

class QLocalSocket;

namespace detail {

/**
 * One QEMU Machine Protocol connection: line-delimited JSON in both directions. Capabilities are
 * negotiated as soon as QEMU greets; commands are answered by id, and events arrive on their own.
 */
class QmpClient : public QObject
{
    Q_OBJECT

public:
    /** Takes over `socket`, a connection QEMU opened, as a child. */
    explicit QmpClient(QLocalSocket *socket, QObject *parent = nullptr);

    bool isOpen() const { return m_open; }
    /** Capabilities are negotiated: commands may be sent. */
    bool isReady() const { return m_ready; }
    /** Sends a command; returns the id its reply will carry, or -1 when the connection is closed. */
    qint64 send(const QString &command, const QJsonObject &arguments = {});

Q_SIGNALS:
    void ready();
    /** A command's reply: `error` is empty and `value` holds its return, or `error` holds QEMU's description. */
    void replied(qint64 id, const QJsonValue &value, const QString &error);
    void eventArrived(const QString &name, const QJsonObject &data);
    /** The connection ended; nothing more will arrive. */
    void closed();

private:
    void onReadyRead();
    void handle(const QJsonObject &message);
    void close();

    QLocalSocket *m_socket;
    QByteArray m_buffer;
    qint64 m_nextId = 1;
    qint64 m_capabilitiesId = -1;
    bool m_open = true;
    bool m_ready = false;
};

} // namespace detail
