#pragma once

#include <QCoroTask>
#include <QString>

namespace OpenFiles {

/**
 * Whether any process holds a file open under `folder`, asked of the platform's open-files probe.
 * lsof exits 1 both when nothing holds the folder and when part of its scan failed (even after it
 * listed holders), and its warnings share the output: only the process ids it lists count. A probe
 * that cannot run at all answers "nobody".
 */
QCoro::Task<bool> inUse(QString folder, double timeoutSeconds);

} // namespace OpenFiles
