// How a device's claims and tasks end: with its emulator, with the device itself, or before either
// has properly begun.
#include "ChildDeath.h"
#include "VMModelFixture.h"

#include <QDeadlineTimer>
#include <QPointer>
#include <QProcess>

#include <csignal>
#include <new>
#include <sys/mman.h>
#include <unistd.h>

namespace {

/**
 * Holds back the start task's wake-up after the emulator's launch until the emulator has died and
 * the process object has taken note, so the end arrives before the task looks at the process: what a
 * busy main thread does to an emulator that fails at once.
 */
class EndBeforeTheStartResumes : public QObject
{
public:
    explicit EndBeforeTheStartResumes(QString emulator)
        : m_emulator(std::move(emulator))
    {
        QCoreApplication::instance()->installEventFilter(this);
    }
    ~EndBeforeTheStartResumes() override { QCoreApplication::instance()->removeEventFilter(this); }

    bool held = false;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *process = qobject_cast<QProcess *>(watched);
        if (held || event->type() != QEvent::MetaCall || !process || process->program() != m_emulator ||
            process->state() != QProcess::Running) {
            return false;
        }
        held = true;
        // Dead but not yet reaped: a zombie.
        const QDeadlineTimer deadline(10000);
        while (!deadline.hasExpired() && ChildDeath::processState(pid_t(process->processId())) != 'Z') {
            ::usleep(1000);
        }
        // Single passes, so the death is delivered but nothing it leaves for later is.
        const QPointer<QProcess> watchedProcess(process);
        while (!deadline.hasExpired() && watchedProcess && watchedProcess->state() != QProcess::NotRunning) {
            QCoreApplication::processEvents();
        }
        return !watchedProcess;
    }

private:
    QString m_emulator;
};

/**
 * Memory for one device that becomes unreadable the moment the device is destroyed: a task that
 * still reads the device afterwards faults at once, where freed memory would go on answering.
 */
class GuardedDevice
{
public:
    explicit GuardedDevice(const VMPaths &paths, VMModel::Options options = {})
        : m_size(((sizeof(VMModel) + pageSize() - 1) / pageSize()) * pageSize())
        , m_memory(::mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))
    {
        options.timing.bootPollInterval = 50ms;
        options.timing.stopPollInterval = 20ms;
        m_model = new (m_memory)
            VMModel(paths, QStringLiteral("primary"), QStringLiteral("安卓 1"), std::move(options));
    }
    GuardedDevice(const GuardedDevice &) = delete;
    GuardedDevice &operator=(const GuardedDevice &) = delete;
    ~GuardedDevice()
    {
        if (m_model) {
            m_model->~VMModel();
        }
        ::munmap(m_memory, m_size);
    }

    VMModel &model() { return *m_model; }

    void destroy()
    {
        std::exchange(m_model, nullptr)->~VMModel();
        ::mprotect(m_memory, m_size, PROT_NONE);
    }

private:
    static size_t pageSize() { return size_t(::sysconf(_SC_PAGESIZE)); }

    size_t m_size;
    void *m_memory;
    VMModel *m_model = nullptr;
};

using VMModelDeathTest = VMModelTest;

} // namespace

TEST_F(VMModelTest, ADeletedDeviceReleasesOnlyAPortItClaimed)
{
    // Never started, the first device still carries the default port number.
    VMModel &idle = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/A")), QStringLiteral("A"));
    VMModel &starting = device();
    starting.start();
    ASSERT_TRUE(starting.busy());
    ASSERT_EQ(starting.port(), idle.port());

    // Deleted while the other device's emulator has not bound that port yet: only the claim protects it.
    std::erase_if(owned, [&](const std::unique_ptr<VMModel> &held) { return held.get() == &idle; });
    VMModel &third = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/C")), QStringLiteral("C"));
    third.start();
    EXPECT_EQ(third.port(), starting.port() + 2) << "devices started together claim successive ports";
    ASSERT_TRUE(waitForStatus(starting, QStringLiteral("安卓正在运行"))) << starting.error().toStdString();
    ASSERT_TRUE(waitForStatus(third, QStringLiteral("安卓正在运行"))) << third.error().toStdString();
}

TEST_F(VMModelTest, AnEmulatorEndingOnItsOwnIsReportedWithItsLogTailUnlessItsStatusIsZero)
{
    const QString unexpected = QStringLiteral("模拟器意外退出。可切换「兼容渲染」后重试。\n\n");
    {
        // It ends before the start task has looked at it.
        ScopedEnv after("FAKE_EMULATOR_EXIT_AFTER_MS", "0");
        ScopedEnv status("FAKE_EMULATOR_EXIT_STATUS", "3");
        EndBeforeTheStartResumes race(paths.emulatorExecutable());
        VMModel &model = device();
        model.start();
        ASSERT_TRUE(waitUntil([&] { return !model.busy(); }, 15000));
        ASSERT_TRUE(race.held);
        EXPECT_EQ(model.status(), QStringLiteral("安卓已停止"));
        EXPECT_TRUE(model.error().startsWith(unexpected)) << model.error().toStdString();
        EXPECT_TRUE(model.error().contains(QStringLiteral("QEMU exited with status 3")));
        EXPECT_FALSE(model.running());
        EXPECT_EQ(model.instanceLock(), -1);
        EXPECT_TRUE(lockIsFree(paths));
        EXPECT_TRUE(LogProbe::entries().last().endsWith(
            QStringLiteral("[ERROR] [Android] 安卓 1 意外退出，状态码 3")));
    }
    {
        // The tail is cut where a character begins, never inside one.
        VMModel &model = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/E")), QStringLiteral("E"));
        model.start();
        ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓正在运行")));
        QFile log(model.paths().emulatorLog());
        ASSERT_TRUE(log.open(QIODevice::Append));
        const QString faces = QString(QStringLiteral("😀")).repeated(2000) + u'x';
        ASSERT_TRUE(log.write(faces.toUtf8()) > 0);
        log.close();
        ASSERT_TRUE(QString::fromUtf8(faces.toUtf8()).right(1800).front().isLowSurrogate())
            << "the cut must fall inside a pair for this case to mean anything";

        ASSERT_EQ(::kill(pid_t(model.processId()), SIGKILL), 0);
        ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓已停止")));
        EXPECT_EQ(model.instanceLock(), -1);
        EXPECT_TRUE(LogProbe::entries().last().endsWith(
            QStringLiteral("[ERROR] [Android] 安卓 1 意外退出，状态码 9")))
            << LogProbe::entries().last().toStdString();
        ASSERT_TRUE(model.error().startsWith(unexpected));
        const QString tail = model.error().mid(unexpected.size());
        EXPECT_TRUE(QStringView(tail).isValidUtf16()) << "a surrogate pair was split";
        EXPECT_EQ(tail, QString(QStringLiteral("😀")).repeated(1799) + u'x') << "the last 1800 characters";
    }
    {
        // Ending with status zero is no error.
        ScopedEnv after("FAKE_EMULATOR_EXIT_AFTER_MS", "400");
        ScopedEnv status("FAKE_EMULATOR_EXIT_STATUS", "0");
        VMModel &model = device(dir.filePath(QStringLiteral("CorvaneBeta/instances/F")), QStringLiteral("F"));
        model.start();
        ASSERT_TRUE(waitForStatus(model, QStringLiteral("安卓已停止")));
        EXPECT_TRUE(model.error().isEmpty());
        EXPECT_EQ(model.instanceLock(), -1);
    }
}

TEST_F(VMModelDeathTest, TasksOutlivingTheirDeviceNeverReadIt)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A repeated stop still waiting when the device goes.
    EXPECT_EXIT(
        {
            ScopedEnv ignoreKill("FAKE_EMULATOR_IGNORE_KILL", "1");
            ScopedEnv ignoreTerm("FAKE_EMULATOR_IGNORE_SIGTERM", "1");
            GuardedDevice guarded(paths);
            VMModel &model = guarded.model();
            model.start();
            if (!waitForStatus(model, QStringLiteral("安卓正在运行"))) {
                std::exit(3);
            }
            QCoro::Task<> first = model.stop();
            QCoro::Task<> repeated = model.stop();
            waitUntil([] { return false; }, 100);
            guarded.destroy();
            const bool ended = await(std::move(repeated)).done && await(std::move(first)).done;
            std::exit(ended ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");

    // An installation between its two version checks when the device goes.
    EXPECT_EXIT(
        {
            QFile::remove(paths.emulatorExecutable());
            if (!writeExecutable(paths.emulatorExecutable(),
                                 "#!/bin/sh\n/bin/sleep 1\necho 'Android emulator version 35.1.4.0'\n")) {
                std::exit(3);
            }
            VMModel::Options options;
            options.manifest = QByteArray("[]");
            GuardedDevice guarded(paths, std::move(options));
            QCoro::Task<> installing = guarded.model().installation().install();
            if (!waitUntil([] { return LogProbe::text().contains(QStringLiteral(" -version")); })) {
                std::exit(5);
            }
            guarded.destroy();
            const bool ended = await(std::move(installing)).done;
            waitUntil([] { return false; }, 300);
            std::exit(ended && !LogProbe::text().contains(QStringLiteral("adb version")) ? 0 : 4);
        },
        ::testing::ExitedWithCode(0), "");
}
