// The console streams of the command-line client.
#pragma once

#include <atomic>
#include <string>

namespace platform {

// Makes standard output carry bytes as they are: the Windows C runtime's text
// mode would write every LF as CR LF; POSIX streams never translate.
void SetStdoutBinary();

// True when standard error is a terminal (a console window on Windows).
bool StderrIsTerminal();

// Reads the next line of standard input into line (without its LF; a CR
// before it stays). False at the end of the input, on a read error, or once
// stop is set: a Ctrl+C handler sets it, and the wait for input that may
// never come (a terminal, a pipe whose writer lives on) ends with it.
bool ReadStdinLine(std::string& line, const std::atomic<bool>& stop);

} // namespace platform
