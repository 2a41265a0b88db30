#include "android/detail/EmulatorPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace EmulatorPorts {
namespace {

bool bindable(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) {
        return false;
    }
    const int reuse = 1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool bound = ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) == 0
        && ::bind(socket, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(socket);
    return bound;
}

} // namespace

const QList<int> &candidates()
{
    static const QList<int> ports = [] {
        QList<int> list;
        for (int port = 5580; port <= 5680; port += 2) {
            list.append(port);
        }
        for (int port = 5554; port <= 5578; port += 2) {
            list.append(port);
        }
        return list;
    }();
    return ports;
}

bool available(int port)
{
    return bindable(port) && bindable(port + 1);
}

QSet<int> &reserved()
{
    static QSet<int> ports;
    return ports;
}

} // namespace EmulatorPorts
