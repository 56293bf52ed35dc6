// The program's own location on disk.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable (GetModuleFileNameA on Windows,
// /proc/self/exe elsewhere); empty when it cannot be determined.
std::string GetExecutablePath();

// The separator between directories: '\\' on Windows, '/' elsewhere.
char PathSeparator();

} // namespace platform
