// One main for every test binary: the tests get a home and XDG folders of their own, created fresh
// before Qt reads any of them, so no test can touch a real user's data or settings.
#include "LogProbe.h"
#include "preferences/AppPreferences.h"

#include <QApplication>
#include <QDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <sys/stat.h>
#include <string>

namespace {

std::string makeSandbox()
{
    const char *tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/corvane-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::exit(2);
    }
    return pattern;
}

void pointAt(const char *variable, const std::string &path)
{
    QDir().mkpath(QString::fromStdString(path));
    ::setenv(variable, path.c_str(), 1);
}

// Every test starts from an empty log and the default preferences, so that none sees what an earlier
// one left.
class FreshStart : public ::testing::EmptyTestEventListener
{
    void OnTestStart(const ::testing::TestInfo &) override
    {
        LogProbe::reset();
        AppPreferences::clear(*AppPreferences::openStore());
    }
};

} // namespace

int main(int argc, char *argv[])
{
    const std::string sandbox = makeSandbox();
    pointAt("HOME", sandbox + "/home");
    pointAt("XDG_DATA_HOME", sandbox + "/home/.local/share");
    pointAt("XDG_CONFIG_HOME", sandbox + "/home/.config");
    pointAt("XDG_CACHE_HOME", sandbox + "/home/.cache");
    pointAt("XDG_STATE_HOME", sandbox + "/home/.local/state");
    pointAt("XDG_RUNTIME_DIR", sandbox + "/runtime");
    ::chmod((sandbox + "/runtime").c_str(), 0700);
    ::unsetenv("XDG_DATA_DIRS");
    ::unsetenv("XDG_CONFIG_DIRS");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // A relative or empty path in a test then lands in the sandbox, never in the checkout it ran from.
    QDir().mkpath(QString::fromStdString(sandbox + "/cwd"));
    if (::chdir((sandbox + "/cwd").c_str()) != 0) {
        std::perror("chdir");
        return 2;
    }

    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FreshStart);
    const int result = RUN_ALL_TESTS();
    QDir(QString::fromStdString(sandbox)).removeRecursively();
    return result;
}
