#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

/**
 * Watches the GUI thread for stalls, for measuring the program as a user feels it. Off unless the
 * environment variable CORVANE_STALL_REPORT names a file: then every gap of the event loop over 16 ms
 * is recorded with its length, the processor time the GUI thread used in it (the rest it waited for
 * a processor: the machine's load, not the program's work) and the event that was being delivered,
 * together with the time of the first painted frame, and the record is written to that file as JSON
 * once the first frame is painted and again when the application quits.
 */
class StallMonitor : public QObject
{
    Q_OBJECT

public:
    /** Starts the monitor when the environment asks for it; `sinceStart` has run since the process began. */
    static void installFromEnvironment(const QElapsedTimer &sinceStart);

    StallMonitor(QString reportFile, const QElapsedTimer &sinceStart, QObject *parent = nullptr);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Stall
    {
        qint64 atMs;
        qint64 lengthMs;
        double cpuMs;
        QString during;
    };
    /** An event's delivery, kept cheap: it is noted for every event, and described only for a stall. */
    struct Delivery
    {
        const char *receiverClass = nullptr;
        QString receiverName;
        int type = 0;
        QString describe() const;
    };

    void onTick();
    void settleFirstPaint();
    void writeReport() const;

    const QString m_reportFile;
    const QElapsedTimer m_sinceStart;
    QTimer m_ticker;
    QElapsedTimer m_sinceTick;
    double m_cpuAtTickMs = 0;
    qint64 m_firstPaintMs = -1;
    bool m_firstPaintPending = false;
    /** The GUI thread's processor time from the process's start, loading its libraries included. */
    double m_firstPaintCpuMs = -1;
    // The event whose delivery began last, and the longest one begun since the previous tick.
    Delivery m_current;
    qint64 m_currentStartMs = 0;
    Delivery m_longest;
    qint64 m_longestMs = 0;
    QList<Stall> m_stalls;
};
