#include "platform/path.h"

#include <limits.h>
#include <unistd.h>

namespace platform {

std::string GetExecutablePath() {
    char buffer[PATH_MAX] = {};
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(n));
}

char PathSeparator() {
    return '/';
}

} // namespace platform
