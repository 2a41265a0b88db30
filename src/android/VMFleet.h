#pragma once

#include "android/VMPaths.h"
#include "android/VMTiming.h"
#include "services/PropertyField.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class VMModel;

/**
 * Every Android device of the user, in display order, with one selected. The first device lives in
 * the data folder, which also holds the shared SDK; further devices live under its "instances"
 * folder. Adds devices, makes independent copies of stopped ones, moves deleted ones to the Trash,
 * and gives each device the check that keeps all running guests within the memory budget.
 */
class VMFleet : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString selected READ selected WRITE setSelected NOTIFY selectedChanged)
    Q_PROPERTY(bool creating READ creating NOTIFY creatingChanged)
    Q_PROPERTY(QString error READ error NOTIFY errorChanged)

public:
    static inline const QString primaryId = QStringLiteral("primary");

    /** What the fleet is made with besides its folder. */
    struct Options
    {
        /** How every device made here times its polls. */
        VMTiming timing;
        /** Memory in MiB used by guests outside the fleet; counted against the budget of every start. */
        std::function<qint64()> externalMemoryMB;
    };

    /** Loads the devices found under `root` (the data root when empty). */
    explicit VMFleet(QString root = {}, Options options = {}, QObject *parent = nullptr);
    ~VMFleet() override;

    const QList<VMModel *> &models() const { return m_models; }
    const QString &selected() const { return m_selected; }
    void setSelected(const QString &id) { m_selected.set(id); }
    bool creating() const { return m_creating; }
    const QString &error() const { return m_error; }
    void clearError() { m_error.set(QString()); }
    const VMPaths &shared() const { return m_shared; }

    /** The selected device, or the first one when no device has the selected id; nullptr when empty. */
    VMModel *current() const;
    /** "安卓 " and the smallest number no device's name uses yet. */
    QString nextName() const;

    void addDevice();
    /** Copies the current device in the background; refuses unless it is installed and idle. */
    void duplicate();
    /** Moves a stopped device to the Trash in the background. */
    void deleteDevice(QString id);

    /**
     * The work behind duplicate() and deleteDevice(). The checks and flags happen before the first
     * suspension, so a caller that awaits these sees exactly what the synchronous entries do.
     * Failures end up in `error`; the tasks themselves never throw.
     */
    QCoro::Task<> duplicateTask();
    QCoro::Task<> deleteTask(QString id);

Q_SIGNALS:
    void modelsChanged();
    void selectedChanged();
    void creatingChanged();
    void errorChanged();

private:
    struct OperationEnd;

    VMModel *device(const QString &id) const;
    VMModel *addModel(const VMPaths &paths, const QString &id, const QString &name);
    /** Makes a device of this fleet: its timing, and the check that keeps every start within the budget. */
    VMModel *makeModel(const VMPaths &paths, const QString &id, const QString &name);
    bool fitsBudget(VMModel &model) const;
    void removeModels(const QString &id);

    const VMPaths m_shared;
    const Options m_options;
    QList<VMModel *> m_models;
    PropertyField<QString, &VMFleet::selectedChanged> m_selected{this};
    PropertyField<bool, &VMFleet::creatingChanged> m_creating{this};
    PropertyField<QString, &VMFleet::errorChanged> m_error{this};
};
