#include "services/GlobalLogModel.h"

#include "platform/Error.h"
#include "services/AppLog.h"
#include "services/FileIO.h"
#include "services/Interaction.h"

#include <QDateTime>
#include <QPointer>

GlobalLogModel::GlobalLogModel(QObject *parent)
    : QObject(parent)
    , m_text(AppLog::readTail(AppLog::displayTailBytes))
{
    // The notifier lives on the main thread, so the reload runs there; the connection ends with this object.
    connect(AppLog::Notifier::instance(), &AppLog::Notifier::changed, this, &GlobalLogModel::reload);
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
    setText(AppLog::readTail(AppLog::displayTailBytes));
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
