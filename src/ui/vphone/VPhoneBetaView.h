#pragma once

#include <QPointer>
#include <QWidget>

class PillActionButton;
class QLabel;
class QMessageBox;
class QToolButton;
class VPhoneDisclaimerSheet;
class VPhoneModel;

/**
 * The experimental page about vphone-cli, an outside tool that runs virtual iPhones: it shows what its
 * `VPhoneModel` finds (the tool in place, the System Integrity Protection status) and explains how to
 * start the tool by hand. Handing the user over to the tool's documentation takes an explicit
 * disclaimer; once agreed, the model is locked for good and the page offers no checks.
 */
class VPhoneBetaView : public QWidget
{
    Q_OBJECT

public:
    explicit VPhoneBetaView(VPhoneModel &model, QWidget *parent = nullptr);

    VPhoneModel &model() const { return m_model; }
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

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *buildIntroduction();
    QWidget *buildLockedNotice();
    QWidget *buildStatus();
    QWidget *buildProcedure();
    void showPhase();
    void showToolStatus();
    void onCopyClicked();
    void onDisclaimerAccepted();

    VPhoneModel &m_model;
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
