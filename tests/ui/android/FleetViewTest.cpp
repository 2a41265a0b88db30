#include "ui/android/FleetView.h"
#include "../ViewHelpers.h"
#include "Await.h"
#include "FakeAndroidSdk.h"
#include "FakeHost.h"
#include "IdleFor.h"
#include "LogProbe.h"
#include "TestFiles.h"
#include "Wait.h"
#include "WidgetFinder.h"
#include "android/VMConfiguration.h"
#include "android/VMFleet.h"
#include "android/VMModel.h"
#include "preferences/AppPreferences.h"
#include "ui/android/ContentView.h"
#include "ui/android/HardwareNumberField.h"
#include "ui/android/HardwareSettings.h"
#include "ui/android/InstanceStatus.h"
#include "ui/android/LicenseSheet.h"
#include "ui/android/LogSheet.h"
#include "ui/android/SnapshotPanel.h"
#include "ui/style/NameSheet.h"
#include "ui/style/PillActionButton.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using namespace WidgetFinder;

/** Types into the field and goes on without confirming, as a user who clicks elsewhere next. */
void draft(HardwareNumberField *field, const QString &text)
{
    field->editor()->setFocus();
    field->editor()->selectAll();
    QTest::keyClicks(field->editor(), text);
}

class FleetViewTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        view.reset();
        if (fleet) {
            for (VMModel *model : fleet->models()) {
                if (model->running()) {
                    await(model->stop());
                }
                waitUntil([model] { return !model->running() && !model->busy(); }, 15000);
            }
        }
    }

    void open(bool installed)
    {
        if (installed) {
            ASSERT_TRUE(FakeAndroidSdk::install(shared));
        }
        VMFleet::Options options;
        options.timing.bootPollInterval = 50ms;
        options.timing.stopPollInterval = 20ms;
        fleet = std::make_unique<VMFleet>(root, options);
        view = std::make_unique<FleetView>(*fleet);
        view->resize(1040, 720);
        view->show();
    }

    ContentView &detail() const { return *view->contentView(); }
    VMModel &device() const { return *fleet->models().first(); }

    FakeHost host{8, 16 * FakeHost::GiB};
    const ScopedEnv bootDelay{"FAKE_EMULATOR_BOOT_DELAY_MS", "200"};
    QTemporaryDir dir;
    QString root = dir.filePath(QStringLiteral("CorvaneBeta"));
    VMPaths shared{root};
    std::unique_ptr<VMFleet> fleet;
    std::unique_ptr<FleetView> view;
};

} // namespace

TEST_F(FleetViewTest, NotInstalledDeviceAsksForTheLicenceBeforeInstalling)
{
    open(false);
    ContentView &content = detail();
    content.installButton()->click();
    ASSERT_TRUE(device().installation().showLicense());
    LicenseSheet *sheet = content.licenseSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->agreement()->text(), QStringLiteral("我已阅读并同意 Android SDK 许可协议"));
    EXPECT_FALSE(sheet->installButton()->isEnabled()) << "nothing is accepted on the user's behalf";
    EXPECT_EQ(sheet->findChild<QPlainTextEdit *>()->toPlainText(), ComponentInstallation::license());

    sheet->agreement()->click();
    EXPECT_TRUE(sheet->installButton()->isEnabled());
    sheet->agreement()->click();
    EXPECT_FALSE(sheet->installButton()->isEnabled());

    Q_EMIT ViewHelpers::labelContaining(*sheet, QStringLiteral("查看 Android SDK 官方许可网页"))
        ->linkActivated(QStringLiteral("https://developer.android.com/studio/terms"));
    EXPECT_EQ(host.opened(), QList<QUrl>{QUrl(QStringLiteral("https://developer.android.com/studio/terms"))});

    button(*sheet, QStringLiteral("取消"))->click();
    EXPECT_FALSE(device().installation().showLicense());
    EXPECT_TRUE(waitUntil([&] { return content.licenseSheet() == nullptr; }, 1000));

    // Accepting starts the installation, which on a nearly full disk stops with an error the page shows.
    host.capacity = qint64(1) << 30;
    content.installButton()->click();
    sheet = content.licenseSheet();
    ASSERT_NE(sheet, nullptr);
    sheet->agreement()->click();
    sheet->installButton()->click();
    ASSERT_TRUE(waitUntil([&] { return alert(content, QStringLiteral("需要注意")) != nullptr; }));
    EXPECT_FALSE(device().installation().showLicense());
    ViewHelpers::answerAlert(content, QStringLiteral("需要注意"), device().error(),
                             QStringLiteral("查看日志"));
    ASSERT_NE(content.logSheet(), nullptr);
    EXPECT_EQ(content.logSheet()->logView()->toPlainText(), QStringLiteral("暂无运行日志。"));
}

TEST_F(FleetViewTest, TypedNumbersAreStoredAtOnceExceptUnderABusyDeviceAndAStartChecksTheOneJustTyped)
{
    const auto store = AppPreferences::openStore();
    AppPreferences::setMultiMemoryGB(*store, 4);
    const auto restore = qScopeGuard([&] { store->remove(QStringLiteral("multiMemoryGB")); });
    open(true);
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    EXPECT_EQ(detail().hardware()->coresHint()->text(), QStringLiteral("可选 1–8 核"));
    HardwareNumberField *cores = detail().hardware()->coresField();
    // Confirmed numbers are clamped or reverted (the parsing is DeviceRulesTest's) and stored at once.
    draft(cores, QStringLiteral("12"));
    QTest::keyClick(cores->editor(), Qt::Key_Return);
    EXPECT_EQ(cores->draft(), QStringLiteral("8"));
    EXPECT_EQ(VMConfiguration::load(shared.configurationFile()).cores, 8)
        << "stored without waiting for a start";
    draft(detail().hardware()->memoryField(), QStringLiteral("6"));
    QTest::keyClick(detail().hardware()->memoryField()->editor(), Qt::Key_Return);
    EXPECT_EQ(device().configuration().memoryMB, 6 * 1024);
    // A value set from outside replaces the field's text.
    VMConfiguration changed = device().configuration();
    changed.cores = 5;
    device().setConfiguration(changed);
    EXPECT_EQ(cores->draft(), QStringLiteral("5"));

    // As when the fleet starts copying the device: the form is locked with the number still typed.
    const QByteArray stored = readFile(shared.configurationFile());
    const qint64 before = device().configuration().cores;
    draft(cores, QString::number(before == 5 ? 3 : 5));
    device().setBusy(true);
    EXPECT_FALSE(cores->editor()->hasFocus());
    EXPECT_EQ(device().configuration().cores, before);
    EXPECT_EQ(readFile(shared.configurationFile()), stored) << "nothing is written under a busy device";
    EXPECT_EQ(cores->draft(), QString::number(before));
    device().setBusy(false);

    HardwareNumberField *memory = detail().hardware()->memoryField();
    VMConfiguration configuration = device().configuration();
    configuration.memoryMB = 2 * 1024;
    device().setConfiguration(configuration);
    ASSERT_EQ(memory->draft(), QStringLiteral("2"));

    // Typed, not confirmed, and the start pressed at once through the accessibility interface, which
    // leaves the keyboard focus where it is: the budget sees 6 GB and refuses.
    draft(memory, QStringLiteral("6"));
    QAccessibleInterface *start = QAccessible::queryAccessibleInterface(detail().startButton());
    ASSERT_TRUE(start && start->actionInterface());
    start->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(waitUntil([this] { return !device().error().isEmpty() || device().busy(); }, 3000));
    EXPECT_EQ(
        device().error(),
        QStringLiteral("多开总内存超过设置中的上限。请调低实例内存、停止其他实例，或在设置中调整上限。"));
    EXPECT_FALSE(device().busy() || device().running());
    EXPECT_EQ(VMConfiguration::load(shared.configurationFile()).memoryMB, 6 * 1024);
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("请求启动")));
}

TEST_F(FleetViewTest,
       RunningDeviceLocksItsHardwareRefusesDeletionTakesSnapshotsAndTheFleetRenamesSelectsAndDeletes)
{
    const VMPaths second(root + QStringLiteral("/instances/B0000000-0000-0000-0000-000000000000"), root);
    ASSERT_TRUE(writeFile(second.instanceNameFile(), "工作机"));
    open(true);
    ContentView &content = detail();
    QComboBox *screen = content.hardware()->screenPicker();
    ASSERT_EQ(screen->count(), VMConfiguration::screenPresets().size());
    screen->setCurrentIndex(1);
    Q_EMIT screen->activated(1);
    EXPECT_TRUE(
        readFile(shared.configurationFile()).contains(VMConfiguration::screenPresets().at(1).label.toUtf8()));

    EXPECT_EQ(content.forceQuitButton()->toolTip(),
              QStringLiteral("应急终止安卓，不保存运行快照；不清空已有设备数据。"));

    content.startButton()->click();
    ASSERT_TRUE(waitUntil([this] { return device().booted(); }, 15000)) << device().status().toStdString();
    EXPECT_TRUE(content.installApkButton()->isVisibleTo(view.get()) &&
                content.installApkButton()->isEnabled());
    EXPECT_FALSE(content.hardware()->isEnabled());
    EXPECT_EQ(content.statusLabel()->text(), QStringLiteral("安卓正在运行"));
    EXPECT_EQ(view->entries().first()->dotColor(), QColor(0x34, 0xC7, 0x59));

    // Deleting it is asked about, then refused by the fleet in its own alert.
    view->deleteButton()->click();
    QMessageBox *confirmation = alert(*view, QStringLiteral("删除安卓设备？"));
    ASSERT_NE(confirmation, nullptr);
    EXPECT_EQ(view->deletionId(), QStringLiteral("primary"));
    answer(confirmation, QStringLiteral("删除设备并移到废纸篓"));
    EXPECT_EQ(view->deletionId(), std::nullopt);
    ViewHelpers::answerAlert(*view, QStringLiteral("多开提示"),
                             QStringLiteral("请先停止该安卓设备，再删除。"), QStringLiteral("知道了"));
    EXPECT_EQ(fleet->models().size(), 2);

    content.stopButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !device().running(); }, 15000));
    // What the stopped device shows is DeviceRulesTest's; that the page follows the state, the checks above.
    EXPECT_TRUE(content.hardware()->isEnabled());
    EXPECT_EQ(view->entries().first()->dotColor(), QColor(0x8E, 0x8E, 0x93));

    // Snapshots of the stopped device, through their confirmations.
    SnapshotPanel *panel = content.snapshots();
    EXPECT_FALSE(panel->rollbackButton()->isEnabled());

    panel->createButton()->click();
    ASSERT_TRUE(
        waitUntil([&] { return device().latestSnapshot().has_value() && !device().snapshotBusy(); }, 30000))
        << device().error().toStdString();
    EXPECT_TRUE(panel->rollbackButton()->isEnabled());

    panel->rollbackButton()->click();
    ViewHelpers::answerAlert(
        *panel, QStringLiteral("回滚到最近快照？"),
        QStringLiteral("当前设备数据将被最近快照替换。回滚前必须停止安卓；快照本身会继续保留。"),
        QStringLiteral("取消"));
    EXPECT_FALSE(device().snapshotBusy());

    panel->deleteAction()->trigger();
    answer(alert(*panel, QStringLiteral("删除最近快照？")), QStringLiteral("删除快照"));
    EXPECT_FALSE(device().latestSnapshot().has_value());
    EXPECT_FALSE(panel->rollbackButton()->isEnabled());

    panel->openFolderAction()->trigger();
    EXPECT_EQ(host.opened(),
              QList<QUrl>{QUrl::fromLocalFile(root + QStringLiteral("/snapshots/android/primary"))});

    // Renaming, selecting and deleting in the fleet.
    detail().renameButton()->click();
    NameSheet *sheet = detail().renameSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("安卓 1"));
    // A blank name would neither be stored nor show: the sheet does not take it.
    sheet->nameField()->setText(QStringLiteral(" \t "));
    EXPECT_FALSE(button(*sheet, QStringLiteral("保存"))->isEnabled());
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    EXPECT_EQ(device().name(), QStringLiteral("安卓 1"));
    EXPECT_FALSE(LogProbe::text().contains(QStringLiteral("设备已重命名为")));
    EXPECT_EQ(detail().renameSheet(), sheet);
    sheet->nameField()->setText(QStringLiteral("  测试机  "));
    button(*sheet, QStringLiteral("保存"))->click();

    EXPECT_EQ(readFile(shared.instanceNameFile()), QByteArray("测试机"));
    ASSERT_TRUE(waitUntil([&] { return detail().renameSheet() == nullptr; }, 1000));
    detail().renameButton()->click();
    const QString markup = QStringLiteral("<b>测试机</b>");
    detail().renameSheet()->nameField()->setText(markup);
    button(*detail().renameSheet(), QStringLiteral("保存"))->click();
    QLabel *header = ViewHelpers::labelContaining(detail(), markup);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(header)->text(QAccessible::Name), markup)
        << "a name is shown as written, not as markup";
    // However long, a name leaves the page its width: the rename button stays in view.
    ASSERT_TRUE(waitUntil([&] { return detail().renameSheet() == nullptr; }, 1000));
    detail().renameButton()->click();
    const QString longName = QStringLiteral("很长的设备名称").repeated(30);
    detail().renameSheet()->nameField()->setText(longName);
    button(*detail().renameSheet(), QStringLiteral("保存"))->click();
    ASSERT_TRUE(waitUntil([&] { return header->text() == longName; }, 1000));
    idleFor(100);
    const QWidget *rename = detail().renameButton();
    EXPECT_LE(rename->mapTo(view.get(), QPoint(rename->width(), 0)).x(), view->width());
    ASSERT_TRUE(waitUntil([&] { return detail().renameSheet() == nullptr; }, 1000));
    detail().renameButton()->click();
    detail().renameSheet()->nameField()->setText(QStringLiteral("测试机"));
    button(*detail().renameSheet(), QStringLiteral("保存"))->click();
    EXPECT_EQ(view->entries().first()->accessibleName(), QStringLiteral("测试机"));
    EXPECT_TRUE(LogProbe::text().contains(QStringLiteral("[Android] 设备已重命名为 测试机")));
    EXPECT_TRUE(waitUntil([&] { return detail().renameSheet() == nullptr; }, 1000));
    ASSERT_EQ(view->entries().size(), 2);
    EXPECT_TRUE(view->entries().at(0)->selected());

    QTest::mouseClick(view->entries().at(1), Qt::LeftButton);
    EXPECT_EQ(fleet->selected(), second.root().section(u'/', -1));
    EXPECT_TRUE(view->entries().at(1)->selected());
    EXPECT_FALSE(view->entries().at(0)->selected());
    EXPECT_EQ(detail().model(), fleet->models().at(1)) << "the detail follows the selection";

    view->deleteButton()->click();
    confirmation = alert(*view, QStringLiteral("删除安卓设备？"));
    ASSERT_NE(confirmation, nullptr);
    EXPECT_TRUE(confirmation->informativeText().startsWith(QStringLiteral("将删除 工作机 及其")));
    answer(confirmation, QStringLiteral("取消"));
    EXPECT_EQ(view->deletionId(), std::nullopt);
    EXPECT_EQ(fleet->models().size(), 2);

    for (int left = 2; left > 0; --left) {
        view->deleteButton()->click();
        answer(alert(*view, QStringLiteral("删除安卓设备？")), QStringLiteral("删除设备并移到废纸篓"));
        ASSERT_TRUE(
            waitUntil([&] { return fleet->models().size() == left - 1 && !fleet->creating(); }, 15000))
            << fleet->error().toStdString();
    }
    EXPECT_EQ(view->contentView(), nullptr);
    EXPECT_TRUE(ViewHelpers::showsLabel(*view, QStringLiteral("暂无安卓设备")));
    EXPECT_FALSE(view->deleteButton()->isEnabled());
}
