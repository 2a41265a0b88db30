#include "services/GlobalLogModel.h"

#include "platform/Error.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/Interaction.h"
#include "services/detail/LogQueue.h"

#include <QDateTime>
#include <QPointer>


GlobalLogModel::GlobalLogModel(QObject *parent)
    : QObject(parent)
{
    reload();
    // The notifier lives on the main thread; the connection ends with this object.
    connect(AppLog::Notifier::instance(), &AppLog::Notifier::changed, this, &GlobalLogModel::onLogChanged);
}

GlobalLogModel::Tail GlobalLogModel::follow(Tail tail, const QString &path, qint64 maxBytes)
{
    // The bytes just before the end already read are read again: a file removed and made anew may get
    // the old one's inode number, and only its content tells it apart.
    const bool following = tail.size >= 0;
    const qsizetype overlap = following ? qMin<qsizetype>(256, tail.bytes.size()) : 0;
    const qint64 from = following ? tail.size - overlap : 0;
    std::optional<FileIO::Tail> read = FileIO::readTailAfter(path, from, maxBytes);
    const bool continues = read && following && read->device == tail.device && read->inode == tail.inode &&
                           read->offset == from && read->size >= tail.size &&
                           QByteArrayView(read->bytes).startsWith(QByteArrayView(tail.bytes).last(overlap));
    if (continues && read->size == tail.size) {
        return tail;
    }
    if (continues) {
        tail.bytes += QByteArrayView(read->bytes).sliced(overlap);
        tail.bytes.remove(0, qMax<qsizetype>(0, tail.bytes.size() - maxBytes));
    } else {
        // Rotated, cleared, replaced or cut short: only the file's own tail is the truth.
        if (read && read->offset > 0 && read->offset != read->size - maxBytes) {
            read = FileIO::readTailAfter(path, 0, maxBytes);
        }
        if (!read) {
            return Tail{{}, 0, 0, -1, AppLog::emptyText()};
        }
        tail.bytes = read->bytes;
    }
    tail.size = read->offset + read->bytes.size();
    tail.device = read->device;
    tail.inode = read->inode;
    tail.text = QString::fromUtf8(tail.bytes);
    return tail;
}

void GlobalLogModel::onLogChanged()
{
    if (m_following) {
        m_changedAgain = true;
        return;
    }
    m_following = true;
    m_changedAgain = false;
    // On the log's queue, after the writes that announced themselves: the read sees them whole, and the
    // main thread neither waits for the queue nor decodes the tail.
    LogQueue::shared().enqueue(
        [self = QPointer(this), generation = m_generation, tail = m_tail, path = AppLog::file()] {
            Tail next = follow(tail, path, AppLog::displayTailBytes);
            QMetaObject::invokeMethod(
                AppLog::Notifier::instance(),
                [self, generation, next = std::move(next)] {
                    if (self) {
                        self->take(generation, next);
                    }
                },
                Qt::QueuedConnection);
        });
}

void GlobalLogModel::take(int generation, const Tail &tail)
{
    m_following = false;
    if (generation == m_generation) {
        m_tail = tail;
        setText(tail.text);
    }
    if (m_changedAgain) {
        onLogChanged();
    }
}

void GlobalLogModel::setQuery(const QString &query)
{
    if (m_query == query) {
        return;
    }
    m_query = query;
    Q_EMIT queryChanged();
}

void GlobalLogModel::clearError()
{
    setError(QString());
}

QString GlobalLogModel::filteredText() const
{
    return filter(m_text, m_query);
}

QString GlobalLogModel::filter(const QString &text, const QString &query)
{
    const QString needle = query.trimmed();
    if (needle.isEmpty()) {
        return text;
    }
    QStringList kept;
    for (const QStringView line : QStringView(text).split(u'\n')) {
        if (line.contains(needle, Qt::CaseInsensitive)) {
            kept.append(line.toString());
        }
    }
    return kept.join(u'\n');
}

QCoro::Task<> GlobalLogModel::exportLog()
{
    QPointer self(this);
    const QStringList filters{QStringLiteral("纯文本 (*.log *.txt)")};
    const QString path = co_await Interaction::current()->chooseSaveLocation(
        QStringLiteral("导出全局日志"), suggestedExportName(), filters);
    if (!self || path.isEmpty()) {
        co_return;
    }
    exportTo(path);
}

bool GlobalLogModel::exportTo(const QString &path)
{
    try {
        FileIO::writeAtomically(path, filteredText().toUtf8());
    } catch (const Error &failure) {
        setError(failure.description());
        return false;
    }
    AppLog::info(QStringLiteral("日志"), QStringLiteral("已导出全局日志到 ") + path);
    return true;
}

QString GlobalLogModel::suggestedExportName()
{
    return QStringLiteral("Corvane-全局日志-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))
        + QStringLiteral(".log");
}

void GlobalLogModel::reload()
{
    ++m_generation;
    Tail tail;
    const QString path = AppLog::file();
    LogQueue::shared().runAndWait([&] { tail = follow(Tail{}, path, AppLog::displayTailBytes); });
    m_tail = tail;
    setText(tail.text);
}

void GlobalLogModel::setText(const QString &text)
{
    if (m_text == text) {
        return;
    }
    m_text = text;
    Q_EMIT textChanged();
}

void GlobalLogModel::setError(const QString &error)
{
    if (m_error == error) {
        return;
    }
    m_error = error;
    Q_EMIT errorChanged();
}
