// The application's name: the executable's file name without its directory
// and without the extension after its last ".". It names the settings key
// and captions the program's message boxes.
#pragma once

#include <string>

namespace fw {

// "C:\\x\\ostrabel.exe" gives "ostrabel"; "a.b.exe" gives "a.b"; "noext" stays.
std::string ApplicationNameFromPath(const std::string& path);

} // namespace fw
