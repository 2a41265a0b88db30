#include "FakeHost.h"

FakeHost::FakeHost(int processors, qint64 memory)
    : processors(processors)
    , memory(memory)
{
    Host::install(this);
}

FakeHost::~FakeHost()
{
    Host::install(nullptr);
}

QList<QUrl> FakeHost::opened() const
{
    const std::lock_guard lock(m_mutex);
    return m_opened;
}

bool FakeHost::openUrl(const QUrl &url)
{
    const std::lock_guard lock(m_mutex);
    m_opened.append(url);
    return urlsOpen;
}

QList<QPair<QString, QString>> FakeHost::openedWithApplication() const
{
    const std::lock_guard lock(m_mutex);
    return m_openedWithApplication;
}

bool FakeHost::openWithApplication(const QString &applicationPath, const QString &file)
{
    const std::lock_guard lock(m_mutex);
    m_openedWithApplication.append({applicationPath, file});
    return applicationOpens;
}

QStringList FakeHost::openedApplications() const
{
    const std::lock_guard lock(m_mutex);
    return m_openedApplications;
}

bool FakeHost::openApplication(const QString &path)
{
    const std::lock_guard lock(m_mutex);
    m_openedApplications.append(path);
    return applicationOpens;
}
