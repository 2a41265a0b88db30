#pragma once

#include <QObject>

class QSocketNotifier;

/**
 * Turns SIGINT, SIGTERM and SIGUSR1 into state the event loop can read: the handler only writes the
 * signal's number into a pipe, and a socket notifier on the other end records it on the main thread.
 * SIGUSR1 is how another corvanectl asks for a forced quit.
 */
class SignalPipe : public QObject
{
    Q_OBJECT

public:
    explicit SignalPipe(QObject *parent = nullptr);
    ~SignalPipe() override;

    /** The last signal received, or 0. */
    int received() const { return m_received; }
    /** Forgets the last signal, so that a second one can be told apart. */
    void clear() { m_received = 0; }

Q_SIGNALS:
    void signalled(int signal);

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
    int m_received = 0;
};
