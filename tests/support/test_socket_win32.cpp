#include "tests/support/test_socket.h"

#include <winsock.h>

namespace testnet {

void StartSockets() {
    WSADATA data;
    WSAStartup(MAKEWORD(1, 1), &data);
}

Fd Listen(const std::string& address, int port, int& boundPort) {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return kNoFd;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<u_short>(port));
    sa.sin_addr.s_addr = inet_addr(address.c_str());
    if (bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(s, 64) != 0) {
        closesocket(s);
        return kNoFd;
    }
    int len = sizeof sa;
    getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len);
    boundPort = ntohs(sa.sin_port);
    return static_cast<Fd>(s);
}

static bool WaitReadable(SOCKET s, int timeoutMs) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) == 1;
}

Fd Accept(Fd listener, int timeoutMs) {
    SOCKET l = static_cast<SOCKET>(listener);
    if (!WaitReadable(l, timeoutMs))
        return kNoFd;
    SOCKET s = accept(l, nullptr, nullptr);
    return s == INVALID_SOCKET ? kNoFd : static_cast<Fd>(s);
}

long Read(Fd fd, char* buffer, std::size_t size, int timeoutMs) {
    SOCKET s = static_cast<SOCKET>(fd);
    if (!WaitReadable(s, timeoutMs))
        return -1;
    int n = recv(s, buffer, static_cast<int>(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool WriteAll(Fd fd, const char* data, std::size_t size) {
    while (size > 0) {
        int n = send(static_cast<SOCKET>(fd), data, static_cast<int>(size), 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void Close(Fd fd) {
    closesocket(static_cast<SOCKET>(fd));
}

void Reset(Fd fd) {
    linger l{1, 0};
    setsockopt(static_cast<SOCKET>(fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&l),
               sizeof l);
    closesocket(static_cast<SOCKET>(fd));
}

} // namespace testnet
