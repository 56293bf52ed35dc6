#include "platform/console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>
#include <iostream>

namespace platform {

void SetStdoutBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

// The console ends a pending read itself on Ctrl+C; stop is looked at
// between lines.
bool ReadStdinLine(std::string& line, const std::atomic<bool>& stop) {
    return !stop && static_cast<bool>(std::getline(std::cin, line));
}

} // namespace platform
