// Replacing a file's contents safely.
#pragma once

#include <string>

namespace platform {

// Replaces the file at path with exactly the bytes of text (nothing added).
// The text goes to a temporary file in the same folder first, which then
// replaces the old file, so a write that fails part-way leaves the old file
// as it was. When no temporary file can be made there, the file is written in
// place. Every write and the close are checked. A read-only file is refused
// on every system alike. False with reason (the system's error text) when the
// file could not be written.
bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& reason);

} // namespace platform
