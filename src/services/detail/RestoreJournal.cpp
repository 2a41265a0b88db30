#include "services/detail/RestoreJournal.h"

#include "services/FileIO.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QUuid>

namespace RestoreJournal {
namespace {

const auto restorePrefix = QStringLiteral(".snapshot-restore-");
const auto backupPrefix = QStringLiteral(".snapshot-backup-");
const auto suffix = QStringLiteral(".json");
constexpr qint64 journalLimit = qint64(16) * 1024;

QString newId()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

// Names read back from a note must stay beside the source: a hostile note cannot point elsewhere.
bool isTemporaryName(const QString &name, const QString &prefix)
{
    static const QRegularExpression uuid(
        QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
    return name.startsWith(prefix) && uuid.match(name.mid(prefix.size())).hasMatch();
}

} // namespace

Entry begin(const QString &source)
{
    const QFileInfo info(source);
    const QString folder = info.absolutePath();
    const QString restoreName = restorePrefix + newId();
    const QString backupName = backupPrefix + newId();
    const Entry entry{folder + u'/' + restoreName + suffix, info.absoluteFilePath(),
                      folder + u'/' + restoreName, folder + u'/' + backupName};
    const QJsonObject note{{QStringLiteral("source"), info.fileName()},
                           {QStringLiteral("restore"), restoreName},
                           {QStringLiteral("backup"), backupName}};
    FileIO::writeAtomically(entry.journal, QJsonDocument(note).toJson(QJsonDocument::Compact));
    return entry;
}

void end(const Entry &entry)
{
    FileIO::removeIfPresent(entry.journal);
}

QList<Entry> pending(const QString &source)
{
    const QFileInfo info(source);
    const QString folder = info.absolutePath();
    const QStringList notes =
        QDir(folder).entryList({restorePrefix + u'*' + suffix}, QDir::Files | QDir::Hidden, QDir::Name);
    QList<Entry> found;
    for (const QString &name : notes) {
        const std::optional<QByteArray> bytes = FileIO::readSmallFile(folder + u'/' + name, journalLimit);
        if (!bytes) {
            continue;
        }
        const QJsonObject note = QJsonDocument::fromJson(*bytes).object();
        const QString restoreName = note.value(QStringLiteral("restore")).toString();
        const QString backupName = note.value(QStringLiteral("backup")).toString();
        if (note.value(QStringLiteral("source")).toString() != info.fileName() ||
            !isTemporaryName(restoreName, restorePrefix) || !isTemporaryName(backupName, backupPrefix)) {
            continue;
        }
        found.append({folder + u'/' + name, info.absoluteFilePath(), folder + u'/' + restoreName,
                      folder + u'/' + backupName});
    }
    return found;
}

} // namespace RestoreJournal
