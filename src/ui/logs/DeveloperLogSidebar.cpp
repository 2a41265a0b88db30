#include "ui/logs/DeveloperLogSidebar.h"

#include "services/GlobalLogModel.h"
#include "ui/logs/LogClipboard.h"
#include "ui/logs/LogFilterField.h"
#include "ui/logs/LogTextView.h"
#include "ui/style/Appearance.h"
#include "ui/style/Symbols.h"
#include "ui/style/ToggleSwitch.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr qreal textPoints = 10.5;

/** The small green light that says the log is live. */
class LiveDot : public QWidget
{
public:
    LiveDot() { setFixedSize(8, 8); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(52, 199, 89));
        painter.drawEllipse(QRectF(rect()));
    }
};

QToolButton *iconButton(const QString &text, const QString &symbol, const QString &help)
{
    auto *button = new QToolButton;
    button->setText(text);
    button->setIcon(Symbols::icon(symbol));
    button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    button->setAutoRaise(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setToolTip(help);
    button->setAccessibleName(text);
    return button;
}

} // namespace

DeveloperLogSidebar::DeveloperLogSidebar(QWidget *parent)
    : QWidget(parent)
    , m_model(new GlobalLogModel(this))
    , m_text(new LogTextView(textPoints))
    , m_filterSettle(new QTimer(this))
{
    setAccessibleName(QStringLiteral("开发者实时日志边栏"));
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 12);
    column->setSpacing(10);
    column->addWidget(buildHeader());
    column->addWidget(buildFilter());
    column->addWidget(m_text, 1);
    column->addWidget(buildFooter());

    connect(m_model, &GlobalLogModel::textChanged, this, &DeveloperLogSidebar::showText);
    m_filterSettle->setSingleShot(true);
    m_filterSettle->setInterval(LogFilterField::settleMs);
    connect(m_filterSettle, &QTimer::timeout, this, &DeveloperLogSidebar::showText);
    connect(m_model, &GlobalLogModel::queryChanged, m_filterSettle, qOverload<>(&QTimer::start));
    connect(m_model, &GlobalLogModel::queryChanged, this, &DeveloperLogSidebar::showQuery);
    m_text->setText(m_model->filteredText());
    showQuery();
}

QWidget *DeveloperLogSidebar::buildHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    auto *title = new QLabel(QStringLiteral("实时日志"));
    title->setFont(Appearance::font(13, QFont::DemiBold));
    auto *followLabel = new QLabel(QStringLiteral("自动跟随"));
    followLabel->setFont(Appearance::font(11.5));
    m_follow = new ToggleSwitch;
    m_follow->setAccessibleName(QStringLiteral("自动跟随"));
    m_follow->setChecked(m_followLatest);
    connect(m_follow, &QAbstractButton::toggled, this, &DeveloperLogSidebar::setFollowLatest);
    m_copy = iconButton(QStringLiteral("复制"), QStringLiteral("doc.on.doc"), QStringLiteral("复制当前日志"));
    connect(m_copy, &QAbstractButton::clicked, this, [this] { LogClipboard::put(m_model->filteredText()); });

    row->addWidget(new LiveDot);
    row->addWidget(title);
    row->addStretch();
    row->addWidget(followLabel);
    row->addWidget(m_follow);
    row->addWidget(m_copy);
    return header;
}

QWidget *DeveloperLogSidebar::buildFilter()
{
    auto *filter = new QWidget;
    auto *row = new QHBoxLayout(filter);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    m_filter = new LogFilterField(*m_model, QStringLiteral("筛选日志"));
    m_clearFilter = iconButton(QStringLiteral("清除筛选"), QStringLiteral("xmark.circle.fill"),
                               QStringLiteral("清除筛选"));
    connect(m_clearFilter, &QAbstractButton::clicked, this, [this] { m_model->setQuery(QString()); });
    row->addWidget(m_filter, 1);
    row->addWidget(m_clearFilter);
    return filter;
}

QWidget *DeveloperLogSidebar::buildFooter()
{
    auto *footer = new QWidget;
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(0, 0, 0, 0);
    auto *note = new QLabel(QStringLiteral("仅保存在本机"));
    note->setFont(Appearance::font(10));
    note->setForegroundRole(QPalette::PlaceholderText);
    m_refresh = new QPushButton(QStringLiteral("刷新"));
    m_refresh->setFlat(true);
    m_refresh->setCursor(Qt::PointingHandCursor);
    connect(m_refresh, &QAbstractButton::clicked, m_model, &GlobalLogModel::reload);
    row->addWidget(note);
    row->addStretch();
    row->addWidget(m_refresh);
    return footer;
}

void DeveloperLogSidebar::setFollowLatest(bool follow)
{
    if (m_followLatest == follow) {
        return;
    }
    // Turning it on moves nothing yet: the view catches up at the next change of the text.
    m_followLatest = follow;
    m_follow->setChecked(follow);
}

void DeveloperLogSidebar::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Followed is how a new sidebar starts, so it opens at the newest line; shown again after the
    // user turned following off (the window restored, say), it keeps the place the user chose.
    if (m_followLatest) {
        m_text->scrollToLatest(false);
    }
}

void DeveloperLogSidebar::showText()
{
    const QString text = m_model->filteredText();
    if (text == m_text->text()) {
        return;
    }
    m_text->setText(text);
    if (m_followLatest) {
        m_text->scrollToLatest(Appearance::instance().animationsAllowed());
    }
}

void DeveloperLogSidebar::showQuery()
{
    m_clearFilter->setVisible(!m_model->query().isEmpty());
}
