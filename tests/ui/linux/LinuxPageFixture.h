#pragma once

#include "../../linux/FakeEngine.h"
#include "FakeHost.h"
#include "FakeInteraction.h"
#include "TestFiles.h"
#include "Wait.h"

#include "linux/LinuxModel.h"
#include "ui/linux/LinuxSettingsPanel.h"
#include "ui/linux/LinuxView.h"
#include "ui/style/PillActionButton.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

/** The Linux page on a fresh data folder, over the fake engine, shown off-screen. */
class LinuxPageTest : public ::testing::Test
{
protected:
    static constexpr qint64 MiB = qint64(1) << 20;
    static constexpr qint64 GiB = qint64(1) << 30;

    LinuxView &show()
    {
        model = std::make_unique<LinuxModel>(engine, base);
        view = std::make_unique<LinuxView>(*model);
        view->resize(1000, 900);
        view->show();
        return *view;
    }

    /** Picks `path` in the ISO dialog the page opens. */
    void chooseISO(const QString &path)
    {
        interaction.files.enqueue(path);
        view->settings()->chooseISOButton()->click();
        ASSERT_TRUE(waitUntil([&] { return interaction.files.isEmpty(); }));
        waitUntil([] { return false; }, 20);
    }

    void startRunning()
    {
        ASSERT_TRUE(view->startButton()->isVisible() && view->startButton()->isEnabled());
        view->startButton()->click();
        ASSERT_TRUE(waitUntil([&] { return model->running() || !model->error().isEmpty(); }));
        ASSERT_TRUE(model->running()) << model->error().toStdString();
    }

    QJsonObject settingsOnDisk() const
    {
        return QJsonDocument::fromJson(readFile(base + QStringLiteral("/linux-configuration.json"))).object();
    }

    FakeHost host{8, 16 * GiB};
    FakeInteraction interaction;
    FakeEngine engine;
    QTemporaryDir dir;
    QString base = dir.filePath(QStringLiteral("CorvaneBeta"));
    QString iso = makeSparseFile(dir.filePath(QStringLiteral("debian-12.5.0-arm64-netinst.iso")), 2 * MiB);
    std::unique_ptr<LinuxModel> model;
    std::unique_ptr<LinuxView> view;
};
