// The command runner against real programs; scripts go through /bin/sh only because the tests ask for it.
#include "Await.h"
#include "ChildDeath.h"
#include "LogProbe.h"
#include "TestFiles.h"

#include "services/AppLog.h"
#include "services/Command.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

const QString sh = QStringLiteral("/bin/sh");

QCoro::Task<QString> script(QString body, QSet<int> accepted = {0}, double timeout = 60,
                            QStringList extra = {})
{
    QStringList arguments = QStringList{QStringLiteral("-c"), body, QStringLiteral("sh")} + extra;
    co_return co_await Command::run(sh, arguments, std::nullopt, timeout, accepted);
}

QStringList commandEntries()
{
    return LogProbe::messages(QStringLiteral("命令"));
}

class CommandTest : public ::testing::Test
{
protected:
    void SetUp() override { AppLog::clear(); }

    QString writeFile(const QString &name, const QByteArray &content)
    {
        ::writeFile(dir.filePath(name), content);
        return dir.filePath(name);
    }

    QTemporaryDir dir;
};

TEST_F(CommandTest, ExitStatusDecidesSuccessAndAProgramThatCannotStartIsNamedWithWhy)
{
    EXPECT_EQ(await(Command::run(QStringLiteral("/bin/true"), {})).value, QString());
    EXPECT_EQ(commandEntries(), QStringList({"INFO 开始：/bin/true", "INFO 完成：/bin/true"}));

    EXPECT_EQ(await(script(QStringLiteral("echo busy; exit 1"), {0, 1})).value, QStringLiteral("busy\n"));
    EXPECT_EQ(await(Command::run(QStringLiteral("/bin/false"), {})).error,
              QStringLiteral("命令执行失败或超时：false"));
    EXPECT_EQ(await(script(QStringLiteral("exit 2"))).error, QStringLiteral("命令执行失败或超时：sh"));
    EXPECT_EQ(await(script(QStringLiteral("printf '\\n\\n'; exit 2"))).error,
              QStringLiteral("命令执行失败或超时：sh"));
    // The signal number must not pass for an exit status.
    EXPECT_EQ(await(script(QStringLiteral("echo dying; kill -KILL $$"), {0, 9, 137})).error,
              QStringLiteral("dying\n"));

    // A program that cannot start is named with the platform's reason.
    AppLog::clear();
    const auto reason = [](int code) { return QString::fromLocal8Bit(std::strerror(code)); };
    const auto missing = await(Command::run(QStringLiteral("/nonexistent/tool"), {}));
    EXPECT_EQ(missing.error,
              QStringLiteral("无法启动 /nonexistent/tool：") + reason(ENOENT) + QStringLiteral("。"));
    EXPECT_EQ(commandEntries(), QStringList({"INFO 开始：/nonexistent/tool",
                                             "ERROR 失败：/nonexistent/tool\n" + *missing.error}));

    const QString plain = writeFile(QStringLiteral("plain"), "echo hi\n");
    EXPECT_EQ(await(Command::run(plain, {})).error, QStringLiteral("无法启动 ") + plain +
                                                        QStringLiteral("：") + reason(EACCES) +
                                                        QStringLiteral("。"));
    // A bare name is not looked up on PATH.
    EXPECT_EQ(await(Command::run(QStringLiteral("true"), {})).error,
              QStringLiteral("无法启动 true：") + reason(ENOENT) + QStringLiteral("。"));
}

TEST_F(CommandTest, OutputIsMergedDecodedAndReturnedUntrimmedAndAFailureHoldsItsLastCharacters)
{
    EXPECT_EQ(await(script(QStringLiteral("echo out1; echo err1 >&2; echo out2; echo err2 >&2"))).value,
              QStringLiteral("out1\nerr1\nout2\nerr2\n"));
    EXPECT_EQ(await(script(QStringLiteral("printf '\\357\\273\\277a\\377b\\344'"))).value,
              QStringLiteral("\uFEFFa\uFFFDb\uFFFD"));

    AppLog::clear();
    const QString body = QString(1000, u'x') + QString(1000, u'y');
    const QString path = writeFile(QStringLiteral("out.txt"), ("\n  " + body + "\n\n\n").toUtf8());
    EXPECT_EQ(await(Command::run(QStringLiteral("/bin/cat"), {path})).value, "\n  " + body + "\n\n\n");
    EXPECT_EQ(commandEntries().last(), "INFO 完成：/bin/cat " + path + u'\n' + body.right(1500));

    // A failure's message holds the last characters of the output.
    QByteArray lines;
    for (int i = 0; i < 500; ++i) {
        lines += QByteArray::number(i).rightJustified(9, '0') + '\n';
    }
    const QString numbered = writeFile(QStringLiteral("lines.txt"), lines);
    const auto failed = await(script(QStringLiteral("cat \"$1\"; exit 1"), {0}, 60, {numbered}));
    EXPECT_EQ(failed.error, QString::fromUtf8(lines.right(3000)));
    EXPECT_EQ(commandEntries().last(), "ERROR 失败：/bin/sh -c \"cat \"$1\"; exit 1\" sh " + numbered +
                                           u'\n' + QString::fromUtf8(lines.right(3000)).trimmed());

    // A character is what the reader sees: accents stay on their letter, emoji and flags whole.
    const QString accented = QStringLiteral("e\u0301\u0302\u0303\u0304\u0305").repeated(5000);
    const QString emoji = QStringLiteral("\U0001F600").repeated(4000);
    const QString flags =
        QStringLiteral("\U0001F1E8\U0001F1F3").repeated(4000) + QStringLiteral("\U0001F1EB");
    const std::pair<QString, QString> cases[] = {{accented, accented.right(3000 * 6)},
                                                 {emoji, emoji.right(3000 * 2)},
                                                 {flags, flags.right(2 + 2999 * 4)}};
    for (const auto &[text, tail] : cases) {
        const QString file = writeFile(QStringLiteral("text.txt"), text.toUtf8());
        EXPECT_EQ(await(script(QStringLiteral("cat \"$1\"; exit 1"), {0}, 60, {file})).error, tail);
    }
}

TEST_F(CommandTest, TheProgramGetsItsArgumentsVerbatimTheGivenEnvironmentAndNoInput)
{
    const QStringList arguments = {QStringLiteral("[%s]"), QStringLiteral("a b"), QStringLiteral("c\td"),
                                   QStringLiteral("$HOME;\"*\"")};
    EXPECT_EQ(await(Command::run(QStringLiteral("/usr/bin/printf"), arguments)).value,
              QStringLiteral("[a b][c\td][$HOME;\"*\"]"));
    EXPECT_EQ(commandEntries().first(),
              QStringLiteral("INFO 开始：/usr/bin/printf [%s] \"a b\" c\td $HOME;\"*\""));

    // A given environment is the whole environment.
    const ScopedEnv inherited("CORVANE_INHERITED", "yes");
    const QString env = QStringLiteral("/usr/bin/env");
    EXPECT_EQ(await(Command::run(env, {}, QMap<QString, QString>{{"ONLY", "1"}})).value,
              QStringLiteral("ONLY=1\n"));
    EXPECT_EQ(await(Command::run(env, {}, QMap<QString, QString>{})).value, QString());
    EXPECT_TRUE(await(Command::run(env, {})).value->contains(QStringLiteral("CORVANE_INHERITED=yes\n")));

    // Standard input is at its end at once.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(await(Command::run(QStringLiteral("/bin/cat"), {}, std::nullopt, 10)).value, QString());
    EXPECT_LT(clock.elapsed(), 2000);
}

TEST_F(CommandTest, TimeOutTerminatesThenKills)
{
    QElapsedTimer clock;
    clock.start();
    const QStringList sleep = {QStringLiteral("30")};
    EXPECT_EQ(await(Command::run(QStringLiteral("/bin/sleep"), sleep, std::nullopt, 0.3)).error,
              QStringLiteral("命令执行失败或超时：sleep"));
    EXPECT_LT(clock.elapsed(), 2000);

    clock.restart();
    EXPECT_EQ(await(script(QStringLiteral("trap '' TERM; echo stubborn; exec sleep 30"), {0}, 0.5)).error,
              QStringLiteral("stubborn\n"));
    EXPECT_GE(clock.elapsed(), 5400);
    EXPECT_LT(clock.elapsed(), 7500);
}

QCoro::Task<QStringList> twoAtOnce()
{
    QStringList arguments = {QStringLiteral("-c"), QStringLiteral("sleep 3; echo $0")};
    auto first = Command::run(sh, arguments + QStringList{QStringLiteral("one")});
    auto second = Command::run(sh, arguments + QStringList{QStringLiteral("two")});
    QStringList outputs;
    outputs.append(co_await std::move(first));
    outputs.append(co_await std::move(second));
    co_return outputs;
}

TEST_F(CommandTest, RunsDoNotHoldUpTheMainThreadOrEachOther)
{
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(await(twoAtOnce()).value, QStringList({"one\n", "two\n"}));
    EXPECT_LT(clock.elapsed(), 4500);
    EXPECT_GE(ticks, 40);
}

TEST_F(CommandTest, ChecksumMatchesKnownDigestsOrSaysWhyItCannotRead)
{
    EXPECT_EQ(await(Command::checksum(writeFile(QStringLiteral("empty"), {}))).value,
              QStringLiteral("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    EXPECT_EQ(await(Command::checksum(writeFile(QStringLiteral("abc"), "abc"))).value,
              QStringLiteral("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(commandEntries(), QStringList());

    // Several chunks and a partial last one.
    const QString large = writeFile(QStringLiteral("large"), patternedBytes(3 * 1'048'576 + 12'345));
    const auto reference = await(Command::run(QStringLiteral("/usr/bin/sha1sum"), {large}));
    ASSERT_TRUE(reference.value);
    EXPECT_EQ(await(Command::checksum(large)).value, reference.value->left(40));

    EXPECT_EQ(await(Command::checksum(dir.filePath(QStringLiteral("missing")))).error,
              QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_TRUE(await(Command::checksum(dir.path())).error);
}

#ifdef Q_OS_LINUX
TEST_F(CommandTest, TheProgramEndsWithTheApplicationThatRanIt)
{
    // A copy or an unpacking must not go on writing into folders after the application was killed.
    if (const QString shared = ChildDeath::childFolder(); !shared.isEmpty()) {
        const QStringList arguments{QStringLiteral("-c"), QStringLiteral("echo $$ > \"$1\"; exec sleep 300"),
                                    QStringLiteral("sh"), shared + QStringLiteral("/program.pid")};
        QCoro::Task<QString> running = Command::run(sh, arguments, std::nullopt, 600);
        ASSERT_TRUE(
            waitUntil([&] { return ChildDeath::readPid(shared + QStringLiteral("/program.pid")) > 0; }));
        ::raise(SIGKILL);
    }
    QTemporaryDir shared;
    const ChildDeath::Ending child = ChildDeath::runCurrentTestAsChild(shared.path());
    ASSERT_TRUE(child.killedBy(SIGKILL)) << child.output.toStdString();
    const pid_t program = ChildDeath::readPid(shared.filePath(QStringLiteral("program.pid")));
    ASSERT_GT(program, 0);
    EXPECT_TRUE(ChildDeath::ends(program)) << "the program outlived the application that ran it";
}
#endif

} // namespace
