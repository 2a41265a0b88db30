#pragma once

#include <QCoroTask>
#include <QPointer>
#include <QWidget>

#include <memory>

class PillActionButton;
class QLabel;
class QMessageBox;
class QSettings;
class QToolButton;
class VPhoneDisclaimerSheet;

/**
 * The experimental page about vphone-cli, an outside tool that runs virtual iPhones. It only looks
 * whether the tool is in place, reads the System Integrity Protection status, and explains how to start
 * the tool by hand. Handing the user over to the tool's documentation takes an explicit disclaimer;
 * once agreed, the page locks itself for good and checks nothing more.
 */
class VPhoneBetaView : public QWidget
{
    Q_OBJECT

public:
    explicit VPhoneBetaView(QWidget *parent = nullptr);
    ~VPhoneBetaView() override;

    /** The program that reports the SIP status; the system's csrutil unless a test hands in another. */
    const QString &csrutilPath() const { return m_csrutil; }
    void setCsrutilPath(const QString &path) { m_csrutil = path; }

    bool permanentlyBlocked() const { return m_permanentlyBlocked; }
    const QString &sipStatus() const { return m_sipStatus; }
    /** Whether a SIP check is under way. */
    bool checking() const { return m_checking; }

    QLabel *toolStatus() const { return m_toolStatus; }
    QLabel *messageLine() const { return m_message; }
    QLabel *sipLine() const { return m_sip; }
    QWidget *lockedNotice() const { return m_locked; }
    PillActionButton *openFolderButton() const { return m_openFolder; }
    PillActionButton *checkSipButton() const { return m_checkSip; }
    PillActionButton *terminalButton() const { return m_terminal; }
    QToolButton *copyButton() const { return m_copy; }
    /** The disclaimer and the final notice while they are open, else nullptr. */
    VPhoneDisclaimerSheet *disclaimerSheet() const;
    QMessageBox *finalNotice() const;

    /** Looks again whether the tool is in place. */
    void showToolStatus();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *buildIntroduction();
    QWidget *buildLockedNotice();
    QWidget *buildStatus();
    QWidget *buildProcedure();
    void showPhase();
    void setSipStatus(const QString &status);
    void onCheckSipClicked();
    QCoro::Task<> checkSip();
    void onCopyClicked();
    void onDisclaimerAccepted();

    std::unique_ptr<QSettings> m_store;
    QString m_csrutil;
    QString m_sipStatus;
    bool m_permanentlyBlocked = false;
    bool m_checking = false;
    QLabel *m_toolStatus = nullptr;
    QLabel *m_message = nullptr;
    QLabel *m_sip = nullptr;
    QWidget *m_locked = nullptr;
    PillActionButton *m_openFolder = nullptr;
    PillActionButton *m_checkSip = nullptr;
    PillActionButton *m_terminal = nullptr;
    QToolButton *m_copy = nullptr;
    QPointer<VPhoneDisclaimerSheet> m_disclaimer;
    QPointer<QMessageBox> m_finalNotice;
};
