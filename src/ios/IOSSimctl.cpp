#include "ios/IOSSimctl.h"

#include "platform/Tools.h"
#include "services/Command.h"

#include <optional>

namespace {

IOSSimctl::Options resolved(IOSSimctl::Options options)
{
    if (options.xcrun.isEmpty()) {
        options.xcrun = Tools::xcrun();
    }
    if (options.open.isEmpty()) {
        options.open = Tools::open();
    }
    return options;
}

} // namespace

IOSSimctl::IOSSimctl(Options options)
    : m_options(resolved(std::move(options)))
{}

// The members are read before the first suspension (tasks start at once), so a run outlives nothing.
QCoro::Task<QString> IOSSimctl::run(QStringList arguments, double timeoutSeconds) const
{
    arguments.prepend(QStringLiteral("simctl"));
    const QString output = co_await Command::run(m_options.xcrun, arguments, std::nullopt,
                                                 timeoutSeconds * m_options.timeoutScale);
    co_return output;
}

QCoro::Task<> IOSSimctl::deleteQuietly(QString udid, double timeoutSeconds) const
{
    const QStringList arguments{QStringLiteral("delete"), udid};
    try {
        co_await run(arguments, timeoutSeconds);
    } catch (...) {
        // Best effort: the command runner has already logged why it failed.
    }
}

QCoro::Task<> IOSSimctl::show(QString udid) const
{
    const QStringList arguments{QStringLiteral("-a"), QStringLiteral("Simulator"), QStringLiteral("--args"),
                                QStringLiteral("-CurrentDeviceUDID"), udid};
    co_await Command::run(m_options.open, arguments, std::nullopt, 60 * m_options.timeoutScale);
}
