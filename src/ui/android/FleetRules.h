#pragma once

#include <QString>

#include <optional>

/** What the Android page shows for the fleet as a whole and for each entry of its device row. */
namespace FleetRules {

struct FleetActions
{
    bool add = false;
    bool duplicate = false;
    bool remove = false;
};

FleetActions actions(bool creating, bool empty);

/** The delete confirmation's message for the device of that name, or for one that is no longer there. */
QString deletionMessage(const std::optional<QString> &name);

enum class Dot { Green, Orange, Grey };

/** Green once Android has booted, orange while its emulator runs but it has not, grey otherwise. */
Dot dot(bool running, bool booted);

} // namespace FleetRules
