#include "ui/logs/GlobalLogView.h"

#include "services/AppLog.h"
#include "services/GlobalLogModel.h"
#include "services/Tasks.h"
#include "ui/logs/LogClipboard.h"
#include "ui/logs/LogFilterField.h"
#include "ui/logs/LogTextView.h"
#include "ui/style/Alert.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/PillActionButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr qreal textPoints = 11;

} // namespace

GlobalLogView::GlobalLogView(QWidget *parent)
    : QWidget(parent)
    , m_model(new GlobalLogModel(this))
    , m_filter(new LogFilterField(*m_model, QStringLiteral("筛选平台、错误或关键字")))
    , m_text(new LogTextView(textPoints))
    , m_filterSettle(new QTimer(this))
    , m_path(Controls::paragraph(AppLog::file()))
{
    m_path->setFont(Appearance::font(10));
    m_path->setForegroundRole(QPalette::PlaceholderText);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(24, 22, 24, 18);
    column->setSpacing(12);
    column->addWidget(buildHeader());
    column->addLayout(buildButtons());
    column->addWidget(m_filter);
    column->addWidget(m_text, 1);
    column->addWidget(m_path);

    connect(m_model, &GlobalLogModel::textChanged, this, &GlobalLogView::showText);
    m_filterSettle->setSingleShot(true);
    m_filterSettle->setInterval(LogFilterField::settleMs);
    connect(m_filterSettle, &QTimer::timeout, this, &GlobalLogView::showText);
    connect(m_model, &GlobalLogModel::queryChanged, m_filterSettle, qOverload<>(&QTimer::start));
    m_errorAlert = ErrorAlert::watch(this, *m_model, QStringLiteral("日志操作失败"));
    showText();
}

QMessageBox *GlobalLogView::clearConfirmation() const
{
    return m_clearConfirmation;
}

QMessageBox *GlobalLogView::errorAlert() const
{
    return m_errorAlert->box();
}

QWidget *GlobalLogView::buildHeader()
{
    auto *header = new QWidget;
    auto *column = new QVBoxLayout(header);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto *title = new QLabel(QStringLiteral("全局日志"));
    title->setFont(Appearance::font(26, QFont::Bold));
    auto *summary = Controls::caption(QStringLiteral(
        "集中显示 Android、iPhone、Windows、Linux、快照和后台命令记录。所有内容仅保存在本机。"));
    column->addWidget(title);
    column->addWidget(summary);
    return header;
}

QLayout *GlobalLogView::buildButtons()
{
    m_refresh = Controls::pill(QStringLiteral("刷新"), QStringLiteral("arrow.clockwise"));
    m_copy = Controls::pill(QStringLiteral("复制"), QStringLiteral("doc.on.doc"));
    m_export = Controls::pill(QStringLiteral("导出…"), QStringLiteral("square.and.arrow.up"));
    m_clear = Controls::pill(QStringLiteral("清空"), QStringLiteral("trash"));
    m_clear->setTint(PillActionButton::destructiveTint());
    connect(m_refresh, &QAbstractButton::clicked, m_model, &GlobalLogModel::reload);
    connect(m_copy, &QAbstractButton::clicked, this, [this] { LogClipboard::put(m_model->filteredText()); });
    connect(m_export, &QAbstractButton::clicked, this, &GlobalLogView::onExportClicked);
    connect(m_clear, &QAbstractButton::clicked, this, &GlobalLogView::onClearClicked);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    for (PillActionButton *button : {m_refresh, m_copy, m_export, m_clear}) {
        row->addWidget(button);
    }
    row->addStretch();
    return row;
}

void GlobalLogView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_shownBefore) {
        // The newest entries are at the end, and they are what the user opened the log for.
        m_shownBefore = true;
        m_text->scrollToLatest(false);
    }
}

void GlobalLogView::showText()
{
    m_text->setText(m_model->filteredText());
}

void GlobalLogView::onExportClicked()
{
    startTask(m_model->exportLog(), QStringLiteral("日志"));
}

void GlobalLogView::onClearClicked()
{
    if (m_clearConfirmation) {
        return;
    }
    QPointer<GlobalLogModel> model(m_model);
    m_clearConfirmation = Alert::open(this, QStringLiteral("清空全部全局日志？"),
                                      QStringLiteral("会删除当前日志和上一份轮转日志，不影响虚拟机数据。"),
                                      {{QStringLiteral("清空日志"), QMessageBox::DestructiveRole,
                                        [model] {
                                            AppLog::clear();
                                            if (model) {
                                                model->reload();
                                            }
                                        }},
                                       {QStringLiteral("取消"), QMessageBox::RejectRole, {}}});
}
