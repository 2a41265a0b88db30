#pragma once

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <memory>

class QSettings;

/**
 * What the experimental phone-tool page shows about vphone-cli, an outside tool that runs virtual
 * iPhones: whether the tool is in place, the System Integrity Protection status as `csrutil status`
 * prints it, and the permanent lock the user sets by agreeing to the disclaimer. Once locked (here or
 * by any other page of this user account), the model checks nothing more and opens nothing but the
 * tool's documentation.
 */
class VPhoneModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool toolFound READ toolFound NOTIFY toolFoundChanged)
    Q_PROPERTY(QString sipStatus READ sipStatus NOTIFY sipStatusChanged)
    Q_PROPERTY(bool checking READ checking NOTIFY checkingChanged)
    Q_PROPERTY(bool permanentlyBlocked READ permanentlyBlocked NOTIFY permanentlyBlockedChanged)

public:
    /** `csrutil` reports the SIP status: the system's one unless a test hands in another. */
    explicit VPhoneModel(QString csrutil = {}, QObject *parent = nullptr);
    ~VPhoneModel() override;

    const QString &csrutilPath() const { return m_csrutil; }
    /** Whether the tool was in place when last looked for. */
    bool toolFound() const { return m_toolFound; }
    /** What the last SIP check printed, or why it failed; "尚未检测" before the first. */
    const QString &sipStatus() const { return m_sipStatus; }
    /** Whether a SIP check is under way. */
    bool checking() const { return m_checking; }
    bool permanentlyBlocked() const { return m_permanentlyBlocked; }
    /** One check at a time, and none once locked: a second run could finish first and be overwritten. */
    bool canCheckSip() const { return !m_permanentlyBlocked && !m_checking; }

    /** Looks again whether the tool is in place. */
    void lookForTool();
    /** Runs `csrutil status` unless a check is under way or the page is locked. */
    void checkSip();
    /** Shows the tool's folder, created first so there is a place to put the tool; not once locked. */
    void openFolder();
    void openTerminal();
    /** The user agreed to the disclaimer: locks for good and opens the tool's documentation. */
    void agreeToDisclaimer();

Q_SIGNALS:
    void toolFoundChanged();
    void sipStatusChanged();
    void checkingChanged();
    void permanentlyBlockedChanged();

private:
    QCoro::Task<> runSipCheck();
    void setChecking(bool checking);
    void setPermanentlyBlocked(bool blocked);

    std::unique_ptr<QSettings> m_store;
    const QString m_csrutil;
    QString m_sipStatus;
    bool m_toolFound = false;
    bool m_checking = false;
    bool m_permanentlyBlocked = false;
};
