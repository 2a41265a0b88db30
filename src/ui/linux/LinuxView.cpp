#include "ui/linux/LinuxView.h"

#include "linux/LinuxModel.h"
#include "platform/Host.h"
#include "services/Tasks.h"
#include "ui/linux/LinuxDisplay.h"
#include "ui/linux/LinuxSettingsPanel.h"
#include "ui/linux/LinuxSnapshotPanel.h"
#include "ui/linux/Reveal.h"
#include "ui/linux/ScreenPlaceholder.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/DesktopOpen.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/PageScroll.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SoftGroupBox.h"
#include "ui/style/SymbolLabel.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const auto category = QStringLiteral("Linux");

struct DownloadLink
{
    const char16_t *title;
    const char *address;
};

constexpr DownloadLink downloadLinks[] = {
    {u"Ubuntu ARM64", "https://ubuntu.com/download/server/arm"},
    {u"Fedora aarch64", "https://fedoraproject.org/server/download"},
    {u"Debian arm64", "https://cdimage.debian.org/debian-cd/current/arm64/iso-cd/"},
};

} // namespace

LinuxView::LinuxView(LinuxModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(&model)
{
    QVBoxLayout *column = PageScroll::column(this, QMargins(0, 0, 8, 12));
    m_scroll = findChild<QScrollArea *>(QString(), Qt::FindDirectChildrenOnly);
    m_scroll->viewport()->installEventFilter(this);
    m_scroll->widget()->installEventFilter(this);
    // Any scroll of the user's (wheel, keys, scroll bar) ends keeping the screen in view.
    connect(m_scroll->verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this] { m_followScreen = false; });
    column->addWidget(buildHeader());
    m_status = Controls::caption(QString());
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_status);
    column->addWidget(buildDownloads());
    m_busy = new QProgressBar;
    m_busy->setRange(0, 0);
    m_busy->setTextVisible(false);
    m_busy->setFixedSize(160, 6);
    column->addWidget(m_busy);
    m_settings = new LinuxSettingsPanel(model);
    column->addWidget(m_settings);
    column->addWidget(buildActions());
    m_snapshots = new LinuxSnapshotPanel(model);
    column->addWidget(m_snapshots);
    column->addWidget(buildDisplayArea());
    column->addWidget(Controls::caption(LinuxRules::footerText(Host::linuxEngine())));
    column->addStretch();

    for (auto signal : {&LinuxModel::statusChanged, &LinuxModel::busyChanged, &LinuxModel::runningChanged,
                        &LinuxModel::machineChanged, &LinuxModel::displayInSeparateWindowChanged,
                        &LinuxModel::snapshotBusyChanged, &LinuxModel::preparedChanged}) {
        connect(&model, signal, this, &LinuxView::showState);
    }
    connect(&model, &LinuxModel::configurationChanged, this, &LinuxView::onConfigurationChanged);
    showState();
    m_downloads->setRevealed(LinuxRules::showsDownloads(LinuxRules::State::of(model)), false);
    m_errorAlert = ErrorAlert::watch(this, model, QStringLiteral("Linux 提示"));
}

QWidget *LinuxView::buildHeader()
{
    auto *header = new QWidget;
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    auto *title = new QLabel(QStringLiteral("Linux · ARM64"));
    title->setFont(Appearance::font(20, QFont::DemiBold));
    row->addWidget(new SymbolLabel(QStringLiteral("terminal"), 22));
    row->addWidget(title);
    row->addStretch();
    m_separateWindow = Controls::pill(QStringLiteral("独立窗口"));
    m_dataFolder = Controls::pill(QStringLiteral("数据目录"));
    row->addWidget(m_separateWindow);
    row->addWidget(m_dataFolder);
    connect(m_separateWindow, &QAbstractButton::clicked, this, &LinuxView::openSeparateWindowRequested);
    connect(m_dataFolder, &QAbstractButton::clicked, this, &LinuxView::openDataFolder);
    return header;
}

QWidget *LinuxView::buildDownloads()
{
    auto *group = new SoftGroupBox(QStringLiteral("Linux ARM64 官方下载"));
    auto *links = new QHBoxLayout;
    links->setSpacing(8);
    for (const DownloadLink &link : downloadLinks) {
        auto *button = Controls::pill(QString::fromUtf16(link.title), QStringLiteral("link"));
        const QUrl address(QString::fromLatin1(link.address));
        connect(button, &QAbstractButton::clicked, this,
                [this, address] { DesktopOpen::url(this, address); });
        links->addWidget(button);
    }
    links->addStretch();
    group->contentLayout()->addLayout(links);
    m_downloads = new Reveal(group);
    return m_downloads;
}

QWidget *LinuxView::buildActions()
{
    m_actions = new QWidget;
    auto *row = new QHBoxLayout(m_actions);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_start = Controls::pill(QString(), QStringLiteral("play.fill"), Controls::PillStyle::Regular);
    m_start->setProminent(true);
    m_stop = Controls::pill(QStringLiteral("停止 Linux"), QStringLiteral("stop.fill"),
                            Controls::PillStyle::Regular);
    m_stop->setProminent(true);
    m_forceStop = Controls::pill(QStringLiteral("强制退出"), QStringLiteral("xmark.octagon.fill"),
                                 Controls::PillStyle::Regular);
    m_forceStop->setTint(PillActionButton::destructiveTint());
    row->addWidget(m_start);
    row->addWidget(m_stop);
    row->addWidget(m_forceStop);
    row->addStretch();
    connect(m_start, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->start(), category);
        }
    });
    connect(m_stop, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->requestStop();
        }
    });
    connect(m_forceStop, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->forceStop(), category);
        }
    });
    return m_actions;
}

QWidget *LinuxView::buildDisplayArea()
{
    auto *area = new QWidget;
    auto *column = new QVBoxLayout(area);
    column->setContentsMargins(0, 0, 0, 0);
    m_display = new LinuxDisplay(*m_model);
    m_display->setCornerRadius(12);
    m_display->setMinimumHeight(displayMinimumHeight);
    m_separateNote = Controls::caption(QStringLiteral("Linux 画面已在独立窗口显示"));
    m_separateNote->setAlignment(Qt::AlignCenter);
    m_separateNote->setMinimumHeight(60);
    m_placeholder =
        new ScreenPlaceholder(QStringLiteral("Linux 画面将在这里显示"),
                              QStringLiteral("使用 ARM64 / aarch64 ISO；不支持 x86 / AMD64 镜像。"), true);
    m_placeholder->setFixedHeight(placeholderHeight);
    // Only the case shown takes space; the screen lets its connection go while hidden.
    m_keyboardHint = Controls::caption(LinuxDisplay::releaseHint());
    m_keyboardHint->setFont(Appearance::font(11.5));
    column->addWidget(m_display);
    column->addWidget(m_keyboardHint);
    column->addWidget(m_separateNote);
    column->addWidget(m_placeholder);
    return area;
}

void LinuxView::showState()
{
    if (!m_model) {
        return;
    }
    const LinuxRules::State state = LinuxRules::State::of(*m_model);
    m_status->setText(m_model->status());
    m_busy->setVisible(state.busy);

    const LinuxRules::Actions actions = LinuxRules::actions(state);
    m_actions->setEnabled(actions.rowEnabled);
    const auto apply = [](PillActionButton *button, const LinuxRules::Action &action) {
        button->setVisible(action.visible);
        button->setEnabled(action.enabled);
        button->setText(action.text);
        button->updateGeometry();
    };
    apply(m_start, actions.start);
    apply(m_stop, actions.stop);
    apply(m_forceStop, actions.forceStop);

    const LinuxRules::DisplayCase shown = m_displayCase;
    m_displayCase = LinuxRules::displayCase(state);
    m_display->setVisible(m_displayCase == LinuxRules::DisplayCase::Screen);
    m_keyboardHint->setVisible(m_displayCase == LinuxRules::DisplayCase::Screen);
    m_separateNote->setVisible(m_displayCase == LinuxRules::DisplayCase::SeparateWindow);
    m_placeholder->setVisible(m_displayCase == LinuxRules::DisplayCase::Placeholder);
    // The screen comes below the settings; once it takes the pointer's wheel the page could not be
    // scrolled to it from there, so the page brings it into view itself.
    if (m_displayCase != LinuxRules::DisplayCase::Screen) {
        m_followScreen = false;
        m_revealOnShow = false;
    } else if (shown != m_displayCase) {
        revealScreen();
    }
}

void LinuxView::revealScreen()
{
    if (!isVisible()) {
        m_revealOnShow = true;
        return;
    }
    m_revealOnShow = false;
    // Until the user scrolls: the column above may still be settling (the download links fold away).
    m_followScreen = true;
    keepScreenInView();
}

void LinuxView::keepScreenInView()
{
    QPointer<LinuxView> self(this);
    QTimer::singleShot(0, this, [self] {
        if (!self || !self->m_followScreen || !self->m_display->isVisible()) {
            return;
        }
        // The screen's place in the column is known once the layouts have run.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        self->m_scroll->ensureWidgetVisible(self->m_display, 0, screenViewMargin);
    });
}

bool LinuxView::eventFilter(QObject *watched, QEvent *event)
{
    if (m_display && event->type() == QEvent::Resize) {
        if (watched == m_scroll->viewport()) {
            // The screen never grows taller than the page can show at once.
            m_display->setMaximumHeight(
                std::max(displayMinimumHeight, m_scroll->viewport()->height() - 2 * screenViewMargin));
        }
        if (m_followScreen) {
            keepScreenInView();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LinuxView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The chosen ISO may have been moved or deleted while the page was hidden.
    if (m_model) {
        m_model->expectStart();
        m_downloads->setRevealed(LinuxRules::showsDownloads(LinuxRules::State::of(*m_model)), false);
    }
    if (m_revealOnShow) {
        revealScreen();
    }
}

void LinuxView::onConfigurationChanged()
{
    if (!m_model) {
        return;
    }
    const LinuxRules::State state = LinuxRules::State::of(*m_model);
    m_downloads->setRevealed(LinuxRules::showsDownloads(state), Appearance::instance().animationsAllowed());
    showState();
    // Edits made while the machine runs stay in memory; save() may settle the configuration to what
    // the host allows, which announces a change again.
    if (!LinuxRules::configurationEditable(state) || m_saving) {
        return;
    }
    m_saving = true;
    m_model->save();
    m_saving = false;
}

void LinuxView::openDataFolder()
{
    if (!m_model) {
        return;
    }
    // Before the first save the folder does not exist yet; a file manager cannot open it then.
    const QString folder = QFileInfo(m_model->settingsFile()).path();
    DesktopOpen::folder(this, folder);
}

QMessageBox *LinuxView::errorAlert() const
{
    return m_errorAlert->box();
}
