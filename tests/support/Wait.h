#pragma once

#include <QTest>

#include <sys/resource.h>

/**
 * Runs the event loop until `condition` holds or `milliseconds` pass; says whether it held.
 * (QTest's QTRY_ macros report through QTest, which GoogleTest does not see.)
 */
template<typename Condition> bool waitUntil(Condition condition, int milliseconds = 5000)
{
    return QTest::qWaitFor(condition, milliseconds);
}

/** The processor time this process has used so far, in milliseconds. */
inline double processCpuMilliseconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}
