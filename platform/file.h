// Replacing a file's contents safely.
#pragma once

#include <filesystem>
#include <string>

namespace platform {

// Replaces the file at path with exactly the bytes of text (nothing added).
// The text goes to a temporary file in the same folder first, which then
// replaces the old file, so a write that fails part-way leaves the old file
// as it was. When no temporary file can be made there, the file is written in
// place. Every write and the close are checked. A read-only file is refused
// on every system alike. False with reason (the system's error text) when the
// file could not be written.
// The temporary file is made exclusively under a name no other process
// holds, so processes that replace the same file at once never write into
// each other's temporary file; the last rename wins, whole.
bool ReplaceFileContents(const std::filesystem::path& path, const std::string& text,
                         std::string& reason);
// Creates the file at path exclusively, empty: true when this call made it,
// false when it exists already or cannot be made. Processes that read, merge
// and replace one file hold such a file beside it as a lock, and remove it.
bool CreateExclusiveFile(const std::filesystem::path& path);

// The same for a path in the system's narrow encoding (the ANSI code page on
// Windows).
bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& reason);

} // namespace platform
