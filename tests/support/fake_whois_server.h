// A fake WHOIS server on a loopback address for tests and benchmarks. It
// accepts connections one after another on its own thread, reads each request
// line (up to CR LF), records the raw bytes and lets a handler answer:
// send text, pause, close, or reset the connection.
#pragma once

#include "tests/support/test_socket.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testnet {

class Session {
public:
    explicit Session(Fd fd) : m_fd(fd) {}
    // Sends bytes; false when the client went away.
    bool Send(const std::string& bytes);
    void Pause(int ms);
    // Graceful close: the client reads to its end.
    void Close();
    // Abortive close: the client gets a receive error.
    void Reset();
    bool closed() const { return m_fd == kNoFd; }

private:
    Fd m_fd;
};

class FakeWhoisServer {
public:
    // The handler gets the request with its CR LF removed.
    using Handler = std::function<void(Session&, const std::string& request)>;

    explicit FakeWhoisServer(Handler handler, const std::string& address = "127.0.0.1",
                             int port = 0);
    ~FakeWhoisServer();
    FakeWhoisServer(const FakeWhoisServer&) = delete;
    FakeWhoisServer& operator=(const FakeWhoisServer&) = delete;

    bool ok() const { return m_listener != kNoFd; }
    int port() const { return m_port; }
    // Raw bytes of every request received so far, CR LF included.
    std::vector<std::string> requests() const;

    // A handler that answers every request with the same text and closes.
    static Handler Answer(const std::string& text);

private:
    void Run();

    Handler m_handler;
    Fd m_listener = kNoFd;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

// Reads a file whole (binary); empty when it cannot be read.
std::string ReadFileBytes(const std::string& path);

} // namespace testnet
