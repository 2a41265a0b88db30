#pragma once

#include <chrono>

/** How long an Android device waits between its polls; tests and the command line shorten these. */
struct VMTiming
{
    std::chrono::milliseconds bootPollInterval{2000};
    int bootAttempts = 120;
    std::chrono::milliseconds stopPollInterval{200};
    int stopPollsBeforeTerminate = 30;
    int stopPollsBeforeKill = 25;
    int repeatedStopPollsBeforeKill = 150;
    std::chrono::milliseconds forceQuitPollInterval{50};
    int forceQuitPolls = 100;
};
