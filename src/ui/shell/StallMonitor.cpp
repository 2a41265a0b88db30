#include "ui/shell/StallMonitor.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QWidget>

#include <ctime>

namespace {

constexpr int tickMs = 4;
constexpr qint64 stallMs = 16;

double threadCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1000.0 + double(now.tv_nsec) / 1e6;
}

} // namespace

QString StallMonitor::Delivery::describe() const
{
    if (!receiverClass) {
        return {};
    }
    QString text = QString::fromLatin1(receiverClass);
    if (!receiverName.isEmpty()) {
        text += u'(' + receiverName + u')';
    }
    const char *key = QMetaEnum::fromType<QEvent::Type>().valueToKey(type);
    return text + u' ' + (key ? QString::fromLatin1(key) : QString::number(type));
}

void StallMonitor::installFromEnvironment(const QElapsedTimer &sinceStart)
{
    const QString report = qEnvironmentVariable("CORVANE_STALL_REPORT");
    if (report.isEmpty() || !qApp) {
        return;
    }
    new StallMonitor(report, sinceStart, qApp);
}

StallMonitor::StallMonitor(QString reportFile, const QElapsedTimer &sinceStart, QObject *parent)
    : QObject(parent)
    , m_reportFile(std::move(reportFile))
    , m_sinceStart(sinceStart)
{
    qApp->installEventFilter(this);
    m_ticker.setTimerType(Qt::PreciseTimer);
    m_ticker.setInterval(tickMs);
    connect(&m_ticker, &QTimer::timeout, this, &StallMonitor::onTick);
    m_ticker.start();
    m_sinceTick.start();
    m_cpuAtTickMs = threadCpuMs();
    connect(qApp, &QCoreApplication::aboutToQuit, this, &StallMonitor::writeReport);
}

bool StallMonitor::eventFilter(QObject *watched, QEvent *event)
{
    const qint64 now = m_sinceStart.elapsed();
    // The previous delivery has ended by the time the next one begins (or nests inside it).
    if (m_current.receiverClass && now - m_currentStartMs > m_longestMs) {
        m_longestMs = now - m_currentStartMs;
        m_longest = m_current;
    }
    if (watched != &m_ticker) {
        // The class name lives in the program's static data, so it outlasts the receiver.
        m_current = Delivery{watched->metaObject()->className(), watched->objectName(), int(event->type())};
        m_currentStartMs = now;
    }
    if (m_firstPaintMs < 0 && !m_firstPaintPending && event->type() == QEvent::Paint &&
        watched->isWidgetType() && static_cast<QWidget *>(watched)->isWindow()) {
        m_firstPaintPending = true;
        // The frame is whole, its widgets painted and flushed to the screen, when the event loop turns.
        QTimer::singleShot(0, this, &StallMonitor::settleFirstPaint);
    }
    return false;
}

void StallMonitor::settleFirstPaint()
{
    if (m_firstPaintPending) {
        m_firstPaintPending = false;
        m_firstPaintMs = m_sinceStart.elapsed();
        m_firstPaintCpuMs = threadCpuMs();
        // Written now as well, so that a start-up measurement need not wait for the program to quit.
        writeReport();
    }
}

void StallMonitor::onTick()
{
    settleFirstPaint();
    const qint64 gap = m_sinceTick.restart();
    const double cpu = threadCpuMs();
    if (gap > stallMs) {
        m_stalls.append({m_sinceStart.elapsed() - gap, gap, cpu - m_cpuAtTickMs, m_longest.describe()});
    }
    m_cpuAtTickMs = cpu;
    m_longest = Delivery{};
    m_longestMs = 0;
    m_current = Delivery{};
}

void StallMonitor::writeReport() const
{
    QJsonArray stalls;
    qint64 longest = 0;
    double longestCpu = 0;
    int overAfterPaint = 0;
    for (const Stall &stall : m_stalls) {
        const bool beforeFirstPaint = m_firstPaintMs < 0 || stall.atMs < m_firstPaintMs;
        stalls.append(QJsonObject{{QStringLiteral("atMs"), double(stall.atMs)},
                                  {QStringLiteral("ms"), double(stall.lengthMs)},
                                  {QStringLiteral("cpuMs"), qRound(stall.cpuMs * 10) / 10.0},
                                  {QStringLiteral("during"), stall.during},
                                  {QStringLiteral("beforeFirstPaint"), beforeFirstPaint}});
        longest = qMax(longest, stall.lengthMs);
        longestCpu = qMax(longestCpu, stall.cpuMs);
        overAfterPaint += beforeFirstPaint ? 0 : 1;
    }
    // Where the process's start lies on the monotonic clock, to match stalls with a profiler's samples.
    const QJsonObject report{{QStringLiteral("startMonotonicMs"), double(m_sinceStart.msecsSinceReference())},
                             {QStringLiteral("firstPaintMs"), double(m_firstPaintMs)},
                             {QStringLiteral("firstPaintCpuMs"), qRound(m_firstPaintCpuMs * 10) / 10.0},
                             {QStringLiteral("longestStallMs"), double(longest)},
                             {QStringLiteral("longestStallCpuMs"), qRound(longestCpu * 10) / 10.0},
                             {QStringLiteral("stallsOver16msAfterFirstPaint"), overAfterPaint},
                             {QStringLiteral("stalls"), stalls}};
    QFile file(m_reportFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QJsonDocument(report).toJson());
    }
}
