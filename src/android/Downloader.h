#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>

/**
 * Fetches one file over HTTP(S) into a destination, resuming from what an earlier attempt left in
 * the side file "<destination>.partial". It never keeps more than `expectedSize` bytes and hands the
 * file over only when exactly that many are on disk; the side file survives every failure.
 *
 * Lives and runs on the GUI thread: the transfer itself happens in Qt's network thread and arrives
 * here chunk by chunk. One Downloader serves one download at a time.
 */
class Downloader : public QObject
{
    Q_OBJECT

public:
    explicit Downloader(QObject *parent = nullptr);
    ~Downloader() override;

    /**
     * Downloads `url` into `destination` and returns `destination` once the complete file is there.
     * `progress` receives received / expectedSize: once at the start, at most every 0.2 s while
     * bytes arrive, and 1.0 at the end. Failures throw VMFailure (the downloader's own findings) or
     * SystemError (file errors; transport errors, where a time-out, a cancellation, a refused
     * connection and an unknown host are told in our words with Qt's description after them).
     */
    QCoro::Task<QString> download(QUrl url, QString destination, qint64 expectedSize,
                                  std::function<void(double)> progress);

    /** Aborts the running transfer, which then fails as cancelled; the side file stays. */
    void cancel();

    /** The longest wait for the next bytes. */
    std::chrono::milliseconds idleTimeout{std::chrono::seconds(60)};
    /** The longest whole transfer. */
    std::chrono::milliseconds totalTimeout{std::chrono::seconds(7200)};

    /** The side file that holds the bytes received so far for `destination`. */
    static QString partialPath(const QString &destination);

private:
    class Transfer;

    /** The running transfer, owned by the download's coroutine frame. */
    Transfer *m_transfer = nullptr;
};
