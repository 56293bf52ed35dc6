#include "cli/cli.h"

void SetStdoutBinary() {} // POSIX streams never translate line ends
