#include "app/window_target.h"

#include <windows.h>

LookupTarget WindowLookupTarget(std::uintptr_t windowHandle) {
    LookupTarget target;
    target.windowStillThere = [windowHandle] {
        return IsWindow(reinterpret_cast<HWND>(windowHandle)) != FALSE;
    };
    target.postDone = [windowHandle] {
        PostMessageA(reinterpret_cast<HWND>(windowHandle), WM_LOOKUP_DONE, 0, 0);
    };
    target.postProgress = [windowHandle] {
        PostMessageA(reinterpret_cast<HWND>(windowHandle), WM_LOOKUP_PROGRESS, 0, 0);
    };
    return target;
}
