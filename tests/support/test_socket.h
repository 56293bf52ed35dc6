// Minimal server-side sockets for tests: listen on a loopback address, accept,
// read, write, close gracefully or with a reset. One file per system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace testnet {

using Fd = std::intptr_t;
inline constexpr Fd kNoFd = -1;

// Starts the sockets layer for a test program (WSAStartup on Windows).
void StartSockets();

// Listens on address:port (port 0 picks an ephemeral one); kNoFd on failure.
Fd Listen(const std::string& address, int port, int& boundPort);

// Waits up to timeoutMs for a connection; kNoFd when none came.
Fd Accept(Fd listener, int timeoutMs);

// Reads what is there (waits up to timeoutMs): count, 0 on close, -1 on error/time-out.
long Read(Fd fd, char* buffer, std::size_t size, int timeoutMs);

// Writes all bytes; false when the peer went away.
bool WriteAll(Fd fd, const char* data, std::size_t size);

void Close(Fd fd);

// Closes with SO_LINGER 0, so the peer sees a connection reset.
void Reset(Fd fd);

} // namespace testnet
