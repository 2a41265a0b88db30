#pragma once

#include "services/SnapshotRecord.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>

/** How every guest words its snapshots on screen. */
namespace SnapshotText {

/** A time in the user's short date and short time styles. */
inline QString shortDateTime(const QDateTime &time)
{
    return QLocale::system().toString(time.toLocalTime(), QLocale::ShortFormat);
}

/** The one-line summary under a guest's snapshot buttons. */
inline QString summary(const std::optional<SnapshotRecord> &latest)
{
    return latest ? QStringLiteral("最近快照：") + shortDateTime(latest->createdAt) : QStringLiteral("尚未创建快照");
}

} // namespace SnapshotText
