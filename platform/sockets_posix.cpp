// POSIX sockets with getaddrinfo for IPv4. Start-up and clean-up do nothing.
#include "platform/sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

bool StartupSockets() {
    return true;
}
void CleanupSockets() {}

SocketHandle OpenTcpSocket() {
    int s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    return s < 0 ? kInvalidSocket : static_cast<SocketHandle>(s);
}

bool ResolveName(const std::string& host, Ipv4Address& address) {
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0 || list == nullptr)
        return false;
    const auto* sa = reinterpret_cast<const sockaddr_in*>(list->ai_addr);
    std::memcpy(address.bytes, &sa->sin_addr, 4);
    address.family = list->ai_family;
    freeaddrinfo(list);
    return true;
}

bool ParseDottedAddress(const std::string& text, Ipv4Address& address) {
    in_addr_t value = inet_addr(text.c_str());
    if (value == INADDR_NONE)
        return false;
    std::memcpy(address.bytes, &value, 4);
    address.family = AF_INET;
    return true;
}

std::string FormatDottedAddress(const Ipv4Address& address) {
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, address.bytes, text, sizeof text);
    return std::string(text);
}

namespace {
thread_local ConnectFailure lastConnectFailure = ConnectFailure::Other;

ConnectFailure FailureOf(int error) {
    switch (error) {
    case ECONNREFUSED:
        return ConnectFailure::Refused;
    case ETIMEDOUT:
        return ConnectFailure::TimedOut;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
        return ConnectFailure::Unreachable;
    default:
        return ConnectFailure::Other;
    }
}
} // namespace

ConnectFailure LastConnectFailure() {
    return lastConnectFailure;
}

bool Connect(SocketHandle s, const Ipv4Address& address, int port, int timeoutMs) {
    int fd = static_cast<int>(s);
    lastConnectFailure = ConnectFailure::Other;
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = static_cast<sa_family_t>(address.family);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&sa.sin_addr, address.bytes, 4);
    if (timeoutMs <= 0) {
        const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        if (!ok)
            lastConnectFailure = FailureOf(errno);
        return ok;
    }

    // Bounded connect: non-blocking attempt, wait for writability, back to blocking.
    int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (!ok && errno == EINPROGRESS) {
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, timeoutMs) == 1) {
            int error = 0;
            socklen_t len = sizeof error;
            ok = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0;
            if (!ok)
                lastConnectFailure = FailureOf(error);
        } else {
            lastConnectFailure = ConnectFailure::TimedOut;
        }
    } else if (!ok) {
        lastConnectFailure = FailureOf(errno);
    }
    fcntl(fd, F_SETFL, flags);
    return ok;
}

bool SetReceiveTimeout(SocketHandle s, int timeoutMs) {
    timeval tv{};
    if (timeoutMs > 0) {
        tv.tv_sec = timeoutMs / 1000;
        tv.tv_usec = (timeoutMs % 1000) * 1000;
    }
    return setsockopt(static_cast<int>(s), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

long SendBytes(SocketHandle s, const char* data, std::size_t size) {
    ssize_t n = send(static_cast<int>(s), data, size, MSG_NOSIGNAL);
    return n < 0 ? -1 : static_cast<long>(n);
}

long ReceiveBytes(SocketHandle s, char* buffer, std::size_t size) {
    ssize_t n;
    do {
        n = recv(static_cast<int>(s), buffer, size, 0);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<long>(n);
}

bool LastReceiveTimedOut() {
    return errno == EAGAIN || errno == EWOULDBLOCK;
}

bool LastReceiveReset() {
    return errno == ECONNRESET;
}

void ShutdownReceive(SocketHandle s) {
    shutdown(static_cast<int>(s), SHUT_RD);
}

void CloseSocket(SocketHandle s) {
    close(static_cast<int>(s));
}

} // namespace platform
