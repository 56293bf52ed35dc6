#include "tests/support/fake_whois_server.h"

#include <chrono>
#include <fstream>
#include <iterator>

namespace testnet {

bool Session::Send(const std::string& bytes) {
    return m_fd != kNoFd && WriteAll(m_fd, bytes.data(), bytes.size());
}

void Session::Pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Session::Close() {
    if (m_fd != kNoFd)
        testnet::Close(m_fd);
    m_fd = kNoFd;
}

void Session::Reset() {
    if (m_fd != kNoFd)
        testnet::Reset(m_fd);
    m_fd = kNoFd;
}

FakeWhoisServer::FakeWhoisServer(Handler handler, const std::string& address, int port)
    : m_handler(std::move(handler)) {
    StartSockets();
    m_listener = Listen(address, port, m_port);
    if (m_listener != kNoFd)
        m_thread = std::thread([this] { Run(); });
}

FakeWhoisServer::~FakeWhoisServer() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener != kNoFd)
        Close(m_listener);
}

std::vector<std::string> FakeWhoisServer::requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

FakeWhoisServer::Handler FakeWhoisServer::Answer(const std::string& text) {
    return [text](Session& s, const std::string&) { s.Send(text); };
}

void FakeWhoisServer::Run() {
    while (!m_stop) {
        Fd fd = Accept(m_listener, 50);
        if (fd == kNoFd)
            continue;
        // Read the request line: up to CR LF, the client's close, or 5 s.
        std::string raw;
        char buffer[4096];
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (raw.find("\r\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            long n = Read(fd, buffer, sizeof buffer, 100);
            if (n == 0)
                break;
            if (n > 0)
                raw.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests.push_back(raw);
        }
        std::size_t end = raw.find("\r\n");
        Session session(fd);
        m_handler(session, end == std::string::npos ? raw : raw.substr(0, end));
        session.Close();
    }
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace testnet
