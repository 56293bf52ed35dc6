// The sockets layer: the few blocking TCP/IPv4 calls the WHOIS transport needs.
// Windows uses Windows Sockets 1.1 (gethostbyname, inet_addr, ...); POSIX uses
// getaddrinfo for IPv4, which is safe to call from several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kInvalidSocket = -1;

// An IPv4 socket address: family, and the 4 address bytes in network order.
struct Ipv4Address {
    int family = 2; // AF_INET
    std::uint8_t bytes[4] = {0, 0, 0, 0};
};

// Starts the sockets layer asking for version 1.1 and accepting only exactly
// 1.1 (Windows); nothing to do on POSIX.
bool StartupSockets();
void CleanupSockets();

// socket(AF_INET, SOCK_STREAM, IPPROTO_TCP); kInvalidSocket on failure.
SocketHandle OpenTcpSocket();

// Name resolution of a host name: the first IPv4 address and its family.
bool ResolveName(const std::string& host, Ipv4Address& address);

// inet_addr: false for text that is not a dotted address.
bool ParseDottedAddress(const std::string& text, Ipv4Address& address);

// inet_ntoa: four decimal numbers joined by ".".
std::string FormatDottedAddress(const Ipv4Address& address);

// Blocking connect to address:port (port in host order; converted with htons).
// timeoutMs > 0 bounds the connection attempt.
bool Connect(SocketHandle s, const Ipv4Address& address, int port, int timeoutMs = 0);

// Why the last Connect on this thread failed.
enum class ConnectFailure {
    Other,
    Refused,     // the host answered that nothing listens on the port
    TimedOut,    // no answer within the bound (or the system's own)
    Unreachable, // no route to the network or the host
};
ConnectFailure LastConnectFailure();

// Bounds every following receive on the socket (0: wait for ever).
bool SetReceiveTimeout(SocketHandle s, int timeoutMs);

// send(s, data, size, 0); -1 on error. Never raises SIGPIPE.
long SendBytes(SocketHandle s, const char* data, std::size_t size);

// recv(s, buffer, size, 0): the count, 0 when the peer closed, -1 on error.
long ReceiveBytes(SocketHandle s, char* buffer, std::size_t size);

// Right after ReceiveBytes returned -1 on this thread: true when the error was
// the receive time limit of SetReceiveTimeout running out.
bool LastReceiveTimedOut();

// Right after ReceiveBytes returned -1 on this thread: true when the peer
// reset the connection.
bool LastReceiveReset();

// shutdown(s, 0): ends the receive direction.
void ShutdownReceive(SocketHandle s);

void CloseSocket(SocketHandle s);

} // namespace platform
