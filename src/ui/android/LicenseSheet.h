#pragma once

#include <QDialog>
#include <QPointer>
#include <QUrl>

class PillActionButton;
class ComponentInstallation;
class QCheckBox;

/**
 * Asks for the Android SDK licence before the first download: what will be fetched and how much room
 * it needs, the licence itself, and a box the user must tick before installing.
 */
class LicenseSheet : public QDialog
{
    Q_OBJECT

public:
    static const QUrl licensePage;

    explicit LicenseSheet(ComponentInstallation &installation, QWidget *parent = nullptr);

    QCheckBox *agreement() const { return m_agreement; }
    PillActionButton *installButton() const { return m_install; }

protected:
    void reject() override;

private:
    void onLicenseCheckedChanged();

    QPointer<ComponentInstallation> m_installation;
    QCheckBox *m_agreement;
    PillActionButton *m_install;
};
