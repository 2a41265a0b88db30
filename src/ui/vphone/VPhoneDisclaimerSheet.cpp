#include "ui/vphone/VPhoneDisclaimerSheet.h"

#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/PillActionButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

QString VPhoneDisclaimerSheet::disclaimer()
{
    return QStringLiteral(
        "使用 vphone-cli 可能需要降低 SIP 或其他系统安全策略，这可能导致系统文件被修改、恶意软件防护能力下降、"
        "系统无法启动、应用异常、数据丢失或需要恢复 macOS。请先备份重要数据。所有系统设置修改均由用户自行决定和执行。"
        "Corvane 作者、贡献者及分发方不对由此造成的系统故障、数据损失或其他损害承担责任；vphone-cli "
        "属于第三方项目，使用须遵守其许可。");
}

VPhoneDisclaimerSheet::VPhoneDisclaimerSheet(QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_agreement(new QCheckBox(QStringLiteral("我已阅读并同意以上免责协议")))
    , m_agree(Controls::pill(QStringLiteral("同意并继续"), {}, Controls::PillStyle::CompactProminent))
    , m_cancel(Controls::pill(QStringLiteral("取消")))
    , m_text(new QPlainTextEdit(disclaimer()))
{
    const QString title = QStringLiteral("实验功能免责协议");
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    resize(560, 420);
    auto *heading = new QLabel(title);
    heading->setFont(Appearance::font(17, QFont::DemiBold));
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_agree->setEnabled(false);
    connect(m_agreement, &QCheckBox::toggled, m_agree, &QWidget::setEnabled);
    connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(m_agree, &QAbstractButton::clicked, this, [this] {
        if (m_agreement->isChecked()) {
            Q_EMIT agreed();
        }
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_agree);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(22, 20, 22, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(m_text, 1);
    column->addWidget(m_agreement);
    column->addLayout(buttons);
}
