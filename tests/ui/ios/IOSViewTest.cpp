#include "ui/ios/IOSView.h"
#include "../../ios/IOSModelFixture.h"
#include "../ViewHelpers.h"
#include "Wait.h"
#include "WidgetFinder.h"
#include "ui/ios/IOSDeviceCard.h"
#include "ui/style/NameSheet.h"
#include "ui/style/PillActionButton.h"

#include <QComboBox>

using namespace ViewHelpers;
using namespace WidgetFinder;

namespace {

class IOSViewTest : public IOSModelFixture
{
protected:
    IOSView &open(const IOSModel::Options &options = standIns())
    {
        ios = &model(options);
        view = std::make_unique<IOSView>(*ios);
        view->resize(980, 820);
        return *view;
    }

    IOSModel &current() const { return *ios; }

    bool settled()
    {
        return waitUntil([this] { return !current().busy(); });
    }

    /** Adds a device through the page's own form; `name` is what the model makes of `typed`. */
    void add(const QString &typed, QString name = {})
    {
        if (name.isEmpty()) {
            name = typed;
        }
        type(view->nameField(), typed);
        view->addButton()->click();
        ASSERT_TRUE(waitUntil([&] {
            return !current().busy() && std::any_of(current().devices().cbegin(), current().devices().cend(),
                                                    [&](const IOSDevice &d) { return d.name == name; });
        })) << current().error().toStdString();
    }

    IOSDeviceCard *card(const QString &name) const
    {
        for (IOSDeviceCard *each : view->cards()) {
            if (each->device().name == name) {
                return each;
            }
        }
        return nullptr;
    }

    static QStringList items(const QComboBox *picker)
    {
        QStringList texts;
        for (int i = 0; i < picker->count(); ++i) {
            texts.append(picker->itemText(i));
        }
        return texts;
    }

    IOSModel *ios = nullptr;
    std::unique_ptr<IOSView> view;
};

} // namespace

TEST_F(IOSViewTest, ReadsTheInventoryOnceWhenFirstShownAndSaysWhatIsMissing)
{
    // No Xcode yet: its xcrun is not there.
    IOSModel::Options programs = standIns();
    programs.xcrun = path("xcode/xcrun");
    open(programs);
    EXPECT_FALSE(view->runtimeHint()->isVisibleTo(view.get())) << "nothing is known before the first read";
    EXPECT_FALSE(current().loaded()) << "the inventory is read when the page is shown, not before";
    view->show();
    ASSERT_TRUE(waitUntil([this] { return current().loaded() && !current().busy(); }));
    EXPECT_EQ(view->statusLabel()->text(), QStringLiteral("无法读取 Xcode 模拟器环境"));
    answerAlert(*view, QStringLiteral("iOS 提示"), current().error(), QStringLiteral("知道了"));

    // Xcode without a usable iOS runtime: showing the page again reads nothing, only the refresh does.
    QJsonObject bare = machine();
    bare["runtimes"] =
        QJsonArray{entry(QStringLiteral("r.iOS-16-4"), QStringLiteral("iOS 16.4"), false),
                   entry(QStringLiteral("r.watchOS-10-5"), QStringLiteral("watchOS 10.5"), true)};
    bare["devicetypes"] = QJsonArray{entry(QStringLiteral("t.Apple-TV"), QStringLiteral("Apple TV"))};
    writeState(bare);
    ASSERT_TRUE(QDir().mkpath(path("xcode")));
    ASSERT_TRUE(QFile::link(QStringLiteral(CORVANE_FAKES_DIR "/xcrun"), programs.xcrun));
    view->hide();
    view->show();
    EXPECT_TRUE(settled());
    EXPECT_TRUE(calls().isEmpty());
    view->refreshButton()->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(calls().size(), 1);
    EXPECT_TRUE(view->runtimeHint()->isVisibleTo(view.get()));
    EXPECT_EQ(items(view->runtimePicker()), QStringList{QStringLiteral("未安装")});
    EXPECT_EQ(items(view->typePicker()), QStringList{QStringLiteral("不可用")});

    // Once a runtime is installed and the user refreshes, the hint goes and the pickers fill.
    writeState(machine());
    view->refreshButton()->click();
    ASSERT_TRUE(settled());
    EXPECT_FALSE(view->runtimeHint()->isVisibleTo(view.get()));
    EXPECT_EQ(items(view->runtimePicker()),
              (QStringList{QStringLiteral("iOS 17.5"), QStringLiteral("iOS 18.2")}));
    EXPECT_EQ(items(view->typePicker()),
              (QStringList{QStringLiteral("iPhone 15"), QStringLiteral("iPhone 16 Pro"),
                           QStringLiteral("iPad Air (M2)")}));
}

TEST_F(IOSViewTest, TheNameFollowsTheTypeTheRenameSheetRenamesTheDevicePickedAndEachButtonReachesItsDevice)
{
    open();
    EXPECT_EQ(view->nameField()->text(), QStringLiteral("iPhone 17 Pro"));
    view->show();
    ASSERT_TRUE(waitUntil([this] { return current().loaded() && !current().busy(); }));
    EXPECT_EQ(view->typePicker()->currentText(), QStringLiteral("iPhone 16 Pro"));
    EXPECT_EQ(view->nameField()->text(), QStringLiteral("iPhone 16 Pro"));

    // The user's own text stays while the type does not change.
    type(view->nameField(), QStringLiteral("我的测试机"));
    view->refreshButton()->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(view->nameField()->text(), QStringLiteral("我的测试机"));

    view->typePicker()->setFocus();
    QTest::keyClick(view->typePicker(), Qt::Key_Down);
    EXPECT_EQ(current().type(), iPadAir);
    EXPECT_EQ(view->nameField()->text(), QStringLiteral("iPad Air (M2)"));
    view->runtimePicker()->setFocus();
    QTest::keyClick(view->runtimePicker(), Qt::Key_Up);
    EXPECT_EQ(current().runtime(), ios17);

    // The inventory dropping the chosen type picks another, and the name follows that too.
    QJsonObject fewer = machine();
    QJsonArray types = fewer["devicetypes"].toArray();
    types.removeAt(2);
    fewer["devicetypes"] = types;
    writeState(fewer);
    view->refreshButton()->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(view->typePicker()->currentText(), QStringLiteral("iPhone 16 Pro"));
    EXPECT_EQ(view->nameField()->text(), QStringLiteral("iPhone 16 Pro"));
    add(QStringLiteral("  Zed  "), QStringLiteral("Zed"));
    EXPECT_EQ(changes().last().mid(1),
              (QStringList{QStringLiteral("create"), QStringLiteral("Zed"), iPhone16Pro, ios17}));

    const QString zed = card(QStringLiteral("Zed"))->device().udid;
    card(QStringLiteral("Zed"))->renameButton()->click();
    NameSheet *sheet = view->renameSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("修改设备名称"));
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("Zed"));
    // Another device sorts before it meanwhile: the first card is now someone else.
    current().setName(QStringLiteral("Alpha"));
    await(current().create());
    ASSERT_EQ(view->cards().first()->device().name, QStringLiteral("Alpha"));
    type(sheet->nameField(), QStringLiteral(" Zulu "));
    button(*sheet, QStringLiteral("保存"))->click();
    ASSERT_TRUE(settled());
    EXPECT_EQ(listed(current(), zed).name, QStringLiteral("Zulu"));
    EXPECT_NE(card(QStringLiteral("Alpha")), nullptr);
    EXPECT_TRUE(waitUntil([this] { return view->renameSheet() == nullptr; }, 1000));

    // Cancelling renames nothing.
    card(QStringLiteral("Zulu"))->renameButton()->click();
    ASSERT_NE(view->renameSheet(), nullptr);
    type(view->renameSheet()->nameField(), QStringLiteral("Other"));
    forgetCalls();
    button(*view->renameSheet(), QStringLiteral("取消"))->click();
    EXPECT_TRUE(settled());
    EXPECT_TRUE(changes().isEmpty());

    // Which actions each state allows is IOSRulesTest's; here each button and confirmation reaches the
    // model and the card shows what came of it.
    add(QStringLiteral("Keep"));
    add(QStringLiteral("Gone"));
    IOSDeviceCard *keep = card(QStringLiteral("Keep"));
    ASSERT_NE(keep, nullptr);
    EXPECT_EQ(keep->stateLabel()->text(), QStringLiteral("iPhone 已停止"));
    EXPECT_EQ(keep->snapshotLabel()->text(), QStringLiteral("尚未创建"));
    const auto reaches = [&](PillActionButton *button, const char *state) {
        button->click();
        return waitUntil([&] { return !current().busy() && keep->device().state == QLatin1String(state); });
    };
    ASSERT_TRUE(reaches(keep->bootButton(), "Booted"));
    EXPECT_EQ(keep->stateLabel()->text(), QStringLiteral("iPhone 正在运行"));
    ASSERT_TRUE(reaches(keep->shutdownButton(), "Shutdown"));
    ASSERT_TRUE(reaches(keep->bootButton(), "Booted"));
    ASSERT_TRUE(reaches(keep->forceQuitButton(), "Shutdown"));

    const QString gone = card(QStringLiteral("Gone"))->device().udid;
    card(QStringLiteral("Gone"))->deleteButton()->click();
    answerAlert(*view, QStringLiteral("永久删除此 iOS 设备及其数据？"), QString(), QStringLiteral("取消"));
    EXPECT_TRUE(settled());
    EXPECT_TRUE(simulators().contains(gone));
    card(QStringLiteral("Gone"))->deleteButton()->click();
    answer(alert(*view, QStringLiteral("永久删除此 iOS 设备及其数据？")), QStringLiteral("永久删除"));
    ASSERT_TRUE(waitUntil([&] { return !current().busy() && !simulators().contains(gone); }));
    ASSERT_EQ(view->cards().size(), 3);
    keep = card(QStringLiteral("Keep"));
    const QString original = keep->device().udid;

    keep->createSnapshotButton()->click();
    ASSERT_TRUE(waitUntil([&] { return !current().busy() && current().snapshots().size() == 1; }));
    EXPECT_EQ(keep->snapshotLabel()->text(),
              QStringLiteral("最近：") +
                  QLocale::system().toString(current().snapshots().first().created().toLocalTime(),
                                             QLocale::ShortFormat));
    keep->rollbackButton()->click();
    // What a rollback does to the simulators is IOSSnapshotsTest's; here the card's device is restored.
    answerAlert(*view, QStringLiteral("回滚 iPhone 到最近快照？"),
                QStringLiteral("iPhone 必须处于已停止状态。系统会先从快照创建恢复设备，再替换当前设备。"),
                QStringLiteral("一键回滚"));
    ASSERT_TRUE(waitUntil([&] { return !current().busy() && keep->device().udid != original; }));
    EXPECT_EQ(keep->device().name, QStringLiteral("Keep"));

    // While the model works, nothing on the page takes a click.
    qputenv("FAKE_SIMCTL_DELAY_MS", "600");
    view->refreshButton()->click();
    ASSERT_TRUE(current().busy());
    EXPECT_FALSE(view->refreshButton()->isEnabled() || view->addButton()->isEnabled());
    EXPECT_FALSE(keep->bootButton()->isEnabled() || keep->deleteSnapshotAction()->isEnabled());
    ASSERT_TRUE(settled());
    qunsetenv("FAKE_SIMCTL_DELAY_MS");

    keep->deleteSnapshotAction()->trigger();
    answer(alert(*view, QStringLiteral("删除最近 iPhone 快照？")), QStringLiteral("删除快照"));
    ASSERT_TRUE(waitUntil([&] { return !current().busy() && current().snapshots().isEmpty(); }));
    EXPECT_FALSE(keep->rollbackButton()->isEnabled());
    EXPECT_TRUE(view->addButton()->isEnabled() && keep->bootButton()->isEnabled());
}
