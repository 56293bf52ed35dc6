#include "platform/console.h"

#include <unistd.h>

namespace platform {

void SetStdoutBinary() {} // POSIX streams never translate line ends

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}

} // namespace platform
