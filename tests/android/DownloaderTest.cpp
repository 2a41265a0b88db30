#include "android/Downloader.h"
#include "Await.h"
#include "TestFiles.h"
#include "TestHttpServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Fault = TestHttpServer::Fault;

const QString serverFailure = QStringLiteral("下载服务器返回异常，请检查网络后重试。");
const QString rangeMismatch = QStringLiteral("服务器续传范围不匹配，请重新尝试。");
const QString tooLarge = QStringLiteral("下载大小超出官方清单，已停止。");
// Our words first, then the platform's own (here Qt's untranslated ones).
const QString idleTimeOut =
    QStringLiteral("下载超时：服务器长时间没有发来数据，重试将从断点继续。（Socket operation timed out）");
const QString totalTimeOut =
    QStringLiteral("下载超时：下载用时超过上限，重试将从断点继续。（Socket operation timed out）");
const QString cancelled = QStringLiteral("下载已取消，重试将从断点继续。（Operation canceled）");

class DownloaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(server.listen());
        destination = dir.filePath(QStringLiteral("emulator-linux.zip"));
        partial = destination + QStringLiteral(".partial");
    }

    /** Downloads with `downloader`, or with a new one when there is none. */
    Outcome<QString> fetch(const QString &path, qint64 expectedSize, Downloader *downloader = nullptr)
    {
        Downloader fresh;
        reports.clear();
        return await((downloader ? *downloader : fresh)
                         .download(server.url(path), destination, expectedSize,
                                   [this](double fraction) { reports.push_back(fraction); }));
    }

    QTemporaryDir dir;
    TestHttpServer server;
    QString destination;
    QString partial;
    std::vector<double> reports;
};

TEST_F(DownloaderTest, ADownloadOrACompleteSideFileReplacesTheDestination)
{
    const QByteArray body = patternedBytes(3'000'000);
    server.serve(QStringLiteral("/a.zip"), body);
    writeFile(destination, "an older archive");

    const auto result = fetch(QStringLiteral("/a.zip"), body.size());

    ASSERT_FALSE(result.error) << result.error->toStdString();
    EXPECT_EQ(*result.value, destination);
    EXPECT_EQ(readFile(destination), body);
    EXPECT_FALSE(QFile::exists(partial));
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().at(0).method, "GET");
    EXPECT_TRUE(server.requests().at(0).header("Range").isNull());
    EXPECT_EQ(server.requests().at(0).header("Accept-Encoding"), "identity");
    // Its first and last progress reports are the next tests'.

    // A complete side file replaces the destination without any request.
    server.clearRequests();
    const QByteArray kept = patternedBytes(100'000, 3);
    writeFile(partial, kept);
    const auto complete = fetch(QStringLiteral("/unserved.zip"), kept.size());
    ASSERT_FALSE(complete.error) << complete.error->toStdString();
    EXPECT_EQ(readFile(destination), kept);
    EXPECT_FALSE(QFile::exists(partial));
    EXPECT_EQ(reports, std::vector<double>{1.0});

    // Nothing expected and nothing on disk is complete too: an empty file, still no request.
    QFile::remove(destination);
    const auto empty = fetch(QStringLiteral("/unserved.zip"), 0);
    ASSERT_FALSE(empty.error) << empty.error->toStdString();
    EXPECT_TRUE(QFile::exists(destination));
    EXPECT_EQ(QFileInfo(destination).size(), 0);
    EXPECT_TRUE(server.requests().isEmpty());
}

TEST_F(DownloaderTest, SideFileDecidesTheRangeAndTheResultIsAlwaysTheWholeBody)
{
    const QByteArray body = patternedBytes(2'500'000);
    struct Case
    {
        const char *what;
        QByteArray sideFile;
        Fault fault;
        QByteArray range;
        std::optional<double> firstReport;
    };
    // Foreign bytes in the side file would make the result differ from the body had they been kept.
    for (const Case &c : {Case{"a true prefix resumes open-ended", body.left(1'048'576), Fault::None,
                               "bytes=1048576-", 1'048'576.0 / 2'500'000.0},
                          Case{"one longer than expected is fetched whole",
                               patternedBytes(2'600'000, 7),
                               Fault::None,
                               {},
                               0.0},
                          Case{"a server ignoring the range restarts it",
                               patternedBytes(400'000, 9),
                               Fault::IgnoreRange,
                               "bytes=400000-",
                               {}},
                          Case{"a redirect keeps the range", body.left(1000), Fault::Redirect, "bytes=1000-",
                               1000.0 / 2'500'000.0}}) {
        SCOPED_TRACE(c.what);
        QFile::remove(destination);
        writeFile(partial, c.sideFile);
        server.clearRequests();
        TestHttpServer::Resource resource{body, c.fault};
        if (c.fault == Fault::Redirect) {
            server.serve(QStringLiteral("/real.zip"), body);
            resource.redirectTo = QStringLiteral("/real.zip");
        }
        server.serve(QStringLiteral("/a.zip"), resource);

        const auto result = fetch(QStringLiteral("/a.zip"), body.size());

        ASSERT_FALSE(result.error) << result.error->toStdString();
        EXPECT_EQ(readFile(destination), body);
        EXPECT_FALSE(QFile::exists(partial));
        EXPECT_EQ(server.requests().constLast().header("Range"), c.range);
        if (c.firstReport) {
            EXPECT_DOUBLE_EQ(reports.front(), *c.firstReport);
        }
        EXPECT_EQ(reports.back(), 1.0);
    }
}

TEST_F(DownloaderTest, ByteBeyondTheExpectedSizeStopsTheTransferUnwritten)
{
    const QByteArray body = patternedBytes(4 * 65'536);
    // Paced, so the surplus byte arrives alone after every good one.
    server.serve(QStringLiteral("/a.zip"), {body, Fault::ExtraByte, 0, 65'536, 30});

    const auto result = fetch(QStringLiteral("/a.zip"), body.size());

    EXPECT_EQ(result.error, tooLarge);
    const QByteArray kept = readFile(partial);
    EXPECT_LE(kept.size(), body.size());
    EXPECT_EQ(kept, body.left(kept.size()));
    EXPECT_FALSE(QFile::exists(destination));

    // Unpaced, the surplus shares a chunk with good bytes; still nothing past the expected size.
    QFile::remove(partial);
    server.serve(QStringLiteral("/b.zip"), {body, Fault::ExtraByte});
    const auto unpaced = fetch(QStringLiteral("/b.zip"), body.size());
    EXPECT_EQ(unpaced.error, tooLarge);
    EXPECT_LE(QFileInfo(partial).size(), body.size());

    // A negative size can never be met: the first byte is already too many.
    QFile::remove(partial);
    const auto negative = fetch(QStringLiteral("/b.zip"), -1);
    EXPECT_EQ(negative.error, tooLarge);
    EXPECT_FALSE(QFile::exists(destination));
}

TEST_F(DownloaderTest, AnEarlyEndOrATimeOutKeepsTheBytesAndTheRetryResumes)
{
    const QByteArray body = patternedBytes(10'000'000);
    server.serve(QStringLiteral("/a.zip"), {body, Fault::CloseEarly, 3'500'000});

    const auto cut = fetch(QStringLiteral("/a.zip"), body.size());

    EXPECT_EQ(cut.error, QStringLiteral("下载中断，已保留 3MB。重试将从断点继续。"));
    EXPECT_EQ(readFile(partial), body.left(3'500'000));
    EXPECT_FALSE(QFile::exists(destination));

    server.serve(QStringLiteral("/a.zip"), body);
    const auto retry = fetch(QStringLiteral("/a.zip"), body.size());

    ASSERT_FALSE(retry.error) << retry.error->toStdString();
    EXPECT_EQ(readFile(destination), body);
    EXPECT_FALSE(QFile::exists(partial));
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(server.requests().at(1).header("Range"), "bytes=3500000-");
    EXPECT_DOUBLE_EQ(reports.front(), 0.35);

    // Idle: the server goes silent after 100,000 bytes.
    server.serve(QStringLiteral("/stall.zip"), {body, Fault::Stall, 100'000});
    Downloader idle;
    idle.idleTimeout = 300ms;
    QElapsedTimer clock;
    clock.start();
    const auto stalled = fetch(QStringLiteral("/stall.zip"), body.size(), &idle);
    EXPECT_EQ(stalled.error, idleTimeOut);
    EXPECT_LT(clock.elapsed(), 10'000);
    EXPECT_EQ(readFile(partial), body.left(100'000));

    // Whole transfer: bytes keep coming, just not fast enough.
    QFile::remove(partial);
    server.serve(QStringLiteral("/slow.zip"), {body, Fault::None, 0, 16'384, 50});
    Downloader total;
    total.totalTimeout = 400ms;
    const auto slow = fetch(QStringLiteral("/slow.zip"), body.size(), &total);
    EXPECT_EQ(slow.error, totalTimeOut);
    const QByteArray kept = readFile(partial);
    EXPECT_GT(kept.size(), 0);
    EXPECT_LT(kept.size(), body.size());
    EXPECT_EQ(kept, body.left(kept.size()));
}

TEST_F(DownloaderTest, ProgressIsThrottledAndACancelOrADroppedDownloaderKeepsTheSideFile)
{
    // About 1.2 s of steady transfer in 62 pieces; unthrottled that would be 60-odd reports.
    const QByteArray body = patternedBytes(2'000'000);
    server.serve(QStringLiteral("/a.zip"), {body, Fault::None, 0, 32'768, 20});

    Downloader downloader;
    std::vector<std::pair<qint64, double>> timed;
    QElapsedTimer clock;
    clock.start();
    const auto result =
        await(downloader.download(server.url(QStringLiteral("/a.zip")), destination, body.size(),
                                  [&](double fraction) { timed.emplace_back(clock.elapsed(), fraction); }));
    const double seconds = clock.elapsed() / 1000.0;

    ASSERT_FALSE(result.error) << result.error->toStdString();
    ASSERT_GE(timed.size(), 5u) << "progress must be shown while bytes arrive";
    EXPECT_EQ(timed.front().second, 0.0);
    EXPECT_EQ(timed.back().second, 1.0);
    EXPECT_LE(double(timed.size()), seconds * 5 + 3);
    for (size_t i = 1; i < timed.size(); ++i) {
        EXPECT_GE(timed[i].second, timed[i - 1].second) << "report " << i;
    }
    // Between the unthrottled first and last reports, each follows the previous by more than 0.2 s.
    for (size_t i = 2; i + 1 < timed.size(); ++i) {
        EXPECT_GE(timed[i].first - timed[i - 1].first, 199) << "report " << i;
    }

    // The same transfer again, which the owner cancels from the event loop, as the installer's cancel
    // button does.
    bool cancelPosted = false;
    const auto stopped = await(downloader.download(
        server.url(QStringLiteral("/a.zip")), destination, body.size(), [&](double fraction) {
            if (fraction > 0 && !cancelPosted) {
                cancelPosted = true;
                QTimer::singleShot(0, &downloader, [&] { downloader.cancel(); });
            }
        }));
    EXPECT_EQ(stopped.error, cancelled);
    const QByteArray kept = readFile(partial);
    ASSERT_GT(kept.size(), 0);
    ASSERT_LT(kept.size(), body.size());
    EXPECT_EQ(kept, body.left(kept.size()));

    // Dropping the downloader mid-transfer ends its download the same way, without a crash.
    auto *dropped = new Downloader;
    bool dropPosted = false;
    const auto orphaned = await(dropped->download(
        server.url(QStringLiteral("/a.zip")), destination, body.size(), [&](double fraction) {
            if (fraction > double(kept.size()) / body.size() && !dropPosted) {
                dropPosted = true;
                QTimer::singleShot(0, [dropped] { delete dropped; });
            }
        }));
    EXPECT_EQ(orphaned.error, cancelled);
    // Both ends left a true prefix, which the next download resumes (SideFileDecidesTheRange...).
    const QByteArray keptAfterDrop = readFile(partial);
    EXPECT_GT(keptAfterDrop.size(), kept.size());
    EXPECT_EQ(keptAfterDrop, body.left(keptAfterDrop.size()));
}

TEST_F(DownloaderTest, AServerThatFailsMisplacesTheRangeOrCannotBeReachedIsToldAndTheSideFileKept)
{
    const QByteArray body = patternedBytes(20'000);
    const QByteArray kept = body.left(100);
    writeFile(partial, kept);
    // Nothing is served at /gone.zip: the server answers 404.
    const QString local = dir.filePath(QStringLiteral("local.bin"));
    writeFile(local, body);
    // A port nobody listens on any more.
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();

    const auto failure = [&](const QUrl &url) {
        Downloader downloader;
        const auto result = await(downloader.download(url, destination, body.size(), nullptr));
        EXPECT_EQ(readFile(partial), kept) << url.toString().toStdString();
        EXPECT_FALSE(QFile::exists(destination));
        return result.error.value_or(QStringLiteral("<succeeded>"));
    };
    EXPECT_EQ(failure(server.url(QStringLiteral("/gone.zip"))), serverFailure);
    // Starting at 1000 when 100 was asked for begins with "bytes 100" and must still be refused.
    const std::pair<Fault, qint64> misplaced[] = {
        {Fault::WrongContentRange, 1000}, {Fault::WrongContentRange, 0}, {Fault::MissingContentRange, 0}};
    for (const auto &[fault, claimedStart] : misplaced) {
        server.serve(QStringLiteral("/a.zip"), {body, fault, claimedStart});
        EXPECT_EQ(failure(server.url(QStringLiteral("/a.zip"))), rangeMismatch)
            << int(fault) << " " << claimedStart;
        EXPECT_EQ(server.requests().constLast().header("Range"), "bytes=100-");
    }
    // A local file answers without any HTTP status; its bytes must not be taken.
    EXPECT_EQ(failure(QUrl::fromLocalFile(local)), serverFailure);
    EXPECT_EQ(
        failure(QUrl(QStringLiteral("http://127.0.0.1:%1/a.zip").arg(port))),
        QStringLiteral("无法连接下载服务器：连接被拒绝。请检查网络或代理设置后重试。（Connection refused）"));
    // A name that never resolves (RFC 6761).
    const QString unknown = failure(QUrl(QStringLiteral("http://corvane-mirror.invalid/a.zip")));
    EXPECT_TRUE(unknown.startsWith(QStringLiteral("找不到下载服务器，请检查网络或代理设置后重试。（")))
        << unknown.toStdString();
    EXPECT_TRUE(unknown.contains(QStringLiteral("corvane-mirror.invalid"))) << unknown.toStdString();

    // A side file that cannot be opened is a file error in the platform's words, before any request.
    server.clearRequests();
    Downloader downloader;
    const auto unopened =
        await(downloader.download(server.url(QStringLiteral("/gone.zip")),
                                  dir.filePath(QStringLiteral("missing/a.zip")), 1000, nullptr));
    EXPECT_EQ(unopened.error, QString::fromLocal8Bit(std::strerror(ENOENT)));
    EXPECT_TRUE(server.requests().isEmpty());
}

} // namespace
