#pragma once

#include <QDialog>

class PillActionButton;
class QCheckBox;
class QPlainTextEdit;

/**
 * The disclaimer the user must accept before being handed over to the phone tool's own documentation.
 * "同意并继续" is enabled only while the agreement box is checked; the page that opened the sheet acts
 * on it and closes the sheet.
 */
class VPhoneDisclaimerSheet : public QDialog
{
    Q_OBJECT

public:
    explicit VPhoneDisclaimerSheet(QWidget *parent = nullptr);

    static QString disclaimer();

    QCheckBox *agreement() const { return m_agreement; }
    PillActionButton *agreeButton() const { return m_agree; }
    PillActionButton *cancelButton() const { return m_cancel; }
    QPlainTextEdit *text() const { return m_text; }

Q_SIGNALS:
    void agreed();

private:
    QCheckBox *m_agreement;
    PillActionButton *m_agree;
    PillActionButton *m_cancel;
    QPlainTextEdit *m_text;
};
