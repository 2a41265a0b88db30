#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdlib>
#include <unistd.h>

/**
 * A benchmark never reads or writes a real user's data or settings: HOME and the XDG folders point
 * into a fresh folder under `base` for as long as this lives, and the folder goes with it; it is also
 * the working folder. Made before the application object, which reads them.
 */
class BenchSandbox
{
public:
    explicit BenchSandbox(const QByteArray &base = "/tmp")
    {
        QByteArray folder = base + "/corvane-bench-XXXXXX";
        if (::mkdtemp(folder.data()) == nullptr || ::chdir(folder.constData()) != 0) {
            std::exit(2);
        }
        for (const char *variable :
             {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            ::setenv(variable, folder.constData(), 1);
        }
        const QByteArray runtime = folder + "/runtime";
        QDir().mkpath(QString::fromLocal8Bit(runtime));
        QFile::setPermissions(QString::fromLocal8Bit(runtime),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        ::setenv("XDG_RUNTIME_DIR", runtime.constData(), 1);
        m_path = QString::fromLocal8Bit(folder);
    }
    ~BenchSandbox() { QDir(m_path).removeRecursively(); }
    BenchSandbox(const BenchSandbox &) = delete;
    BenchSandbox &operator=(const BenchSandbox &) = delete;

    const QString &path() const { return m_path; }

private:
    QString m_path;
};
