#pragma once

#include <QCoroTask>
#include <QString>
#include <QStringList>

/**
 * The only programs the iOS side runs: `xcrun simctl`, and `open` to show a device in the Simulator
 * application. Fixed when made; every run ends at its own time-out.
 */
class IOSSimctl
{
public:
    struct Options
    {
        /** Empty: the system's own xcrun and open. */
        QString xcrun;
        QString open;
        /** Every time-out is multiplied by this; tests shrink them to watch each one end a run. */
        double timeoutScale = 1;
    };

    explicit IOSSimctl(Options options);

    /** Runs `xcrun simctl` with these arguments; only exit status 0 is success. */
    QCoro::Task<QString> run(QStringList arguments, double timeoutSeconds) const;
    /** Runs `xcrun simctl delete`, swallowing a failure (the runner has logged it). */
    QCoro::Task<> deleteQuietly(QString udid, double timeoutSeconds) const;
    /** Brings the Simulator application forward showing this device. */
    QCoro::Task<> show(QString udid) const;

private:
    const Options m_options;
};
