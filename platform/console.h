// The console streams of the command-line client.
#pragma once

namespace platform {

// Makes standard output carry bytes as they are: the Windows C runtime's text
// mode would write every LF as CR LF; POSIX streams never translate.
void SetStdoutBinary();

// True when standard error is a terminal (a console window on Windows).
bool StderrIsTerminal();

} // namespace platform
