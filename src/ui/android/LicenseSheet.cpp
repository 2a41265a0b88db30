#include "ui/android/LicenseSheet.h"

#include "android/ComponentInstallation.h"
#include "ui/android/DeviceRules.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/PillActionButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

const QUrl LicenseSheet::licensePage{QStringLiteral("https://developer.android.com/studio/terms")};

LicenseSheet::LicenseSheet(ComponentInstallation &installation, QWidget *parent)
    : QDialog(parent, Qt::Sheet)
    , m_installation(&installation)
    , m_agreement(new QCheckBox(QStringLiteral("我已阅读并同意 Android SDK 许可协议")))
    , m_install(Controls::pill(QStringLiteral("同意并安装"), {}, Controls::PillStyle::CompactProminent))
{
    const QString title = QStringLiteral("安装安卓环境");
    setWindowTitle(title);
    resize(640, 560);
    auto *heading = new QLabel(title);
    heading->setFont(Appearance::font(17, QFont::DemiBold));
    auto *summary = Controls::paragraph(DeviceRules::licenseSummary());

    auto *link = new QLabel(
        QStringLiteral("<a href=\"%1\">查看 Android SDK 官方许可网页</a>").arg(licensePage.toString()));
    link->setTextFormat(Qt::RichText);
    link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    link->setOpenExternalLinks(false);
    connect(link, &QLabel::linkActivated, this, [this] { DesktopOpen::url(this, licensePage); });

    auto *licenseText = new QPlainTextEdit(ComponentInstallation::license());
    licenseText->setReadOnly(true);
    licenseText->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_agreement->setChecked(installation.licenseChecked());
    connect(m_agreement, &QCheckBox::toggled, this, [this](bool checked) {
        if (m_installation) {
            m_installation->setLicenseChecked(checked);
        }
    });
    connect(&installation, &ComponentInstallation::licenseCheckedChanged, this,
            &LicenseSheet::onLicenseCheckedChanged);

    auto *note = Controls::caption(QStringLiteral("不会代替你自动接受第三方许可。"),
                                   Controls::CaptionSize::Body, Controls::CaptionWrap::SingleLine);

    auto *cancel = Controls::pill(QStringLiteral("取消"));
    connect(cancel, &QAbstractButton::clicked, this, &LicenseSheet::reject);
    connect(m_install, &QAbstractButton::clicked, this, [this] {
        if (m_installation) {
            m_installation->acceptAndInstall();
        }
    });

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(m_install);
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 22, 24, 16);
    column->setSpacing(12);
    column->addWidget(heading);
    column->addWidget(summary);
    column->addWidget(link);
    column->addWidget(licenseText, 1);
    column->addWidget(m_agreement);
    column->addWidget(note);
    column->addLayout(buttons);
    onLicenseCheckedChanged();
}

void LicenseSheet::onLicenseCheckedChanged()
{
    const bool checked = m_installation && m_installation->licenseChecked();
    m_agreement->setChecked(checked);
    m_install->setEnabled(checked);
}

void LicenseSheet::reject()
{
    // Closing the sheet in any way is the cancel button.
    if (m_installation) {
        m_installation->setShowLicense(false);
    }
    QDialog::reject();
}
