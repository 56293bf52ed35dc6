#include "ui/weblinks.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

int OpenInBrowser(const std::string& address, int show) {
    HINSTANCE shell = ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, show);
    int result = static_cast<int>(reinterpret_cast<std::intptr_t>(shell));
    if (static_cast<unsigned>(result) > 32)
        return result;
    return OpenWithRegisteredBrowser(address, show, result);
}

int OpenWithRegisteredBrowser(const std::string& address, int show, int resultIfNoBrowser) {
    // An empty default value names no class and no command: nothing to start.
    std::string command;
    if (ReadClassesRootDefault(".htm", command) != 0 || command.empty())
        return resultIfNoBrowser;
    command += "\\shell\\open\\command";
    if (ReadClassesRootDefault(command, command) != 0 || command.empty())
        return resultIfNoBrowser;

    command = ComposeBrowserCommand(command, address);
    return static_cast<int>(WinExec(command.c_str(), static_cast<UINT>(show)));
}

long ReadClassesRootDefault(const std::string& subKey, std::string& out) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &key);
    if (opened != ERROR_SUCCESS)
        return opened;

    // One byte more than the size passed, always zero: the text is
    // terminated even if the stored value is not.
    char value[kRegistryValueBufferSize + 1] = {};
    LONG size = static_cast<LONG>(kRegistryValueBufferSize);
    LONG read = RegQueryValueA(key, nullptr, value, &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS)
        return read;
    out = value;
    return 0;
}

void OpenMoreSoftwarePage() {
    OpenInBrowser(BuildMoreSoftwareUrl(kMoreSoftwarePage), SW_SHOW);
}
