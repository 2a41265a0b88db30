#include "preferences/detail/PreferenceWriter.h"

#include "services/Background.h"

#include <QCoreApplication>
#include <QMutexLocker>

PreferenceWriter &PreferenceWriter::instance()
{
    static PreferenceWriter writer;
    return writer;
}

PreferenceWriter::PreferenceWriter()
{
    // One thread: the changes to a file reach it in order.
    m_worker.setMaxThreadCount(1);
    m_worker.setExpiryTimeout(-1);
    // Whatever is still on its way is stored before the program ends.
    qAddPostRoutine([] { PreferenceWriter::instance().flush(); });
}

PreferenceWriter::~PreferenceWriter()
{
    flush();
}

void PreferenceWriter::set(const QSettings &store, const QString &key, const QVariant &value, Guard guard)
{
    const QString fileName = store.fileName();
    {
        QMutexLocker lock(&m_mutex);
        File &file = m_files[fileName];
        file.format = store.format();
        file.values.insert(key, value);
        file.guard = std::move(guard);
        if (file.scheduled) {
            return;
        }
        file.scheduled = true;
    }
    Background::post(m_worker, [this, fileName] { writeFile(fileName); });
}

std::optional<QVariant> PreferenceWriter::pending(const QSettings &store, const QString &key) const
{
    QMutexLocker lock(&m_mutex);
    const auto file = m_files.constFind(store.fileName());
    if (file == m_files.cend()) {
        return std::nullopt;
    }
    const auto value = file->values.constFind(key);
    return value == file->values.cend() ? std::nullopt : std::optional<QVariant>(*value);
}

void PreferenceWriter::flush()
{
    m_worker.waitForDone();
}

void PreferenceWriter::writeFile(const QString &fileName)
{
    QMutexLocker lock(&m_mutex);
    File &file = m_files[fileName];
    const QHash<QString, QVariant> values = file.values;
    const QSettings::Format format = file.format;
    const Guard guard = file.guard;
    // A change made from here on schedules another pass.
    file.scheduled = false;
    lock.unlock();

    {
        QSettings settings(fileName, format);
        if (!guard || guard(settings)) {
            for (auto it = values.cbegin(); it != values.cend(); ++it) {
                settings.setValue(it.key(), it.value());
            }
            settings.sync();
        }
    }

    lock.relock();
    File &after = m_files[fileName];
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        // A newer value set meanwhile stays visible until its own pass stores it.
        if (after.values.value(it.key()) == it.value()) {
            after.values.remove(it.key());
        }
    }
}
