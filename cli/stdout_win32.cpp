#include "cli/cli.h"

#include <cstdio>
#include <fcntl.h>
#include <io.h>

// The C runtime's text mode would write every LF as CR LF.
void SetStdoutBinary() {
    _setmode(_fileno(stdout), _O_BINARY);
}
