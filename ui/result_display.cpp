#include "ui/result_display.h"

std::string ResultForDisplay(std::string_view result) {
    if (result.size() <= kMaxShownResultBytes)
        return std::string(result);
    std::string_view head = result.substr(0, kMaxShownResultBytes);
    const std::size_t lineEnd = head.rfind('\n');
    if (lineEnd != std::string_view::npos)
        head = head.substr(0, lineEnd + 1);
    std::string shown(head);
    if (shown.empty() || shown.back() != '\n')
        shown += "\r\n";
    shown += kResultCutNotice;
    return shown;
}
