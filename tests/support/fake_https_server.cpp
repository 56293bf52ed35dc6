// A fake HTTPS server for tests: real TLS (OpenSSL) on any number of
// address:port pairs, answers chosen by host and path, every request logged.
//
//   fake_https_server CONF REQUEST-LOG READY-FILE
//
// CONF has one entry a line, fields separated by tabs ("#" starts a comment
// line):
//
//   listen  ADDRESS:PORT  CERT.pem  KEY.pem   TLS with this certificate (chain) and key
//   silent  ADDRESS:PORT                      accepts connections, never says a word (not
//                                             even the TLS handshake)
//   route   HOST  PATH  STATUS  BODY  [HEADER]...
//
// A request gets the first route whose HOST (the Host header without its
// port, or "*") and PATH (path and query exactly, or a prefix written with a
// trailing "*") match; without one it gets 404 and no body. BODY is one of
//   -          no body
//   =TEXT      the text
//   @FILE      the file's bytes
//   @DIR/      with a prefix PATH: DIR plus the rest of the path (404 when
//              missing; paths with ".." are refused)
//   #N         N bytes of filler
//   !silent    reads the request, then says nothing for two minutes
// and each HEADER is sent as written: "Location: https://b.test/x",
// "Retry-After: 120", "Content-Type: application/rdap+json". Every response
// has Content-Length and "Connection: close".
//
// REQUEST-LOG gets "HOST<TAB>PATH<TAB>ACCEPT" for every request read.
// READY-FILE is created once every address listens. The server runs until
// it is killed.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Route {
    std::string host;
    std::string path;
    bool prefix = false;
    int status = 200;
    std::string body;
    std::vector<std::string> headers;
};

struct Listener {
    std::string address;
    int port = 0;
    SSL_CTX* tls = nullptr; // none: a silent listener
    int fd = -1;
};

std::vector<Route> g_routes;
std::mutex g_logMutex;
std::FILE* g_log = nullptr;

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) {
        if (!field.empty()) {
            fields.push_back(field);
        }
    }
    return fields;
}

[[noreturn]] void Fail(const std::string& why) {
    std::cerr << "fake_https_server: " << why << "\n";
    ERR_print_errors_fp(stderr);
    std::exit(1);
}

bool ReadFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    std::ostringstream all;
    all << in.rdbuf();
    bytes = all.str();
    return true;
}

int OpenListener(const std::string& address, int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (fd < 0 || inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 || listen(fd, 64) != 0) {
        Fail("cannot listen on " + address + ":" + std::to_string(port));
    }
    return fd;
}

SSL_CTX* MakeTls(const std::string& cert, const std::string& key) {
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (ctx == nullptr || SSL_CTX_use_certificate_chain_file(ctx, cert.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx) != 1) {
        Fail("cannot use certificate " + cert + " with key " + key);
    }
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    return ctx;
}

void ReadConf(const std::string& path, std::vector<Listener>& listeners) {
    std::ifstream in(path);
    if (!in) {
        Fail("cannot read " + path);
    }
    std::string line;
    while (std::getline(in, line)) {
        const auto f = SplitTabs(line);
        if (f.empty() || f[0][0] == '#') {
            continue;
        }
        const bool tls = f[0] == "listen" && f.size() == 4;
        if (tls || (f[0] == "silent" && f.size() == 2)) {
            const auto colon = f[1].rfind(':');
            if (colon == std::string::npos) {
                Fail("no port in " + f[1]);
            }
            Listener l;
            l.address = f[1].substr(0, colon);
            l.port = std::atoi(f[1].c_str() + colon + 1);
            l.tls = tls ? MakeTls(f[2], f[3]) : nullptr;
            listeners.push_back(l);
        } else if (f[0] == "route" && f.size() >= 5) {
            Route r;
            r.host = f[1];
            r.path = f[2];
            r.prefix = !r.path.empty() && r.path.back() == '*';
            if (r.prefix) {
                r.path.pop_back();
            }
            r.status = std::atoi(f[3].c_str());
            r.body = f[4];
            r.headers.assign(f.begin() + 5, f.end());
            g_routes.push_back(r);
        } else {
            Fail("bad line in " + path + ": " + line);
        }
    }
}

bool SendAll(SSL* ssl, const char* data, std::size_t size) {
    while (size > 0) {
        const int n = SSL_write(ssl, data, static_cast<int>(std::min<std::size_t>(size, 1 << 16)));
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

const char* Reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// The value of header NAME in the request head; empty without one.
std::string HeaderValue(const std::string& head, const std::string& name) {
    std::istringstream in(head);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > name.size() && line[name.size()] == ':' &&
            strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            std::string value = line.substr(name.size() + 1);
            value.erase(0, value.find_first_not_of(' '));
            while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) {
                value.pop_back();
            }
            return value;
        }
    }
    return {};
}

void Answer(SSL* ssl, const std::string& host, const std::string& path) {
    const Route* route = nullptr;
    for (const auto& r : g_routes) {
        const bool pathMatches =
            r.prefix ? path.compare(0, r.path.size(), r.path) == 0 : path == r.path;
        if ((r.host == "*" || r.host == host) && pathMatches) {
            route = &r;
            break;
        }
    }
    int status = route ? route->status : 404;
    std::string body;
    std::size_t filler = 0;
    if (route != nullptr) {
        const std::string& bodyRule = route->body;
        if (bodyRule == "!silent") {
            std::this_thread::sleep_for(std::chrono::minutes(2));
            return;
        } else if (bodyRule[0] == '=') {
            body = bodyRule.substr(1);
        } else if (bodyRule[0] == '#') {
            filler = std::strtoul(bodyRule.c_str() + 1, nullptr, 10);
        } else if (bodyRule[0] == '@' && bodyRule.back() == '/') {
            const std::string rest = path.substr(route->path.size());
            if (rest.find("..") != std::string::npos || !ReadFile(bodyRule.substr(1) + rest, body)) {
                status = 404;
                body.clear();
            }
        } else if (bodyRule[0] == '@' && !ReadFile(bodyRule.substr(1), body)) {
            status = 500;
        }
    }
    std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" +
                       "Content-Length: " + std::to_string(filler ? filler : body.size()) +
                       "\r\nConnection: close\r\n";
    for (const auto& h : route ? route->headers : std::vector<std::string>{}) {
        head += h + "\r\n";
    }
    head += "\r\n";
    if (!SendAll(ssl, head.data(), head.size()) || !SendAll(ssl, body.data(), body.size())) {
        return;
    }
    const std::string chunk(1 << 16, 'x');
    while (filler > 0) {
        const std::size_t n = std::min(filler, chunk.size());
        if (!SendAll(ssl, chunk.data(), n)) {
            return;
        }
        filler -= n;
    }
}

void Serve(int fd, SSL_CTX* tls) {
    timeval limit{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(tls);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0) {
                break;
            }
            head.append(buffer, static_cast<std::size_t>(n));
        }
        std::istringstream line(head.substr(0, head.find("\r\n")));
        std::string method, path;
        line >> method >> path;
        std::string host = HeaderValue(head, "Host");
        host = host.substr(0, host.rfind(':') == std::string::npos ? host.size() : host.rfind(':'));
        if (!path.empty()) {
            {
                std::lock_guard<std::mutex> lock(g_logMutex);
                std::fprintf(g_log, "%s\t%s\t%s\n", host.c_str(), path.c_str(),
                             HeaderValue(head, "Accept").c_str());
                std::fflush(g_log);
            }
            Answer(ssl, host, path);
            SSL_shutdown(ssl);
        }
    }
    SSL_free(ssl);
    close(fd);
}

void AcceptLoop(Listener l) {
    std::vector<int> held; // a silent listener's connections stay open
    for (;;) {
        const int fd = accept(l.fd, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        if (l.tls == nullptr) {
            held.push_back(fd);
        } else {
            std::thread(Serve, fd, l.tls).detach();
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: fake_https_server CONF REQUEST-LOG READY-FILE\n";
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    std::vector<Listener> listeners;
    ReadConf(argv[1], listeners);
    g_log = std::fopen(argv[2], "a");
    if (g_log == nullptr) {
        Fail(std::string("cannot write ") + argv[2]);
    }
    for (auto& l : listeners) {
        l.fd = OpenListener(l.address, l.port);
    }
    std::vector<std::thread> loops;
    for (const auto& l : listeners) {
        loops.emplace_back(AcceptLoop, l);
    }
    std::ofstream(argv[3]) << "ready\n";
    for (auto& t : loops) {
        t.join();
    }
}
