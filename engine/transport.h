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

// Limits of one exchange. The program sets none; the command-line client can
// bound connecting and every single receive.
struct ExchangeLimits {
    int timeoutMs = 0; // 0: no limit
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
bool WhoisExchange(std::string query, std::string host, std::string& result, int port,
                   const ExchangeLimits& limits = {});

// Fills address with the dotted text of the name's first IPv4 address. Name
// resolution first, then the dotted-text parse. On failure address is unchanged.
bool ResolveHostToAddress(std::string name, std::string& address);
