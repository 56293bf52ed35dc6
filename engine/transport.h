// The WHOIS transport: one request line over TCP, the answer read until the
// server closes. The only place where the program talks to the network.
#pragma once

#include <cstddef>
#include <string>

// The answer is read in chunks of at most this many bytes.
inline constexpr std::size_t kReceiveChunkBytes = 2096;

// An answer longer than this is not read further: a server that never stops
// sending must not exhaust memory. The exchange then fails like a receive
// error and keeps the text read so far (exactly this many bytes).
inline constexpr std::size_t kMaxAnswerBytes = 16u * 1024u * 1024u;

// Limits of one exchange: connecting, and every single receive (the wait
// for the next byte). 0: no limit. The classic mode sets none; the default
// mode bounds both (kDefaultModeLimits); the command-line client's --timeout
// sets both to its value.
struct ExchangeLimits {
    int connectTimeoutMs = 0;
    int readTimeoutMs = 0;
    static constexpr ExchangeLimits Uniform(int ms) { return {ms, ms}; }
};
inline constexpr ExchangeLimits kDefaultModeLimits{10000, 15000};

// How an exchange ended, for a caller that tells the user why it failed.
enum class ExchangeOutcome {
    Completed,       // the server closed the connection: the answer is whole
    NotSent,         // empty host, or a query holding CR, LF or NUL
    NoSocket,        // no socket could be created
    NotResolved,     // the host neither resolves nor parses as dotted text
    NotConnected,    // no connection, for a reason not told below
    Refused,         // the host refused the connection
    ConnectTimedOut, // no connection within the connect limit (or the system's own)
    Unreachable,     // no route to the host's network
    SendFailed,      // the request could not be sent
    ReceiveFailed,   // a receive error part-way; the text so far is kept
    Reset,           // the server reset the connection; the text so far is kept
    TimedOut,        // a receive waited longer than the limit; the text so far is kept
    TooLong,         // the answer reached kMaxAnswerBytes; that much is kept
};

// Connects to host:port, sends the query followed by CR LF in one call and
// appends everything the server sends to result until it closes.
// - An empty host returns false at once and leaves result untouched.
// - Otherwise result is emptied first.
// - True only when the answer was read to its end (the server closed).
// - A receive error keeps the text received before it.
// - A zero byte ends the text of the chunk that holds it.
// - A query holding CR, LF or NUL is refused (it would smuggle further request
//   lines to the server): nothing is sent, false, result empty.
// When outcome is given it receives how the exchange ended (Completed exactly
// when the result is true).
bool WhoisExchange(std::string query, std::string host, std::string& result, int port,
                   const ExchangeLimits& limits = {}, ExchangeOutcome* outcome = nullptr);

// Fills address with the dotted text of the name's first IPv4 address. Name
// resolution first, then the dotted-text parse. On failure address is unchanged.
bool ResolveHostToAddress(std::string name, std::string& address);
