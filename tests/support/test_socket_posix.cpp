#include "tests/support/test_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace testnet {

void StartSockets() {}

Fd Listen(const std::string& address, int port, int& boundPort) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return kNoFd;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = inet_addr(address.c_str());
    if (bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return kNoFd;
    }
    socklen_t len = sizeof sa;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    boundPort = ntohs(sa.sin_port);
    return fd;
}

Fd Accept(Fd listener, int timeoutMs) {
    pollfd p{static_cast<int>(listener), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return kNoFd;
    int fd = accept(static_cast<int>(listener), nullptr, nullptr);
    return fd < 0 ? kNoFd : fd;
}

long Read(Fd fd, char* buffer, std::size_t size, int timeoutMs) {
    pollfd p{static_cast<int>(fd), POLLIN, 0};
    if (poll(&p, 1, timeoutMs) != 1)
        return -1;
    ssize_t n = recv(static_cast<int>(fd), buffer, size, 0);
    return n < 0 ? -1 : static_cast<long>(n);
}

bool WriteAll(Fd fd, const char* data, std::size_t size) {
    while (size > 0) {
        ssize_t n = send(static_cast<int>(fd), data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void Close(Fd fd) {
    close(static_cast<int>(fd));
}

void Reset(Fd fd) {
    linger l{1, 0};
    setsockopt(static_cast<int>(fd), SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(static_cast<int>(fd));
}

} // namespace testnet
