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
                   const ExchangeLimits& limits, ExchangeOutcome* outcome) {
    auto fail = [outcome](ExchangeOutcome why) {
        if (outcome)
            *outcome = why;
        return false;
    };
    if (host.empty())
        return fail(ExchangeOutcome::NotSent);
    result.clear();
    if (query.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
        return fail(ExchangeOutcome::NotSent);

    SocketGuard sock(platform::OpenTcpSocket());
    if (sock.get() == platform::kInvalidSocket)
        return fail(ExchangeOutcome::NoSocket);

    platform::Ipv4Address address;
    if (!ResolveServer(host, address))
        return fail(ExchangeOutcome::NotResolved);
    if (!platform::Connect(sock.get(), address, port, limits.connectTimeoutMs)) {
        switch (platform::LastConnectFailure()) {
        case platform::ConnectFailure::Refused:
            return fail(ExchangeOutcome::Refused);
        case platform::ConnectFailure::TimedOut:
            return fail(ExchangeOutcome::ConnectTimedOut);
        case platform::ConnectFailure::Unreachable:
            return fail(ExchangeOutcome::Unreachable);
        case platform::ConnectFailure::Other:
            break;
        }
        return fail(ExchangeOutcome::NotConnected);
    }
    if (limits.readTimeoutMs > 0)
        platform::SetReceiveTimeout(sock.get(), limits.readTimeoutMs);

    // The request line is sized to the query: a query of any length goes whole.
    std::string request = query + "\r\n";
    if (platform::SendBytes(sock.get(), request.data(), request.size()) == -1)
        return fail(ExchangeOutcome::SendFailed);

    char chunk[kReceiveChunkBytes + 1];
    for (;;) {
        std::memset(chunk, 0, sizeof chunk);
        long n = platform::ReceiveBytes(sock.get(), chunk, kReceiveChunkBytes);
        if (n == -1) {
            const bool timedOut = platform::LastReceiveTimedOut();
            const bool reset = platform::LastReceiveReset();
            platform::ShutdownReceive(sock.get());
            return fail(timedOut ? ExchangeOutcome::TimedOut
                        : reset  ? ExchangeOutcome::Reset
                                 : ExchangeOutcome::ReceiveFailed);
        }
        if (n == 0)
            break;
        chunk[n] = '\0';
        std::size_t textLength = std::strlen(chunk); // a NUL ends this chunk's text
        if (result.size() + textLength > kMaxAnswerBytes) {
            result.append(chunk, kMaxAnswerBytes - result.size());
            platform::ShutdownReceive(sock.get());
            return fail(ExchangeOutcome::TooLong);
        }
        result.append(chunk, textLength);
    }
    platform::ShutdownReceive(sock.get());
    if (outcome)
        *outcome = ExchangeOutcome::Completed;
    return true;
}

bool ResolveHostToAddress(std::string name, std::string& address) {
    platform::Ipv4Address resolved;
    if (!ResolveServer(name, resolved))
        return false;
    address = platform::FormatDottedAddress(resolved);
    return true;
}
