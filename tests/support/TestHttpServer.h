#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

class QTcpServer;

/**
 * An HTTP/1.1 server on 127.0.0.1 inside the test process, serving registered byte blobs by path (404
 * for any other).
 * It runs on the thread that creates it, so the test's event loop drives it while a client awaits.
 * Each path can be told to misbehave the ways real servers and broken networks do; every request
 * is recorded so a test can check what a client asked for, or that it asked nothing.
 */
class TestHttpServer : public QObject
{
    Q_OBJECT

public:
    enum class Fault {
        None,
        /** Answers 200 with the whole body even to a range request. */
        IgnoreRange,
        /** Answers 206 claiming (and sending from) `faultOffset` instead of the requested start. */
        WrongContentRange,
        /** Answers 206 to a range request without a Content-Range header. */
        MissingContentRange,
        /** Declares and sends one byte more than the body it should send. */
        ExtraByte,
        /** No Content-Length, `faultOffset` body bytes, then a clean close: the client sees an end. */
        CloseEarly,
        /** Answers 302 Found pointing at the path in `redirectTo`. */
        Redirect,
        /** Sends the headers and `faultOffset` body bytes, then nothing while the connection stays open. */
        Stall,
    };

    struct Resource
    {
        QByteArray body;
        Fault fault = Fault::None;
        qint64 faultOffset = 0;
        /** Pacing: the body goes out in pieces of `pieceBytes`, one every `pieceIntervalMs` (0: as fast as
         * the socket takes). */
        qint64 pieceBytes = 64 * 1024;
        int pieceIntervalMs = 0;
        QString redirectTo{};
    };

    struct Request
    {
        QByteArray method;
        QString path;
        QList<QPair<QByteArray, QByteArray>> headers;

        /** The value of the header `name` (case-insensitive), or a null array when absent. */
        QByteArray header(const QByteArray &name) const;
    };

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    /** Starts listening on a free port of 127.0.0.1. */
    bool listen();
    quint16 port() const;
    QUrl url(const QString &path) const;

    /** Registers or replaces what `path` serves; applies to requests that arrive afterwards. */
    void serve(const QString &path, Resource resource);
    void serve(const QString &path, QByteArray body) { serve(path, Resource{std::move(body)}); }

    /** Every request received so far, oldest first. */
    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }

private:
    class Exchange;

    void onNewConnection();
    void handle(Exchange *exchange, Request request);

    QTcpServer *m_server;
    QHash<QString, Resource> m_resources;
    QList<Request> m_requests;
};
