#pragma once

#include <QCoroTask>
#include <QString>

namespace OpenFiles {

/**
 * Whether any process holds a file open under `folder`. Where the system has a process table the
 * answer comes from scanning it on a worker thread, and a table that cannot be read is a failure
 * (VMFailure), never "nobody". Elsewhere the platform's open-files probe answers: lsof exits 1 both
 * when nothing holds the folder and when part of its scan failed (even after it listed holders), and
 * its warnings share the output, so only the process ids it lists count; a probe that cannot run at
 * all answers "nobody".
 */
QCoro::Task<bool> inUse(QString folder, double timeoutSeconds);

} // namespace OpenFiles
