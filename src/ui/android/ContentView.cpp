#include "ui/android/ContentView.h"

#include "android/VMModel.h"
#include "services/AppLog.h"
#include "services/Tasks.h"
#include "ui/android/DeviceRules.h"
#include "ui/android/HardwareSettings.h"
#include "ui/android/LicenseSheet.h"
#include "ui/android/LogSheet.h"
#include "ui/android/SnapshotPanel.h"
#include "ui/style/Appearance.h"
#include "ui/style/Controls.h"
#include "ui/style/ErrorAlert.h"
#include "ui/style/GlassSurface.h"
#include "ui/style/NameSheet.h"
#include "ui/style/PillActionButton.h"
#include "ui/style/SymbolLabel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const auto category = QStringLiteral("Android");

/** A button with a short line under it, hidden and shown together. */
QWidget *withCaption(QWidget *button, const QString &text)
{
    auto *cell = new QWidget;
    auto *column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(button, 0, Qt::AlignHCenter);
    QLabel *caption =
        Controls::caption(text, Controls::CaptionSize::Small, Controls::CaptionWrap::SingleLine);
    caption->setAlignment(Qt::AlignHCenter);
    column->addWidget(caption);
    return cell;
}

} // namespace

ContentView::ContentView(VMModel &model, QWidget *parent)
    : QWidget(parent)
    , m_model(&model)
{
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(16);
    column->addWidget(buildHeader());
    m_hardware = new HardwareSettings(model);
    column->addWidget(m_hardware);
    column->addWidget(buildInformation());
    m_snapshots = new SnapshotPanel(model);
    column->addWidget(m_snapshots);
    column->addStretch();

    for (auto signal :
         {&VMModel::nameChanged, &VMModel::statusChanged, &VMModel::detailChanged, &VMModel::installedChanged,
          &VMModel::busyChanged, &VMModel::runningChanged, &VMModel::bootedChanged, &VMModel::stoppingChanged,
          &VMModel::forceQuittingChanged, &VMModel::snapshotBusyChanged}) {
        connect(&model, signal, this, &ContentView::showState);
    }
    ComponentInstallation &installation = model.installation();
    connect(&installation, &ComponentInstallation::progressChanged, this, &ContentView::showState);
    connect(&installation, &ComponentInstallation::showLicenseChanged, this, &ContentView::showLicense);
    connect(&model, &VMModel::configurationChanged, this, &ContentView::saveConfiguration);
    showState();
    m_errorAlert = ErrorAlert::watch(this, model, QStringLiteral("需要注意"),
                                     {{QStringLiteral("查看日志"), QMessageBox::ActionRole, [this] {
                                           if (m_model) {
                                               m_model->refreshLog();
                                               openLogSheet();
                                           }
                                       }}});
    showLicense();
}

QWidget *ContentView::buildHeader()
{
    auto *card = new GlassSurface;
    auto *column = new QVBoxLayout(card);
    column->setContentsMargins(22, 18, 22, 18);
    column->setSpacing(6);

    m_name = Controls::label();
    m_name->setFont(Appearance::font(20, QFont::DemiBold));
    m_rename = Controls::pill(QStringLiteral("修改名称"), QStringLiteral("pencil"));
    connect(m_rename, &QAbstractButton::clicked, this, &ContentView::openRenameSheet);
    auto *title = new QHBoxLayout;
    title->setSpacing(8);
    title->addWidget(m_name);
    title->addWidget(m_rename);
    title->addStretch();
    column->addLayout(title);

    m_status = Controls::label();
    m_status->setFont(Appearance::font(14, QFont::Medium));
    m_detail = Controls::caption();
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_status);
    column->addWidget(m_detail);

    m_progressRow = new QWidget;
    auto *progress = new QHBoxLayout(m_progressRow);
    progress->setContentsMargins(0, 4, 0, 4);
    m_progress = new QProgressBar;
    m_progress->setRange(0, 1000);
    m_progress->setTextVisible(false);
    m_percent = new QLabel;
    m_cancelInstall = new QPushButton(QStringLiteral("取消"));
    m_cancelInstall->setFlat(true);
    m_cancelInstall->setCursor(Qt::PointingHandCursor);
    connect(m_cancelInstall, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->installation().cancel();
        }
    });
    progress->addWidget(m_progress, 1);
    progress->addWidget(m_percent);
    progress->addWidget(m_cancelInstall);
    column->addWidget(m_progressRow);

    m_install = Controls::pill(QStringLiteral("安装安卓环境"), QStringLiteral("arrow.down.circle.fill"),
                               Controls::PillStyle::Prominent);
    m_installCell = withCaption(m_install, QStringLiteral("首次约下载 1.1GB"));
    m_start = Controls::pill(QStringLiteral("启动安卓"), QStringLiteral("play.fill"),
                             Controls::PillStyle::Prominent);
    m_startCell = withCaption(m_start, QStringLiteral("设备数据会保留"));
    m_stop = Controls::pill(QStringLiteral("停止安卓"), QStringLiteral("stop.fill"),
                            Controls::PillStyle::Prominent);
    m_installApk = Controls::pill(QStringLiteral("安装 APK"), QStringLiteral("shippingbox"),
                                  Controls::PillStyle::Regular);
    m_forceQuit = Controls::pill(QStringLiteral("强制退出"), QStringLiteral("xmark.octagon.fill"),
                                 Controls::PillStyle::Regular);
    m_forceQuit->setTint(PillActionButton::destructiveTint());
    m_forceQuit->setToolTip(QStringLiteral("应急终止安卓，不保存运行快照；不清空已有设备数据。"));

    connect(m_install, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->installation().requestInstall();
        }
    });
    connect(m_start, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            // The budget check, the log line and the emulator's files must all see the number shown.
            m_hardware->commitPendingEdits();
            m_model->start();
        }
    });
    connect(m_stop, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->stop(), category);
        }
    });
    connect(m_installApk, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            m_model->installAPK();
        }
    });
    connect(m_forceQuit, &QAbstractButton::clicked, this, [this] {
        if (m_model) {
            startTask(m_model->forceQuit(), category);
        }
    });

    auto *actions = new QHBoxLayout;
    actions->setSpacing(10);
    actions->setContentsMargins(0, 8, 0, 0);
    for (QWidget *widget : {m_installCell, m_startCell, static_cast<QWidget *>(m_stop),
                            static_cast<QWidget *>(m_installApk), static_cast<QWidget *>(m_forceQuit)}) {
        actions->addWidget(widget, 0, Qt::AlignTop);
    }
    actions->addStretch();
    column->addLayout(actions);
    return card;
}

QWidget *ContentView::buildInformation()
{
    auto *row = new QWidget;
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(8);
    auto *text = Controls::caption(DeviceRules::informationText());
    layout->addWidget(new SymbolLabel(QStringLiteral("info.circle")), 0, Qt::AlignTop);
    layout->addWidget(text, 1);
    return row;
}

void ContentView::showState()
{
    if (!m_model) {
        return;
    }
    const DeviceRules::State state = DeviceRules::State::of(*m_model);
    m_name->setText(m_model->name());
    m_status->setText(m_model->status());
    m_detail->setText(m_model->detail());
    m_detail->setVisible(!m_model->detail().isEmpty());
    m_rename->setEnabled(DeviceRules::canRename(state));

    m_progressRow->setVisible(DeviceRules::showsProgress(state));
    const bool installing = DeviceRules::showsInstallProgress(state);
    if (installing) {
        m_progress->setRange(0, 1000);
        m_progress->setValue(int(m_model->installation().progress() * 1000));
    } else {
        // A start's checks have no measurable progress: a busy bar says that something is happening.
        m_progress->setRange(0, 0);
    }
    m_percent->setVisible(installing);
    m_percent->setText(DeviceRules::percentText(m_model->installation().progress()));
    m_cancelInstall->setVisible(installing);

    const DeviceRules::Actions actions = DeviceRules::actions(state);
    const auto apply = [](QWidget *shown, PillActionButton *button, const DeviceRules::Action &action) {
        shown->setVisible(action.visible);
        button->setEnabled(action.enabled);
        button->setText(action.text);
        button->updateGeometry();
    };
    apply(m_installCell, m_install, actions.install);
    apply(m_startCell, m_start, actions.start);
    apply(m_stop, m_stop, actions.stop);
    apply(m_installApk, m_installApk, actions.installApk);
    apply(m_forceQuit, m_forceQuit, actions.forceQuit);
}

void ContentView::showLicense()
{
    if (!m_model) {
        return;
    }
    if (!m_model->installation().showLicense()) {
        if (m_licenseSheet) {
            m_licenseSheet->done(QDialog::Accepted);
        }
        return;
    }
    if (m_licenseSheet) {
        return;
    }
    m_licenseSheet = new LicenseSheet(m_model->installation(), this);
    m_licenseSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_licenseSheet->open();
}

void ContentView::openRenameSheet()
{
    if (!m_model || m_renameSheet) {
        return;
    }
    QPointer<VMModel> model = m_model;
    m_renameSheet = new NameSheet(
        model->name(), QStringLiteral("名称只用于区分这台安卓设备，不会修改设备内的系统名称。"),
        [model](const QString &name) {
            if (!model) {
                return;
            }
            model->setName(name);
            model->saveName();
            AppLog::info(category, QStringLiteral("设备已重命名为 ") + model->name());
        },
        this);
    m_renameSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_renameSheet->open();
}

void ContentView::openLogSheet()
{
    if (!m_model) {
        return;
    }
    if (m_logSheet) {
        m_logSheet->raise();
        return;
    }
    m_logSheet = new LogSheet(*m_model, this);
    m_logSheet->setAttribute(Qt::WA_DeleteOnClose);
    m_logSheet->open();
}

void ContentView::saveConfiguration()
{
    // save() may settle the configuration to what the host allows, which announces a change again.
    if (!m_model || m_model->running() || m_saving) {
        return;
    }
    m_saving = true;
    m_model->save();
    m_saving = false;
}

VMModel *ContentView::model() const
{
    return m_model;
}

NameSheet *ContentView::renameSheet() const
{
    return m_renameSheet;
}

LogSheet *ContentView::logSheet() const
{
    return m_logSheet;
}

LicenseSheet *ContentView::licenseSheet() const
{
    return m_licenseSheet;
}

QMessageBox *ContentView::errorAlert() const
{
    return m_errorAlert->box();
}
