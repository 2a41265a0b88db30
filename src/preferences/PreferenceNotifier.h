#pragma once

#include <QObject>
#include <QString>

/** Announces, on the GUI thread, that a preference was written here, so readers can react at once. */
class PreferenceNotifier : public QObject
{
    Q_OBJECT

public:
    static PreferenceNotifier *instance();

Q_SIGNALS:
    void changed(const QString &key);

private:
    PreferenceNotifier() = default;
};
