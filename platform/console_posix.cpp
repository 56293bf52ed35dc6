#include "platform/console.h"

namespace platform {

void SetStdoutBinary() {} // POSIX streams never translate line ends

} // namespace platform
