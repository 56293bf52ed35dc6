#include "framework/controls.h"

#include <vector>

namespace fw {

std::string CComboBox::GetLBText(int index) const {
    LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR || length <= 0)
        return std::string();
    // CB_GETLBTEXTLEN may overstate (double-byte code pages); never understates.
    std::vector<char> buffer(static_cast<std::size_t>(length) + 1, '\0');
    LRESULT got = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                              reinterpret_cast<LPARAM>(buffer.data()));
    if (got == CB_ERR || got < 0)
        return std::string();
    return std::string(buffer.data(), static_cast<std::size_t>(got));
}

} // namespace fw
