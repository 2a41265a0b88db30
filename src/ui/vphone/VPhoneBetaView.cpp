#include "ui/vphone/VPhoneBetaView.h"

#include "ios/vphone/VPhoneModel.h"
#include "ios/vphone/VPhoneTool.h"
#include "ui/logs/LogClipboard.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/ChineseFont.h"
#include "ui/style/Controls.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/Symbols.h"
#include "ui/vphone/VPhoneDisclaimerSheet.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

VPhoneBetaView::VPhoneBetaView(VPhoneModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    QVBoxLayout *column = PageScroll::column(this, QMargins(0, 0, 8, 8));
    column->addWidget(buildIntroduction());
    column->addWidget(buildLockedNotice());
    column->addWidget(buildStatus());
    column->addWidget(buildProcedure());
    column->addWidget(
        Controls::caption(QStringLiteral("当前版本先提供隔离检测入口。只有当 vphone-cli 能在本机正常启动后，"
                                         "才会开放创建和启动虚拟 iPhone。")));
    column->addStretch();

    connect(&m_model, &VPhoneModel::permanentlyBlockedChanged, this, &VPhoneBetaView::showPhase);
    connect(&m_model, &VPhoneModel::checkingChanged, this, &VPhoneBetaView::showPhase);
    connect(&m_model, &VPhoneModel::toolFoundChanged, this, &VPhoneBetaView::showToolStatus);
    connect(&m_model, &VPhoneModel::sipStatusChanged, this, [this] { m_sip->setText(m_model.sipStatus()); });
    showPhase();
    m_model.lookForTool();
    showToolStatus();
}

VPhoneDisclaimerSheet *VPhoneBetaView::disclaimerSheet() const
{
    return m_disclaimer;
}

QMessageBox *VPhoneBetaView::finalNotice() const
{
    return m_finalNotice;
}

QWidget *VPhoneBetaView::buildIntroduction()
{
    auto *introduction = new QWidget;
    auto *column = new QVBoxLayout(introduction);
    column->setContentsMargins(4, 0, 4, 0);
    column->setSpacing(6);
    auto *title = new QLabel(QStringLiteral("iPhone Beta"));
    title->setFont(Appearance::font(26, QFont::Bold));
    auto *heading = new QLabel(QStringLiteral("vphone-cli 实验性接入"));
    heading->setFont(Appearance::font(17, QFont::DemiBold));
    column->addWidget(title);
    column->addWidget(heading);
    column->addWidget(
        Controls::caption(QStringLiteral("此功能依赖第三方实验性工具，不使用官方 iOS Simulator。"
                                         "不会修改 SIP、AMFI 或 authenticated-root。")));
    auto *risk = Controls::paragraph(
        QStringLiteral("安装风险：运行此实验工具可能需要降低 macOS 系统安全策略；请勿关闭 "
                       "authenticated-root，并在完成测试后恢复 SIP。工具可能导致系统不稳定，"
                       "使用前请备份重要数据。"));
    QPalette palette = risk->palette();
    palette.setColor(QPalette::WindowText, QColor(214, 118, 0));
    risk->setPalette(palette);
    column->addWidget(risk);
    return introduction;
}

QWidget *VPhoneBetaView::buildLockedNotice()
{
    m_locked = new QWidget;
    auto *row = new QHBoxLayout(m_locked);
    row->setContentsMargins(4, 0, 4, 0);
    row->setSpacing(14);
    auto *line = new QLabel(QStringLiteral("经系统安全性考虑，不予继续"));
    line->setFont(Appearance::font(14, QFont::DemiBold));
    row->addWidget(line);
    row->addWidget(Controls::link(QStringLiteral("打开官方操作文档"), VPhoneTool::projectPage()));
    row->addStretch();
    return m_locked;
}

QWidget *VPhoneBetaView::buildStatus()
{
    auto *group = new SoftGroupBox(QStringLiteral("运行状态"));
    m_toolStatus = Controls::label();
    m_toolStatus->setFont(Appearance::font(14, QFont::Medium));
    m_message = Controls::caption(QStringLiteral("尚未运行检测"));
    m_sip = Controls::paragraph(m_model.sipStatus());
    m_sip->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    m_openFolder = Controls::pill(QStringLiteral("打开工具目录"));
    m_checkSip = Controls::pill(QStringLiteral("检测 SIP"));
    connect(m_openFolder, &QAbstractButton::clicked, &m_model, &VPhoneModel::openFolder);
    connect(m_checkSip, &QAbstractButton::clicked, &m_model, &VPhoneModel::checkSip);
    auto *actions = new QHBoxLayout;
    actions->setSpacing(10);
    actions->addWidget(m_openFolder);
    actions->addWidget(Controls::link(QStringLiteral("项目主页"), VPhoneTool::projectPage()));
    actions->addWidget(m_checkSip);
    actions->addStretch();

    QVBoxLayout *content = group->contentLayout();
    content->addWidget(m_toolStatus);
    content->addWidget(m_message);
    content->addWidget(m_sip);
    content->addLayout(actions);
    return group;
}

QWidget *VPhoneBetaView::buildProcedure()
{
    auto *group = new SoftGroupBox(QStringLiteral("启动流程"));
    QVBoxLayout *content = group->contentLayout();
    content->addWidget(Controls::paragraph(QStringLiteral("1. 在终端确认工具能正常启动")));
    content->addWidget(
        Controls::paragraph(QStringLiteral("2. 执行 vm list 查看设备；再按官方文档创建或启动设备")));
    content->addWidget(
        Controls::paragraph(QStringLiteral("3. 启动成功后，Simulator / vphone 窗口会单独显示")));

    auto *command = Controls::paragraph(VPhoneTool::startCommand());
    command->setTextFormat(Qt::PlainText);
    command->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    command->setFont(ChineseFont::monospaced());
    m_copy = new QToolButton;
    m_copy->setText(QStringLiteral("复制"));
    m_copy->setIcon(Symbols::icon(QStringLiteral("doc.on.doc")));
    m_copy->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_copy->setAutoRaise(true);
    m_copy->setCursor(Qt::PointingHandCursor);
    m_copy->setToolTip(QStringLiteral("复制启动目录命令"));
    m_copy->setAccessibleName(QStringLiteral("复制启动目录命令"));
    connect(m_copy, &QAbstractButton::clicked, this, &VPhoneBetaView::onCopyClicked);
    auto *commandRow = new QHBoxLayout;
    commandRow->setSpacing(6);
    commandRow->addWidget(command, 1);
    commandRow->addWidget(m_copy, 0, Qt::AlignTop);
    content->addLayout(commandRow);
    content->addWidget(Controls::caption(
        QStringLiteral("若粘贴 cd 命令没有反应，请按回车；进入目录后再执行：./vphone-cli vm list")));

    m_terminal = Controls::pill(QStringLiteral("终端打开"), QStringLiteral("terminal"));
    connect(m_terminal, &QAbstractButton::clicked, &m_model, &VPhoneModel::openTerminal);
    auto *actions = new QHBoxLayout;
    actions->setSpacing(14);
    actions->addWidget(m_terminal);
    actions->addWidget(Controls::link(QStringLiteral("下载 vphone-cli（官方 GitHub Releases）"),
                                      VPhoneTool::releasesPage()));
    actions->addStretch();
    content->addLayout(actions);
    return group;
}

void VPhoneBetaView::showPhase()
{
    const bool blocked = m_model.permanentlyBlocked();
    m_locked->setVisible(blocked);
    m_openFolder->setEnabled(!blocked);
    m_checkSip->setEnabled(m_model.canCheckSip());
}

void VPhoneBetaView::showToolStatus()
{
    m_toolStatus->setText(m_model.toolFound() ? QStringLiteral("已找到 vphone-cli")
                                              : QStringLiteral("未找到 vphone-cli"));
}

void VPhoneBetaView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_model.lookForTool();
}

void VPhoneBetaView::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The user places the tool with the file browser and comes back to the window.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_model.lookForTool();
    }
}

void VPhoneBetaView::onCopyClicked()
{
    if (m_model.permanentlyBlocked()) {
        LogClipboard::put(VPhoneTool::startCommand());
        return;
    }
    if (m_disclaimer) {
        m_disclaimer->raise();
        return;
    }
    m_disclaimer = new VPhoneDisclaimerSheet(this);
    m_disclaimer->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_disclaimer, &VPhoneDisclaimerSheet::agreed, this, &VPhoneBetaView::onDisclaimerAccepted);
    m_disclaimer->open();
}

void VPhoneBetaView::onDisclaimerAccepted()
{
    if (m_disclaimer) {
        m_disclaimer->accept();
    }
    m_model.agreeToDisclaimer();
    m_finalNotice =
        Alert::open(this, QStringLiteral("后续操作说明"),
                    QStringLiteral("以后的操作与本软件无关，请至软件外操作。官方文档已在浏览器中打开。"),
                    {{QStringLiteral("完成"), QMessageBox::AcceptRole, {}}});
}
