#include "platform/console.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace platform {

void SetStdoutBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}

} // namespace platform
