#include "ui/browser_command.h"

std::string ComposeBrowserCommand(std::string_view registeredCommand, std::string_view address) {
    std::string_view head = registeredCommand;
    std::size_t at = head.find("\"%1\"");
    if (at == std::string_view::npos)
        at = head.find("%1");
    if (at != std::string_view::npos)
        head = head.substr(0, at);

    std::string command(head);
    command += ' ';
    command += address;
    if (command.size() > kBrowserCommandBufferSize - 1)
        command.resize(kBrowserCommandBufferSize - 1);
    return command;
}
