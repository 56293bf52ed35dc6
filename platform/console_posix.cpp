#include "platform/console.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace platform {

void SetStdoutBinary() {} // POSIX streams never translate line ends

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

bool ReadStdinLine(std::string& line, const std::atomic<bool>& stop) {
    // Bytes read past the last line handed out; one reader, the main thread.
    static std::string pending;
    static bool ended = false;
    for (;;) {
        const std::size_t lf = pending.find('\n');
        if (lf != std::string::npos) {
            line.assign(pending, 0, lf);
            pending.erase(0, lf + 1);
            return true;
        }
        if (ended) {
            if (pending.empty())
                return false;
            line.swap(pending);
            pending.clear();
            return true;
        }
        if (stop)
            return false;
        // A signal handler's flag wakes no blocked read (the C library
        // restarts it), so the wait is in short steps that look at stop.
        pollfd input{STDIN_FILENO, POLLIN, 0};
        const int ready = poll(&input, 1, 200);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
        if (n > 0)
            pending.append(buffer, static_cast<std::size_t>(n));
        else if (n == 0 || errno != EINTR)
            ended = true;
    }
}

} // namespace platform
