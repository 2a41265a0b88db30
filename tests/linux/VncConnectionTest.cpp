// The viewer against an RFB server that speaks like QEMU's: frames, input, resizes, and above all
// that a connection ends cleanly whatever the server does, without the GUI thread ever waiting.
#include "IdleFor.h"
#include "TestVncServer.h"
#include "Wait.h"

#include "linux/screen/VncConnection.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class VncConnectionTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        connection.close();
        // Every session's thread ends by itself once its connection is closed.
        EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }, 5000));
    }

    bool connectTo(TestVncServer &server)
    {
        QSignalSpy connected(&connection, &VncConnection::connected);
        connection.open(server.path());
        return waitUntil([&] { return !connected.isEmpty(); }) &&
               waitUntil([&] { return !connection.frame().isNull(); });
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("display.sock"));
    VncConnection connection;
};

bool uniform(const QImage &image, const QRect &rect, QColor color)
{
    if (!image.rect().contains(rect)) {
        return false;
    }
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (image.pixel(x, y) != color.rgb()) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

TEST_F(VncConnectionTest, ShowsTheScreenCopiesOnlyWhatChangedSendsInputInOrderAndReopensClean)
{
    TestVncServer server(path, QSize(320, 200));
    server.fill(QRect(0, 0, 320, 200), QColor(10, 20, 30));
    ASSERT_TRUE(connectTo(server));
    ASSERT_TRUE(waitUntil(
        [&] { return uniform(connection.frame(), connection.frame().rect(), QColor(10, 20, 30)); }));
    EXPECT_EQ(connection.frame().size(), QSize(320, 200));
    EXPECT_EQ(connection.frame().format(), QImage::Format_RGB32);

    QSignalSpy changes(&connection, &VncConnection::frameChanged);
    server.fill(QRect(40, 50, 16, 8), QColor(200, 100, 0));
    ASSERT_TRUE(waitUntil([&] { return !changes.isEmpty(); }));
    EXPECT_EQ(changes.first().first().value<QRegion>(), QRegion(QRect(40, 50, 16, 8)));
    EXPECT_TRUE(uniform(connection.frame(), QRect(40, 50, 16, 8), QColor(200, 100, 0)));
    EXPECT_EQ(connection.frame().pixel(39, 50), QColor(10, 20, 30).rgb());
    EXPECT_EQ(connection.frame().pixel(56, 58), QColor(10, 20, 30).rgb());

    // Keys and the pointer reach the server in order.
    connection.sendKey(0xff0d, true);
    connection.sendKey(0xff0d, false);
    connection.sendKey(0, true); // no keysym: nothing to send
    connection.sendPointer(QPoint(12, 34), 1);
    connection.sendPointer(QPoint(12, 34), 0);
    ASSERT_TRUE(waitUntil([&] { return server.pointers().size() == 2; }));
    EXPECT_EQ(server.keys(), (QList<TestVncServer::Key>{{0xff0d, true}, {0xff0d, false}}));
    EXPECT_EQ(server.pointers(), (QList<TestVncServer::Pointer>{{QPoint(12, 34), 1}, {QPoint(12, 34), 0}}));

    // Opened on another screen, the connection takes nothing from the one before.
    TestVncServer second(dir.filePath(QStringLiteral("other.sock")), QSize(32, 20));
    second.fill(QRect(0, 0, 32, 20), Qt::blue);
    QSignalSpy ended(&connection, &VncConnection::disconnected);
    connection.open(second.path());
    server.fill(QRect(0, 0, 320, 200), Qt::green);
    ASSERT_TRUE(waitUntil([&] { return uniform(connection.frame(), QRect(0, 0, 32, 20), Qt::blue); }));
    EXPECT_TRUE(waitUntil([&] { return server.viewers() == 0; }));
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(connection.frame().size(), QSize(32, 20));
    EXPECT_TRUE(ended.isEmpty());
}

TEST_F(VncConnectionTest, AChangeOfResolutionStaysInTheSessionAndAnUnchangingScreenCostsNothing)
{
    // The firmware's own switch first, then the changes an installed desktop makes.
    TestVncServer server(path, QSize(640, 480));
    server.fill(QRect(0, 0, 640, 480), Qt::blue);
    ASSERT_TRUE(connectTo(server));
    QSignalSpy ended(&connection, &VncConnection::disconnected);
    QSignalSpy changes(&connection, &VncConnection::frameChanged);
    int blank = 0;
    QObject::connect(&connection, &VncConnection::frameChanged, &connection, [&] {
        blank += uniform(connection.frame(), connection.frame().rect(), Qt::black) ? 1 : 0;
    });
    const QList<std::pair<QSize, QColor>> steps{
        {QSize(1280, 800), Qt::green}, {QSize(800, 600), Qt::red}, {QSize(1920, 1080), QColor(10, 20, 30)}};
    for (const auto &[size, color] : steps) {
        changes.clear();
        server.resize(size);
        server.fill(QRect(QPoint(0, 0), size), color);
        ASSERT_TRUE(waitUntil([&] {
            return connection.frame().size() == size &&
                   uniform(connection.frame(), connection.frame().rect(), color);
        })) << size.width()
            << " x " << size.height() << ": "
            << (ended.isEmpty() ? QString() : ended.first().first().toString()).toStdString();
        // The picture is replaced as a whole, never drawn in pieces of the old size.
        EXPECT_EQ(changes.first().first().value<QRegion>(), QRegion(QRect(QPoint(0, 0), size)));
    }
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_TRUE(connection.isConnected());
    EXPECT_EQ(server.connections(), 1) << "the viewer reconnected";
    EXPECT_EQ(blank, 0) << "a blank picture showed between two sizes";

    // Input goes on in the new coordinates.
    connection.sendPointer(QPoint(1900, 1000), 0);
    EXPECT_TRUE(waitUntil([&] { return server.pointers().size() == 1; }));
    EXPECT_EQ(server.pointers().value(0).position, QPoint(1900, 1000));

    // An unchanging screen costs no processor time: the test server and the viewer share this process,
    // and both should be asleep.
    waitUntil([] { return false; }, 200);
    const double before = processCpuMilliseconds();
    idleFor(2000);
    const double spent = processCpuMilliseconds() - before;
    EXPECT_LT(spent, 20.0) << spent << " ms of CPU in 2 s of an unchanging screen";
}

TEST_F(VncConnectionTest, AServerThatGoesHangsOrAnnouncesAnAbsurdSizeIsReportedOnceAndCostsTheViewerNothing)
{
    auto server = std::make_unique<TestVncServer>(path, QSize(64, 40));
    ASSERT_TRUE(connectTo(*server));
    QSignalSpy ended(&connection, &VncConnection::disconnected);
    server->dropViewers();
    ASSERT_TRUE(waitUntil([&] { return !ended.isEmpty(); }));
    EXPECT_FALSE(connection.isOpen());
    EXPECT_FALSE(connection.isConnected());
    EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }));
    // Input after the end goes nowhere and breaks nothing.
    connection.sendKey(0x61, true);
    connection.sendPointer(QPoint(1, 1), 0);
    waitUntil([] { return false; }, 100);
    EXPECT_EQ(ended.size(), 1);

    // Nobody listening at all.
    server.reset();
    connection.open(path);
    ASSERT_TRUE(waitUntil([&] { return ended.size() == 2; }));
    EXPECT_TRUE(ended.last().first().toString().startsWith(QStringLiteral("无法连接画面")))
        << ended.last().first().toString().toStdString();

    // A server that never answers: closing does not wait for it.
    server = std::make_unique<TestVncServer>(path, QSize(64, 40));
    server->silent = true;
    connection.open(path);
    ASSERT_TRUE(waitUntil([&] { return server->viewers() == 1; }));
    waitUntil([] { return false; }, 100);
    ASSERT_EQ(VncConnection::liveSessions(), 1) << "the session is blocked in the handshake";

    QElapsedTimer clock;
    clock.start();
    connection.close();
    EXPECT_LT(clock.elapsed(), 50);
    EXPECT_TRUE(waitUntil([] { return VncConnection::liveSessions() == 0; }, 2000));
    EXPECT_TRUE(waitUntil([&] { return server->viewers() == 0; }));
    EXPECT_EQ(ended.size(), 2) << "a connection closed here reports nothing";

    // A server announcing an absurd screen size is refused before anything is allocated for it.
    TestVncServer absurd(dir.filePath(QStringLiteral("absurd.sock")), QSize(64, 40));
    absurd.announcedSize = QSize(65535, 65535);
    connection.open(absurd.path());
    ASSERT_TRUE(waitUntil([&] { return ended.size() == 3; }));
    EXPECT_TRUE(connection.frame().isNull());
}
