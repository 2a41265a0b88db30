#pragma once

#include <QString>

#include <optional>

/**
 * Which corvanectl process runs a guest. The owner keeps `<data root>/corvanectl/<guest>.owner`
 * locked with flock while it runs the guest and writes its process id and port there; another
 * corvanectl reads it to stop that guest by signalling the owner. The lock dies with the owner, so a
 * note left by a killed process reads as nobody's.
 */
class OwnerNote
{
public:
    struct Owner
    {
        qint64 pid = 0;
        int port = 0;
    };

    OwnerNote(const OwnerNote &) = delete;
    OwnerNote &operator=(const OwnerNote &) = delete;
    ~OwnerNote();

    /** Claims the note for this process, or nothing when another process holds it. Throws CommandFailure. */
    static std::optional<OwnerNote> claim(const QString &guest);
    /** The corvanectl process running `guest`, if any. */
    static std::optional<Owner> read(const QString &guest);
    static QString path(const QString &guest);

    void setPort(int port);

    OwnerNote(OwnerNote &&other) noexcept;

private:
    explicit OwnerNote(int descriptor, QString path);
    void write(int port);

    int m_descriptor = -1;
    QString m_path;
};
