#pragma once

class VMPaths;

/**
 * What the fleet does at load with the traces of work the program did not live to finish: snapshot
 * operations of each device are finished or undone, half-made device copies are removed, and a
 * deletion cut short is completed. Devices another copy of the application holds are left to it.
 * Every finding is one WARN line in the global log.
 */
namespace FleetRecovery {

void run(const VMPaths &shared);

} // namespace FleetRecovery
