// `corvanectl snapshot …`: the snapshots of an Android device, the Linux machine or the Windows bundle,
// through their models, so the same locks, messages and log lines apply as in the window.
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/Guests.h"
#include "cli/Terminal.h"
#include "linux/LinuxModel.h"
#include "linux/engine/QemuEngine.h"
#include "platform/Host.h"
#include "services/SnapshotText.h"
#include "windows/WindowsModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>
#include <memory>

namespace {

/** One guest kind's snapshot operations, seen alike. */
struct Target
{
    QString name;
    /** Why nothing can be snapshotted (not installed, no bundle); empty when it can. */
    QString unavailable;
    std::function<QList<SnapshotRecord>()> snapshots;
    std::function<QCoro::Task<>()> create;
    std::function<QCoro::Task<>()> rollback;
    std::function<void()> deleteLatest;
    std::function<QString()> error;
};

/** Keeps the models a target works through alive for the command's length. */
struct Models
{
    std::unique_ptr<VMFleet> fleet;
    std::unique_ptr<QemuEngine> engine;
    std::unique_ptr<LinuxModel> linuxModel;
    std::unique_ptr<WindowsModel> windows;
};

Target target(Models &models, const QString &guest)
{
    if (guest == QLatin1String("linux")) {
        models.engine = std::make_unique<QemuEngine>();
        models.linuxModel = std::make_unique<LinuxModel>(*models.engine);
        LinuxModel *model = models.linuxModel.get();
        return {QStringLiteral("Linux 虚拟机"),
                model->prepared() ? QString() : QStringLiteral("Linux 虚拟机尚未准备好。"),
                [model] { return model->snapshots(); },
                [model] { return model->createSnapshot(); },
                [model] { return model->rollbackLatestSnapshot(); },
                [model] { model->deleteLatestSnapshot(); },
                [model] { return model->error(); }};
    }
    if (guest == QLatin1String("windows")) {
        models.windows = std::make_unique<WindowsModel>(Host::dataRoot());
        WindowsModel *model = models.windows.get();
        return {QStringLiteral("Windows 虚拟机"),
                model->projectPath() ? QString() : QStringLiteral("尚未关联 Windows 虚拟机。"),
                [model] { return model->snapshots(); },
                [model] { return model->createSnapshot(); },
                [model] { return model->rollbackLatestSnapshot(); },
                [model] { model->deleteLatestSnapshot(); },
                [model] { return model->error(); }};
    }
    models.fleet = std::make_unique<VMFleet>();
    VMModel *model = &Guests::android(*models.fleet, guest);
    return {model->name(),
            model->installed() ? QString() : QStringLiteral("安卓环境尚未安装。"),
            [model] { return model->snapshots(); },
            [model] { return model->createSnapshot(); },
            [model] { return model->rollbackLatestSnapshot(); },
            [model] { model->deleteLatestSnapshot(); },
            [model] { return model->error(); }};
}

QString utc(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

/** The latest snapshot, which must be `wanted` when one is named. Throws CommandFailure. */
SnapshotRecord latest(const Target &guest, const QString &wanted, const QString &verb)
{
    const QList<SnapshotRecord> all = guest.snapshots();
    if (all.isEmpty()) {
        throw CommandFailure{guest.name + QStringLiteral(" 没有快照。")};
    }
    if (wanted.isEmpty() || all.first().id == wanted) {
        return all.first();
    }
    for (const SnapshotRecord &record : all) {
        if (record.id == wanted) {
            throw CommandFailure{QStringLiteral("只能") + verb + QStringLiteral("最新的快照（") +
                                 all.first().id + QStringLiteral("），") + wanted +
                                 QStringLiteral(" 不是最新的。")};
        }
    }
    throw CommandFailure{guest.name + QStringLiteral(" 没有快照 ") + wanted + QStringLiteral("。")};
}

void failOnError(const Target &guest, const QString &what)
{
    if (const QString error = guest.error(); !error.isEmpty()) {
        throw CommandFailure{what + QStringLiteral("失败（") + guest.name + QStringLiteral("）：") + error};
    }
}

} // namespace

namespace Commands {

QCoro::Task<int> snapshot(QStringList words)
{
    if (words.isEmpty()) {
        throw UsageError{QStringLiteral("缺少操作。运行 corvanectl help snapshot 查看用法。")};
    }
    const QString action = words.takeFirst();
    const Arguments arguments = Arguments::parse(words, {QStringLiteral("--json")});
    const QString usage = QStringLiteral("corvanectl snapshot ") + action + QStringLiteral(" 客体");
    if (action == QLatin1String("create") || action == QLatin1String("list")) {
        arguments.expectPositional(
            1, usage + (action == QLatin1String("list") ? QStringLiteral(" [--json]") : QString()));
    } else if (action == QLatin1String("rollback") || action == QLatin1String("delete")) {
        if (arguments.positional.size() != 2) {
            arguments.expectPositional(1, usage + QStringLiteral(" [快照ID]"));
        }
    } else {
        throw UsageError{QStringLiteral("未知的快照操作：") + action};
    }

    Models models;
    const Target guest = target(models, arguments.positional.first());
    if (action == QLatin1String("list")) {
        const QList<SnapshotRecord> all = guest.snapshots();
        if (arguments.has(QStringLiteral("--json"))) {
            QJsonArray entries;
            for (const SnapshotRecord &record : all) {
                entries.append(QJsonObject{{QStringLiteral("id"), record.id},
                                           {QStringLiteral("createdAt"), utc(record.createdAt)},
                                           {QStringLiteral("name"), record.displayName}});
            }
            Terminal::out(QString::fromUtf8(QJsonDocument(entries).toJson(QJsonDocument::Indented)));
        } else if (all.isEmpty()) {
            Terminal::err(guest.name + QStringLiteral(" 尚未创建快照。"));
        } else {
            QList<QStringList> rows;
            for (const SnapshotRecord &record : all) {
                rows.append({record.id, SnapshotText::shortDateTime(record.createdAt), record.displayName});
            }
            Terminal::out(Terminal::table(
                {QStringLiteral("ID"), QStringLiteral("时间"), QStringLiteral("名称")}, rows));
        }
        co_return Success;
    }
    if (!guest.unavailable.isEmpty()) {
        throw CommandFailure{guest.unavailable};
    }
    if (action == QLatin1String("create")) {
        const QList<SnapshotRecord> before = guest.snapshots();
        co_await guest.create();
        failOnError(guest, QStringLiteral("创建快照"));
        const QList<SnapshotRecord> after = guest.snapshots();
        if (after.isEmpty() || (!before.isEmpty() && after.first().id == before.first().id)) {
            throw CommandFailure{QStringLiteral("创建快照失败（") + guest.name +
                                 QStringLiteral("）：正在运行或忙碌。")};
        }
        Terminal::out(after.first().id);
        co_return Success;
    }
    const QString wanted = arguments.positional.value(1);
    if (action == QLatin1String("rollback")) {
        const SnapshotRecord record = latest(guest, wanted, QStringLiteral("回滚到"));
        co_await guest.rollback();
        failOnError(guest, QStringLiteral("回滚"));
        Terminal::err(guest.name + QStringLiteral(" 已回滚到快照 ") + record.id + QStringLiteral("。"));
        co_return Success;
    }
    const SnapshotRecord record = latest(guest, wanted, QStringLiteral("删除"));
    guest.deleteLatest();
    failOnError(guest, QStringLiteral("删除快照"));
    Terminal::err(QStringLiteral("已删除 ") + guest.name + QStringLiteral(" 的快照 ") + record.id +
                  QStringLiteral("。"));
    co_return Success;
}

} // namespace Commands
