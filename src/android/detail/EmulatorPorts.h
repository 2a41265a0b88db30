#pragma once

#include <QList>
#include <QSet>

/**
 * Console ports for emulators: the order they are tried in, whether a pair is free on the local host,
 * and the ports this process has already promised to a device (an emulator binds its port only some
 * time after the claim, so a probe alone would hand one port to two devices).
 */
namespace EmulatorPorts {

/** 5580, 5582, …, 5680, then 5554, …, 5578. */
const QList<int> &candidates();
/** Whether `port` and `port` + 1 can both be bound on 127.0.0.1 right now; nothing stays bound. */
bool available(int port);
/** Ports claimed by devices of this process; touched on the GUI thread only. */
QSet<int> &reserved();

} // namespace EmulatorPorts
