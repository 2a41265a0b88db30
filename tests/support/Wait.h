#pragma once

#include <QTest>

/**
 * Runs the event loop until `condition` holds or `milliseconds` pass; says whether it held.
 * (QTest's QTRY_ macros report through QTest, which GoogleTest does not see.)
 */
template<typename Condition>
bool waitUntil(Condition condition, int milliseconds = 5000)
{
    return QTest::qWaitFor(condition, milliseconds);
}
