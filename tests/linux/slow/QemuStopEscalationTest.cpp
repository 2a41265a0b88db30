// A QEMU that takes "quit" and goes on running, as a hung one does: the machine's stop ends it by force
// once the time it allows has passed, and not before. The process is a script that waits; its side of
// the monitor is the test's, so no QEMU is needed, only the time.
#include "../QmpPeer.h"
#include "Await.h"
#include "Wait.h"

#include "linux/engine/QemuMachine.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>

TEST(QemuStopEscalation, AQemuThatIgnoresQuitIsKilledOnceTheQuitTimeHasPassed)
{
    using namespace std::chrono;
    QTemporaryDir folder;
    const QemuInstallation installation = scriptedQemu(folder.path(), "#!/bin/sh\nexec /bin/sleep 300\n");
    QemuMachine machine(installation, describedMachine(folder.path()));
    QCoro::Task<> starting = machine.start();
    QmpPeer peer(machine.arguments());
    ASSERT_TRUE(peer.connected());
    const Outcome<void> started = await(std::move(starting));
    ASSERT_TRUE(started.done) << started.error.value_or(QString()).toStdString();
    const qint64 pid = machine.processId();
    ASSERT_GT(pid, 0);
    // Its end closes its monitor connection, as a real QEMU's would.
    peer.closeWhenGone(pid);

    QElapsedTimer clock;
    clock.start();
    bool stopped = false;
    QCoro::connect(machine.stop(), &machine, [&] { stopped = true; });
    const auto allowed = duration_cast<milliseconds>(QemuMachine::quitTimeout);
    ASSERT_TRUE(waitUntil([&] { return stopped; }, int(allowed.count()) + 5000)) << "QEMU was never killed";
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(peer.received.value(peer.received.size() - 1), QStringLiteral("quit"));
    EXPECT_GE(elapsed, allowed.count()) << "killed before QEMU had its time to quit";
    EXPECT_LT(elapsed, allowed.count() + 2000);
    EXPECT_NE(::kill(pid_t(pid), 0), 0) << "QEMU is still there";
    EXPECT_FALSE(machine.canStop());
}
