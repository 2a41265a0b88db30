// A minimal HTTP/1.1 file server for the download benchmark, run as its own process so the client
// under test shares nothing with it. Serves the regular files of one folder with sendfile(2), so
// the server is never what limits a loopback transfer. Honours "Range: bytes=N-".
//
// Usage: bench_file_server FOLDER    prints "port N" once it listens on 127.0.0.1, then serves until killed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

std::string root;

bool sendAll(int socket, const std::string &text)
{
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(socket, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += size_t(n);
    }
    return true;
}

std::string headerValue(const std::string &head, const std::string &name)
{
    // Header names are matched case-insensitively, at the start of a line.
    for (size_t line = head.find("\r\n"); line != std::string::npos; line = head.find("\r\n", line + 2)) {
        const size_t start = line + 2;
        if (head.size() - start > name.size() && head[start + name.size()] == ':' &&
            strncasecmp(head.c_str() + start, name.c_str(), name.size()) == 0) {
            const size_t end = head.find("\r\n", start);
            size_t value = start + name.size() + 1;
            while (value < end && head[value] == ' ') {
                ++value;
            }
            return head.substr(value, end - value);
        }
    }
    return {};
}

void serve(int client)
{
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(client);
            return;
        }
        head.append(buffer, size_t(n));
    }
    const size_t pathStart = head.find(' ') + 1;
    const size_t pathEnd = head.find(' ', pathStart);
    const std::string path = pathStart == 0 || pathEnd == std::string::npos
                                 ? std::string()
                                 : head.substr(pathStart, pathEnd - pathStart);
    const int file =
        head.rfind("GET ", 0) == 0 && path.rfind('/', 0) == 0 && path.find("..") == std::string::npos
            ? ::open((root + path).c_str(), O_RDONLY)
            : -1;
    struct stat info
    {
    };
    if (file < 0 || ::fstat(file, &info) != 0 || !S_ISREG(info.st_mode)) {
        sendAll(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        if (file >= 0) {
            ::close(file);
        }
        ::close(client);
        return;
    }
    off_t offset = 0;
    const std::string range = headerValue(head, "Range");
    std::string status = "200 OK";
    std::string extra;
    if (range.rfind("bytes=", 0) == 0) {
        offset = off_t(std::strtoll(range.c_str() + 6, nullptr, 10));
        if (offset > 0 && offset < info.st_size) {
            status = "206 Partial Content";
            extra = "Content-Range: bytes " + std::to_string(offset) + '-' +
                    std::to_string(info.st_size - 1) + '/' + std::to_string(info.st_size) + "\r\n";
        } else {
            offset = 0;
        }
    }
    const std::string response =
        "HTTP/1.1 " + status + "\r\nContent-Type: application/octet-stream\r\n" + "Accept-Ranges: bytes\r\n" +
        extra + "Content-Length: " + std::to_string(info.st_size - offset) + "\r\nConnection: close\r\n\r\n";
    if (sendAll(client, response)) {
        while (offset < info.st_size) {
            const ssize_t n = ::sendfile(client, file, &offset, size_t(info.st_size - offset));
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
        }
    }
    ::close(file);
    ::shutdown(client, SHUT_WR);
    ::close(client);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 64;
    }
    root = argv[1];
    std::signal(SIGPIPE, SIG_IGN);

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::perror("listen");
        return 1;
    }
    std::printf("port %u\n", unsigned(ntohs(address.sin_port)));
    std::fflush(stdout);

    for (;;) {
        const int client = ::accept(listener, nullptr, nullptr);
        if (client < 0) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            std::perror("accept");
            return 1;
        }
        std::thread(serve, client).detach();
    }
}
