#include "cli/SignalPipe.h"

#include "cli/Terminal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int signal)
{
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
    errno = saved;
}

} // namespace

SignalPipe::SignalPipe(QObject *parent)
    : QObject(parent)
{
    if (::pipe(pipeEnds) != 0) {
        throw CommandFailure{QStringLiteral("无法安装信号处理：") +
                             QString::fromLocal8Bit(std::strerror(errno))};
    }
    for (const int end : pipeEnds) {
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
        ::fcntl(end, F_SETFL, O_NONBLOCK);
    }
    m_notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalPipe::onReadable);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1}) {
        ::sigaction(signal, &action, nullptr);
    }
}

SignalPipe::~SignalPipe()
{
    for (const int signal : {SIGINT, SIGTERM, SIGUSR1}) {
        ::signal(signal, SIG_DFL);
    }
    delete m_notifier;
    for (int &end : pipeEnds) {
        ::close(end);
        end = -1;
    }
}

void SignalPipe::onReadable()
{
    char byte = 0;
    while (::read(pipeEnds[0], &byte, 1) == 1) {
        // Signal numbers are small and positive: read the byte as such.
        const int number = static_cast<unsigned char>(byte);
        m_received = number;
        Q_EMIT signalled(number);
    }
}
