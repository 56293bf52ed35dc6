#include "engine/transport.h"

#include "platform/sockets.h"

#include <cstring>

namespace {

// Owns one socket from creation to close, so every way out closes it.
class SocketGuard {
public:
    explicit SocketGuard(platform::SocketHandle s) : m_socket(s) {}
    ~SocketGuard() {
        if (m_socket != platform::kInvalidSocket)
            platform::CloseSocket(m_socket);
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;
    platform::SocketHandle get() const { return m_socket; }

private:
    platform::SocketHandle m_socket;
};

bool ResolveServer(const std::string& host, platform::Ipv4Address& address) {
    // Name resolution first; the dotted-text parse is only the fallback.
    return platform::ResolveName(host, address) || platform::ParseDottedAddress(host, address);
}

} // namespace

bool WhoisExchange(std::string query, std::string host, std::string& result, int port,
                   const ExchangeLimits& limits) {
    if (host.empty())
        return false;
    result.clear();
    if (query.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return false;

    SocketGuard sock(platform::OpenTcpSocket());
    if (sock.get() == platform::kInvalidSocket)
        return false;

    platform::Ipv4Address address;
    if (!ResolveServer(host, address))
        return false;
    if (!platform::Connect(sock.get(), address, port, limits.timeoutMs))
        return false;
    if (limits.timeoutMs > 0)
        platform::SetReceiveTimeout(sock.get(), limits.timeoutMs);

    // The request line is sized to the query: a query of any length goes whole.
    std::string request = query + "\r\n";
    if (platform::SendBytes(sock.get(), request.data(), request.size()) == -1)
        return false;

    char chunk[kReceiveChunkBytes + 1];
    for (;;) {
        std::memset(chunk, 0, sizeof chunk);
        long n = platform::ReceiveBytes(sock.get(), chunk, kReceiveChunkBytes);
        if (n == -1) {
            platform::ShutdownReceive(sock.get());
            return false;
        }
        if (n == 0)
            break;
        chunk[n] = '\0';
        std::size_t textLength = std::strlen(chunk); // a NUL ends this chunk's text
        if (result.size() + textLength > kMaxAnswerBytes) {
            result.append(chunk, kMaxAnswerBytes - result.size());
            platform::ShutdownReceive(sock.get());
            return false;
        }
        result.append(chunk, textLength);
    }
    platform::ShutdownReceive(sock.get());
    return true;
}

bool ResolveHostToAddress(std::string name, std::string& address) {
    platform::Ipv4Address resolved;
    if (!ResolveServer(name, resolved))
        return false;
    address = platform::FormatDottedAddress(resolved);
    return true;
}
