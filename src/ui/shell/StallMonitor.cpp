#include "ui/shell/StallMonitor.h"

#include <QApplication>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMetaEnum>
#include <QWidget>

namespace {

constexpr int tickMs = 4;
constexpr qint64 stallMs = 16;

QString describe(const QObject *receiver, const QEvent *event)
{
    QString text = QString::fromLatin1(receiver->metaObject()->className());
    if (!receiver->objectName().isEmpty()) {
        text += u'(' + receiver->objectName() + u')';
    }
    const QMetaEnum types = QMetaEnum::fromType<QEvent::Type>();
    const char *type = types.valueToKey(event->type());
    return text + u' ' + (type ? QString::fromLatin1(type) : QString::number(event->type()));
}

} // namespace

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
    connect(qApp, &QCoreApplication::aboutToQuit, this, &StallMonitor::writeReport);
}

bool StallMonitor::eventFilter(QObject *watched, QEvent *event)
{
    const qint64 now = m_sinceStart.elapsed();
    settleFirstPaint();
    // The previous delivery has ended by the time the next one begins (or nests inside it).
    if (!m_current.isEmpty() && now - m_currentStartMs > m_longestMs) {
        m_longestMs = now - m_currentStartMs;
        m_longest = m_current;
    }
    if (watched != &m_ticker) {
        m_current = describe(watched, event);
        m_currentStartMs = now;
    }
    if (m_firstPaintMs < 0 && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget *>(watched)->isWindow()) {
        m_firstPaintPending = true;
    }
    return false;
}

void StallMonitor::settleFirstPaint()
{
    // The window's paint event has been delivered once anything else happens.
    if (m_firstPaintPending) {
        m_firstPaintPending = false;
        m_firstPaintMs = m_sinceStart.elapsed();
        // Written now as well, so that a start-up measurement need not wait for the program to quit.
        writeReport();
    }
}

void StallMonitor::onTick()
{
    settleFirstPaint();
    const qint64 gap = m_sinceTick.restart();
    if (gap > stallMs) {
        m_stalls.append({m_sinceStart.elapsed() - gap, gap, m_longest});
    }
    m_longest.clear();
    m_longestMs = 0;
    m_current.clear();
}

void StallMonitor::writeReport() const
{
    QJsonArray stalls;
    qint64 longest = 0;
    int overAfterPaint = 0;
    for (const Stall &stall : m_stalls) {
        const bool beforeFirstPaint = m_firstPaintMs < 0 || stall.atMs < m_firstPaintMs;
        stalls.append(QJsonObject{{QStringLiteral("atMs"), double(stall.atMs)},
                                  {QStringLiteral("ms"), double(stall.lengthMs)},
                                  {QStringLiteral("during"), stall.during},
                                  {QStringLiteral("beforeFirstPaint"), beforeFirstPaint}});
        longest = qMax(longest, stall.lengthMs);
        overAfterPaint += beforeFirstPaint ? 0 : 1;
    }
    const QJsonObject report{{QStringLiteral("firstPaintMs"), double(m_firstPaintMs)},
                             {QStringLiteral("longestStallMs"), double(longest)},
                             {QStringLiteral("stallsOver16msAfterFirstPaint"), overAfterPaint},
                             {QStringLiteral("stalls"), stalls}};
    QFile file(m_reportFile);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(QJsonDocument(report).toJson());
    }
}
