// Opening web pages: the shell first, then the browser registered for ".htm"
// pages. Nothing here shows a message; failures pass silently, and every
// caller ignores the results.
#pragma once

#include "ui/browser_command.h"
#include "ui/software_url.h"

#include <string>

// Hands address to the shell (ShellExecuteA, verb "open"). When the shell
// refuses (result 32 or below), starts the registered browser on it with
// OpenWithRegisteredBrowser. Returns the result of the last platform call
// made: the shell's value, or WinExec's.
int OpenInBrowser(const std::string& address, int show);

// Reads the ".htm" class and its "\shell\open\command", composes the command
// line with ComposeBrowserCommand and starts it with WinExec(show), returning
// WinExec's result. When the class or its command cannot be read or is
// empty, starts nothing and returns resultIfNoBrowser.
int OpenWithRegisteredBrowser(const std::string& address, int show, int resultIfNoBrowser);

// The default value of HKEY_CLASSES_ROOT\subKey, read into a buffer of
// kRegistryValueBufferSize bytes. Returns 0 and fills out on success;
// otherwise returns the registry error code and leaves out untouched (also
// when the key opens but its default value cannot be read, for example when
// it is longer than the buffer).
long ReadClassesRootDefault(const std::string& subKey, std::string& out);

// The "&More Software..." command: opens BuildMoreSoftwareUrl("more") with
// show command 5.
void OpenMoreSoftwarePage();
