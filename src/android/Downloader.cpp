#include "android/Downloader.h"

#include "platform/Error.h"
#include "services/FileIO.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <coroutine>
#include <exception>
#include <optional>

namespace {

using Clock = std::chrono::steady_clock;

// The most the reply buffers before we take it: one chunk, written straight to disk.
constexpr qint64 chunkBytes = qint64(1) << 20;
constexpr auto progressInterval = std::chrono::milliseconds(200);

QString serverFailure()
{
    return QStringLiteral("下载服务器返回异常，请检查网络后重试。");
}

/** Our words for the transport failures a user meets most, with the platform's own after them. */
QString transportFailure(QNetworkReply::NetworkError error, const QString &detail)
{
    QString words;
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
        words = QStringLiteral("无法连接下载服务器：连接被拒绝。请检查网络或代理设置后重试。");
        break;
    case QNetworkReply::HostNotFoundError:
        words = QStringLiteral("找不到下载服务器，请检查网络或代理设置后重试。");
        break;
    case QNetworkReply::TimeoutError:
        words = QStringLiteral("下载超时：服务器长时间没有发来数据，重试将从断点继续。");
        break;
    case QNetworkReply::OperationCanceledError:
        words = QStringLiteral("下载已取消，重试将从断点继续。");
        break;
    default:
        return detail;
    }
    return words + QStringLiteral("（") + detail + QStringLiteral("）");
}

QNetworkAccessManager &network()
{
    // One manager for the application's life, created on the GUI thread at first use: a manager
    // destroyed while a reply is out takes the reply down with it, and it keeps connections warm.
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    static auto *manager = new QNetworkAccessManager(QCoreApplication::instance());
    return *manager;
}

/** The statuses Qt's default redirect policy follows on its own. */
bool isFollowedRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 305 || status == 307 || status == 308;
}

int timerMilliseconds(std::chrono::milliseconds duration)
{
    return static_cast<int>(std::clamp<qint64>(duration.count(), 0, INT_MAX));
}

/**
 * Resumes the awaiting coroutine once the reply has finished. The resume is posted, so Qt has
 * finished emitting (and the caller of abort() has returned) before the coroutine goes on.
 */
class ReplyFinished
{
public:
    explicit ReplyFinished(QNetworkReply &reply)
        : m_reply(reply)
    {}

    bool await_ready() const { return m_reply.isFinished(); }

    void await_suspend(std::coroutine_handle<> waiting)
    {
        m_connection = QObject::connect(&m_reply, &QNetworkReply::finished, &m_reply, [this, waiting] {
            QObject::disconnect(m_connection);
            QMetaObject::invokeMethod(
                &m_reply, [waiting] { waiting.resume(); }, Qt::QueuedConnection);
        });
    }

    void await_resume() const {}

private:
    QNetworkReply &m_reply;
    QMetaObject::Connection m_connection;
};

} // namespace

/** The state of one running transfer. It lives in the coroutine's frame, so it outlives the Downloader. */
class Downloader::Transfer
{
public:
    Transfer(QString partial, qint64 expectedSize, std::function<void(double)> progress)
        : file(partial)
        , expected(expectedSize)
        , m_progress(std::move(progress))
    {}

    /** Opens the side file at its end; a leftover longer than the download is emptied. */
    void open()
    {
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
            throw SystemError(file.errorString());
        }
        received = file.size();
        if (received > expected) {
            received = 0;
            truncate();
        } else if (!file.seek(received)) {
            throw SystemError(file.errorString());
        }
    }

    void report(double fraction) const
    {
        if (m_progress) {
            m_progress(fraction);
        }
    }

    void start(QNetworkReply *reply) { m_reply = reply; }

    /** Owner's cancellation, told apart from the aborts that our own checks and time-outs cause. */
    void cancel()
    {
        cancelled = true;
        m_reply->abort();
    }

    /** The whole transfer took too long. */
    void timeOut()
    {
        totalTimedOut = true;
        m_reply->abort();
    }

    /**
     * Judges the status line and headers before the first body byte is kept. A redirect that Qt
     * is about to follow is not the answer yet, unless the reply ends with it.
     */
    void onResponse(bool ended = false)
    {
        if (m_responseChecked || failure) {
            return;
        }
        const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
        const int code = status.isValid() ? status.toInt() : 0;
        if (!ended && isFollowedRedirect(code) && !m_reply->rawHeader("Location").isEmpty()) {
            return;
        }
        m_responseChecked = true;
        if (code != 200 && code != 206) {
            fail(std::make_exception_ptr(VMFailure(serverFailure())));
            return;
        }
        if (code == 206) {
            // The dash matters: resuming at 100, "bytes 1000-" must not pass.
            const QByteArray expectedStart = "bytes " + QByteArray::number(received) + '-';
            if (!m_reply->rawHeader("Content-Range").startsWith(expectedStart)) {
                fail(
                    std::make_exception_ptr(VMFailure(QStringLiteral("服务器续传范围不匹配，请重新尝试。"))));
            }
            return;
        }
        if (received > 0) {
            // The server ignored the range and sends the whole file again.
            try {
                received = 0;
                truncate();
            } catch (...) {
                fail(std::current_exception());
            }
        }
    }

    /** Appends whatever has arrived, one bounded chunk at a time. */
    void onData(bool ended = false)
    {
        onResponse(ended);
        if (!m_responseChecked) {
            m_reply->readAll(); // the body of a redirect being followed
            return;
        }
        while (!failure && m_reply->bytesAvailable() > 0) {
            const qint64 size = m_reply->read(m_chunk.data(), m_chunk.size());
            if (size <= 0) {
                return;
            }
            if (received + size > expected) {
                fail(std::make_exception_ptr(VMFailure(QStringLiteral("下载大小超出官方清单，已停止。"))));
                return;
            }
            if (file.write(m_chunk.constData(), size) != size) {
                fail(std::make_exception_ptr(SystemError(file.errorString())));
                return;
            }
            received += size;
            const Clock::time_point now = Clock::now();
            if (!m_lastProgress || now - *m_lastProgress > progressInterval) {
                m_lastProgress = now;
                report(double(received) / double(expected));
            }
        }
    }

    QFile file;
    const qint64 expected;
    qint64 received = 0;
    std::exception_ptr failure;
    bool cancelled = false;
    bool totalTimedOut = false;

private:
    void truncate()
    {
        if (!file.resize(0) || !file.seek(0)) {
            throw SystemError(file.errorString());
        }
    }

    void fail(std::exception_ptr error)
    {
        if (!failure) {
            failure = std::move(error);
        }
        m_reply->abort();
    }

    std::function<void(double)> m_progress;
    QNetworkReply *m_reply = nullptr;
    // Reused for every chunk: a fresh megabyte per chunk costs page faults on every read.
    QByteArray m_chunk{chunkBytes, Qt::Uninitialized};
    bool m_responseChecked = false;
    std::optional<Clock::time_point> m_lastProgress;
};

Downloader::Downloader(QObject *parent)
    : QObject(parent)
{}

Downloader::~Downloader()
{
    cancel();
}

QString Downloader::partialPath(const QString &destination)
{
    return destination + QStringLiteral(".partial");
}

void Downloader::cancel()
{
    if (m_transfer) {
        m_transfer->cancel();
    }
}

QCoro::Task<QString> Downloader::download(QUrl url, QString destination, qint64 expectedSize,
                                          std::function<void(double)> progress)
{
    QPointer<Downloader> self(this);
    Transfer transfer(partialPath(destination), expectedSize, std::move(progress));
    transfer.open();

    if (transfer.received != expectedSize) {
        QNetworkRequest request(url);
        request.setRawHeader("Accept-Encoding", "identity");
        if (transfer.received > 0) {
            request.setRawHeader("Range", "bytes=" + QByteArray::number(transfer.received) + '-');
        }
        request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
        request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
        request.setTransferTimeout(qMax(1, timerMilliseconds(idleTimeout)));
        transfer.report(double(transfer.received) / double(expectedSize));

        QNetworkReply *reply = network().get(request);
        reply->setReadBufferSize(chunkBytes);
        transfer.start(reply);
        m_transfer = &transfer;
        // The handlers reach into this frame; they go with it, whatever ends the coroutine.
        QObject handlers;
        QObject::connect(reply, &QNetworkReply::metaDataChanged, &handlers,
                         [&transfer] { transfer.onResponse(); });
        QObject::connect(reply, &QNetworkReply::readyRead, &handlers, [&transfer] { transfer.onData(); });
        QTimer total;
        total.setSingleShot(true);
        QObject::connect(&total, &QTimer::timeout, &handlers, [&transfer] { transfer.timeOut(); });
        total.start(timerMilliseconds(totalTimeout));

        co_await ReplyFinished(*reply);

        total.stop();
        if (self && self->m_transfer == &transfer) {
            self->m_transfer = nullptr;
        }
        const QNetworkReply::NetworkError transportError = reply->error();
        if (transportError == QNetworkReply::NoError) {
            // A reply that ends without readyRead (an empty body, a non-HTTP scheme) is judged here.
            transfer.onData(true);
        }
        const QString transportDescription = reply->errorString();
        QObject::disconnect(reply, nullptr, &handlers, nullptr);
        reply->deleteLater();

        transfer.file.close();
        if (transfer.file.error() != QFileDevice::NoError) {
            throw SystemError(transfer.file.errorString());
        }
        if (transfer.failure) {
            std::rethrow_exception(transfer.failure);
        }
        if (transportError != QNetworkReply::NoError) {
            // Qt words both time-outs as a cancellation; the user did not cancel, so say what happened.
            if (transportError == QNetworkReply::OperationCanceledError && !transfer.cancelled) {
                const QString timedOut =
                    QCoreApplication::translate("QAbstractSocket", "Socket operation timed out");
                if (transfer.totalTimedOut) {
                    throw SystemError(QStringLiteral("下载超时：下载用时超过上限，重试将从断点继续。（") +
                                      timedOut + QStringLiteral("）"));
                }
                throw SystemError(transportFailure(QNetworkReply::TimeoutError, timedOut));
            }
            throw SystemError(transportFailure(transportError, transportDescription));
        }
        if (transfer.received != expectedSize) {
            throw VMFailure(QStringLiteral("下载中断，已保留 ") +
                            QString::number(transfer.received / 1048576) +
                            QStringLiteral("MB。重试将从断点继续。"));
        }
    }

    transfer.file.close();
    if (transfer.file.error() != QFileDevice::NoError) {
        throw SystemError(transfer.file.errorString());
    }
    if (FileIO::exists(destination)) {
        QFile existing(destination);
        if (!existing.remove()) {
            throw SystemError(existing.errorString());
        }
    }
    FileIO::rename(partialPath(destination), destination);
    transfer.report(1.0);
    co_return destination;
}
