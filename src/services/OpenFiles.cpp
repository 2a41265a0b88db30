#include "services/OpenFiles.h"

#include "platform/Error.h"
#include "platform/Host.h"
#include "platform/ProcessTableScan.h"
#include "services/Command.h"

#include <QCoroFuture>
#include <QtConcurrent>

#include <QSet>

#include <algorithm>

namespace OpenFiles {
namespace {

bool isProcessId(const QString &line)
{
    return !line.isEmpty() && std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.isDigit(); });
}

} // namespace

QCoro::Task<bool> inUse(QString folder, double timeoutSeconds)
{
    const QString table = Host::current().processTable();
    if (!table.isEmpty()) {
        const ProcessTableScan::Result scan =
            co_await QtConcurrent::run(ProcessTableScan::holders, table, folder);
        if (scan.failure) {
            throw VMFailure(QStringLiteral("无法检查是否有程序正在使用 ") + folder +
                            QStringLiteral("：进程列表无法读取（") + *scan.failure + QStringLiteral("）。"));
        }
        co_return !scan.holders.isEmpty();
    }
    const ToolCommand probe = Host::current().openFilesProbeCommand(folder);
    const QSet<int> accepted{0, 1};
    QString output;
    try {
        output =
            co_await Command::run(probe.program, probe.arguments, std::nullopt, timeoutSeconds, accepted);
    } catch (...) {
        co_return false;
    }
    const QStringList lines = output.split(u'\n');
    co_return std::any_of(lines.cbegin(), lines.cend(),
                          [](const QString &line) { return isProcessId(line.trimmed()); });
}

} // namespace OpenFiles
