#include "services/WriteQueue.h"

#include "platform/Error.h"
#include "services/Background.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThreadPool>

namespace WriteQueue {
namespace {

struct Pending
{
    QByteArray data;
    Commit commit = nullptr;
    QPointer<QObject> context;
    std::function<void(const QString &)> onFailure;
    bool scheduled = false;
};

struct Queue
{
    Queue()
    {
        // One thread: the writes to a file reach it in order.
        worker.setMaxThreadCount(1);
        worker.setExpiryTimeout(-1);
        // Whatever is still on its way reaches the disk before the program ends.
        qAddPostRoutine([] { WriteQueue::flush(); });
    }

    QMutex mutex;
    QHash<QString, Pending> files;
    QThreadPool worker;
};

Queue &queue()
{
    static Queue instance;
    return instance;
}

QString key(const QString &path)
{
    return QFileInfo(path).absoluteFilePath();
}

void writeNow(const QString &path)
{
    Queue &q = queue();
    QMutexLocker lock(&q.mutex);
    Pending &file = q.files[path];
    const QByteArray data = file.data;
    const Commit commit = file.commit;
    const QPointer<QObject> context = file.context;
    const std::function<void(const QString &)> onFailure = file.onFailure;
    // A write made from here on schedules another pass.
    file.scheduled = false;
    lock.unlock();

    QString failure;
    try {
        commit(path, data);
    } catch (const Error &error) {
        failure = error.description();
    }

    lock.relock();
    Pending &after = q.files[path];
    if (!after.scheduled && after.data == data) {
        q.files.remove(path);
    }
    lock.unlock();
    if (!failure.isEmpty() && context && onFailure) {
        QMetaObject::invokeMethod(
            context, [onFailure, failure] { onFailure(failure); }, Qt::QueuedConnection);
    }
}

} // namespace

void write(const QString &path, const QByteArray &data, Commit commit, QObject *context,
           std::function<void(const QString &)> onFailure)
{
    Queue &q = queue();
    const QString file = key(path);
    {
        QMutexLocker lock(&q.mutex);
        Pending &pending = q.files[file];
        pending.data = data;
        pending.commit = commit;
        pending.context = context;
        pending.onFailure = std::move(onFailure);
        if (pending.scheduled) {
            return;
        }
        pending.scheduled = true;
    }
    Background::post(q.worker, [file] { writeNow(file); });
}

std::optional<QByteArray> pending(const QString &path)
{
    Queue &q = queue();
    QMutexLocker lock(&q.mutex);
    const auto found = q.files.constFind(key(path));
    return found == q.files.cend() ? std::nullopt : std::optional<QByteArray>(found->data);
}

void flush()
{
    queue().worker.waitForDone();
}

} // namespace WriteQueue
