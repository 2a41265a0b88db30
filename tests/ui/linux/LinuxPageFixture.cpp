#include "LinuxPageFixture.h"

#include "ui/linux/LinuxSettingsPanel.h"
#include "ui/style/PillActionButton.h"

void LinuxPageTest::chooseISO(const QString &path)
{
    interaction.files.enqueue(path);
    view->settings()->chooseISOButton()->click();
    ASSERT_TRUE(waitUntil([&] { return interaction.files.isEmpty(); }));
    waitUntil([] { return false; }, 20);
}

void LinuxPageTest::startRunning()
{
    ASSERT_TRUE(view->startButton()->isVisible() && view->startButton()->isEnabled());
    view->startButton()->click();
    ASSERT_TRUE(waitUntil([&] { return model->running() || !model->error().isEmpty(); }));
    ASSERT_TRUE(model->running()) << model->error().toStdString();
}

void LinuxPageTest::stopByGuest()
{
    ASSERT_NE(engine.last(), nullptr);
    engine.last()->reportGuestStop();
    ASSERT_TRUE(waitUntil([&] { return !model->running(); }));
}
