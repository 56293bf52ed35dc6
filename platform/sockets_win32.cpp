// Windows Sockets 1.1: the program's only networking interface on Windows.
#include "platform/sockets.h"

#include <winsock.h>

#include <cstring>

namespace platform {

bool StartupSockets() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        return false;
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        return false;
    }
    return true;
}

void CleanupSockets() {
    WSACleanup();
}

SocketHandle OpenTcpSocket() {
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return kInvalidSocket;
    return static_cast<SocketHandle>(s);
}

bool ResolveName(const std::string& host, Ipv4Address& address) {
    hostent* entry = gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr)
        return false;
    std::size_t length = entry->h_length > 4 ? 4 : static_cast<std::size_t>(entry->h_length);
    std::memset(address.bytes, 0, sizeof address.bytes);
    std::memcpy(address.bytes, entry->h_addr_list[0], length);
    address.family = entry->h_addrtype;
    return true;
}

bool ParseDottedAddress(const std::string& text, Ipv4Address& address) {
    unsigned long value = inet_addr(text.c_str());
    if (value == INADDR_NONE)
        return false;
    std::memcpy(address.bytes, &value, 4);
    address.family = AF_INET;
    return true;
}

std::string FormatDottedAddress(const Ipv4Address& address) {
    in_addr in;
    std::memcpy(&in, address.bytes, 4);
    const char* text = inet_ntoa(in);
    return text ? std::string(text) : std::string();
}

static sockaddr_in MakeSockaddr(const Ipv4Address& address, int port) {
    sockaddr_in sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = static_cast<short>(address.family);
    sa.sin_port = htons(static_cast<u_short>(port));
    std::memcpy(&sa.sin_addr, address.bytes, 4);
    return sa;
}

namespace {
thread_local ConnectFailure lastConnectFailure = ConnectFailure::Other;

ConnectFailure FailureOf(int error) {
    switch (error) {
    case WSAECONNREFUSED:
        return ConnectFailure::Refused;
    case WSAETIMEDOUT:
        return ConnectFailure::TimedOut;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
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
    SOCKET sock = static_cast<SOCKET>(s);
    sockaddr_in sa = MakeSockaddr(address, port);
    lastConnectFailure = ConnectFailure::Other;
    if (timeoutMs <= 0) {
        const bool ok = connect(sock, reinterpret_cast<sockaddr*>(&sa), 16) != SOCKET_ERROR;
        if (!ok)
            lastConnectFailure = FailureOf(WSAGetLastError());
        return ok;
    }

    // Bounded connect: non-blocking attempt, wait for writability, back to blocking.
    u_long nonBlocking = 1;
    ioctlsocket(sock, FIONBIO, &nonBlocking);
    bool ok = connect(sock, reinterpret_cast<sockaddr*>(&sa), 16) != SOCKET_ERROR;
    if (!ok && WSAGetLastError() == WSAEWOULDBLOCK) {
        fd_set writable, failed;
        FD_ZERO(&writable);
        FD_ZERO(&failed);
        FD_SET(sock, &writable);
        FD_SET(sock, &failed);
        timeval tv{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        const int ready = select(0, nullptr, &writable, &failed, &tv);
        ok = ready > 0 && FD_ISSET(sock, &writable) && !FD_ISSET(sock, &failed);
        if (ready == 0) {
            lastConnectFailure = ConnectFailure::TimedOut;
        } else if (!ok) {
            int error = 0;
            int len = sizeof error;
            getsockopt(sock, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
            lastConnectFailure = FailureOf(error);
        }
    } else if (!ok) {
        lastConnectFailure = FailureOf(WSAGetLastError());
    }
    nonBlocking = 0;
    ioctlsocket(sock, FIONBIO, &nonBlocking);
    return ok;
}

bool SetReceiveTimeout(SocketHandle s, int timeoutMs) {
    DWORD ms = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    return setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_RCVTIMEO,
                      reinterpret_cast<const char*>(&ms), sizeof ms) == 0;
}

long SendBytes(SocketHandle s, const char* data, std::size_t size) {
    int n = send(static_cast<SOCKET>(s), data, static_cast<int>(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveBytes(SocketHandle s, char* buffer, std::size_t size) {
    int n = recv(static_cast<SOCKET>(s), buffer, static_cast<int>(size), 0);
    return n == SOCKET_ERROR ? -1 : n;
}

bool LastReceiveTimedOut() {
    return WSAGetLastError() == WSAETIMEDOUT;
}

bool LastReceiveReset() {
    return WSAGetLastError() == WSAECONNRESET;
}

void ShutdownReceive(SocketHandle s) {
    shutdown(static_cast<SOCKET>(s), 0);
}

void CloseSocket(SocketHandle s) {
    closesocket(static_cast<SOCKET>(s));
}

} // namespace platform
