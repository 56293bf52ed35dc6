// The lookup target of a real window: the worker posts WM_LOOKUP_DONE with
// both parameters 0 to a live window, and nothing once it is destroyed.
#include "app/window_target.h"
#include "tests/engine/scripted_network.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace {

// Waits up to boundMs for WM_LOOKUP_DONE to hwnd; the message is removed.
bool WaitForDone(HWND hwnd, DWORD boundMs, WPARAM& wParam, LPARAM& lParam) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < boundMs) {
        MSG msg;
        if (PeekMessageA(&msg, hwnd, WM_LOOKUP_DONE, WM_LOOKUP_DONE, PM_REMOVE)) {
            wParam = msg.wParam;
            lParam = msg.lParam;
            return true;
        }
        Sleep(10);
    }
    return false;
}

} // namespace

TEST(WindowLookupTarget, PostsToALiveWindowAndNotToADestroyedOne) {
    testnet::ScriptedNetwork net;
    net.Answer("whois.arin.net", "192.0.2.1", "answer\n");
    HWND hwnd = CreateWindowExA(0, "STATIC", "target", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(hwnd, nullptr);
    const LookupTarget target = WindowLookupTarget(reinterpret_cast<std::uintptr_t>(hwnd));

    ClearLookupResult();
    SetActiveQuery("192.0.2.1");
    LookupJob job;
    job.input = "192.0.2.1";
    job.convertToIp = 0;
    job.target = target;
    job.network = &net;
    std::thread([job] { LookupWorker(job); }).join();
    WPARAM wParam = 99;
    LPARAM lParam = 99;
    ASSERT_TRUE(WaitForDone(hwnd, 5000, wParam, lParam));
    EXPECT_EQ(wParam, 0u);
    EXPECT_EQ(lParam, 0);
    EXPECT_EQ(LookupResult(), "192.0.2.1\r\n\r\nanswer");

    ClearLookupResult();
    DestroyWindow(hwnd);
    EXPECT_FALSE(target.windowStillThere());
    std::thread([job] { LookupWorker(job); }).join();
    EXPECT_EQ(LookupResult(), ""); // a gone window: nothing written
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_LOOKUP_DONE, WM_LOOKUP_DONE, PM_REMOVE));
    ClearActiveQuery();
}
