// The heading label and the result box on a dialog of their own, read back
// pixel by pixel from the controls' device contexts after they painted.
#include "ui/styled_labels.h"

#include "framework/dialog.h"
#include "tests/configure/modal_script.h"
#include "test_ids.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using testui::ModalScript;

class LabelsDialog : public fw::CDialog {
public:
    LabelsDialog() : fw::CDialog(IDD_T_LABELS) {}
    void DoDataExchange(fw::CDataExchange& dx) override {
        fw::DDX_Control(dx, IDC_T_HEADING_UNSET, m_unset);
        fw::DDX_Control(dx, IDC_T_HEADING_SET, m_set);
        fw::DDX_Control(dx, IDC_T_HEADING_NARROW, m_narrow);
        fw::DDX_Control(dx, IDC_T_RESULT, m_result);
    }
    CHeadingLabel m_unset;
    CHeadingLabel m_set;
    CHeadingLabel m_narrow;
    CResultEdit m_result;
};

// What a control's client area shows now.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// redraw: paint the control afresh first; otherwise take what it shows.
Capture Grab(HWND control, bool redraw = true) {
    if (redraw)
        ::RedrawWindow(control, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Capture capture;
    RECT client{};
    ::GetClientRect(control, &client);
    capture.width = client.right;
    capture.height = client.bottom;
    HDC source = ::GetDC(control);
    HDC memory = ::CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, capture.width, capture.height, source, 0, 0, SRCCOPY);
    ::GdiFlush();
    const DWORD* words = static_cast<const DWORD*>(bits);
    for (int i = 0; i < capture.width * capture.height; ++i) {
        DWORD w = words[i]; // 0x00RRGGBB
        capture.pixels.push_back(RGB((w >> 16) & 0xFF, (w >> 8) & 0xFF, w & 0xFF));
    }
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(control, source);
    return capture;
}

COLORREF ButtonFace() {
    return ::GetSysColor(COLOR_BTNFACE);
}

// Rows and columns holding pixels that differ from the background.
struct Ink {
    int count = 0;
    int exactColour = 0; // pixels of exactly the text colour
    int top = -1, bottom = -1, left = -1, right = -1;
};

Ink FindInk(const Capture& c, COLORREF background, COLORREF text) {
    Ink ink;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) {
            COLORREF p = c.At(x, y);
            if (p == background)
                continue;
            ++ink.count;
            if (p == text)
                ++ink.exactColour;
            if (ink.top < 0)
                ink.top = y;
            ink.bottom = y;
            if (ink.left < 0 || x < ink.left)
                ink.left = x;
            if (x > ink.right)
                ink.right = x;
        }
    return ink;
}

TEST(HeadingLabel, PaintsOnlyItsOwnTextInDarkRedOnTheButtonFace) {
    LabelsDialog dialog;
    Capture unset, plain, set, afterSetText, afterRedraw;
    BOOL pendingAfterSetText = TRUE;
    dialog.m_set.SetText("Find the owner");
    INT_PTR result = ModalScript::Run(dialog, {[&](HWND hwnd) {
                                          unset = Grab(dialog.m_unset);
                                          plain = Grab(::GetDlgItem(hwnd, IDC_T_PLAIN_LABEL));
                                          set = Grab(dialog.m_set);
                                          // A new text shows only once the owner invalidates.
                                          dialog.m_set.SetText("");
                                          pendingAfterSetText =
                                              ::GetUpdateRect(dialog.m_set, nullptr, FALSE);
                                          afterSetText = Grab(dialog.m_set, false);
                                          afterRedraw = Grab(dialog.m_set);
                                          ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
                                          return true;
                                      }});
    ASSERT_EQ(result, IDOK);

    // Never given a text: the button face only, whatever the template says.
    Ink unsetInk = FindInk(unset, ButtonFace(), RGB(128, 0, 0));
    EXPECT_GT(unset.width, 0);
    EXPECT_EQ(unsetInk.count, 0);
    // (The same caption on a plain label does show, so the capture sees text.)
    EXPECT_GT(FindInk(plain, ButtonFace(), RGB(0, 0, 0)).count, 20);

    Ink setInk = FindInk(set, ButtonFace(), RGB(128, 0, 0));
    EXPECT_GT(setInk.exactColour, 20);
    // Every inked pixel is dark red or a blend of it with the face.
    int otherColours = 0;
    for (COLORREF p : set.pixels)
        if (p != ButtonFace() && !(GetRValue(p) > GetGValue(p) && GetRValue(p) > GetBValue(p)))
            ++otherColours;
    EXPECT_EQ(otherColours, 0);
    // Left-aligned and vertically centred.
    EXPECT_LE(setInk.left, 2);
    EXPECT_LT(setInk.right, set.width / 2);
    EXPECT_LE(std::abs((setInk.top + setInk.bottom) - set.height), 4);

    EXPECT_FALSE(pendingAfterSetText);
    EXPECT_EQ(afterSetText.pixels, set.pixels);
    EXPECT_EQ(FindInk(afterRedraw, ButtonFace(), RGB(128, 0, 0)).count, 0);
}

TEST(HeadingLabel, ALongTextStaysOnOneLineAndIsCutAtTheEdge) {
    LabelsDialog dialog;
    Capture narrow;
    dialog.m_narrow.SetText("OSTRABEL: Find the owner of an IP or domain, whatever it is");
    INT_PTR result = ModalScript::Run(dialog, {[&](HWND hwnd) {
                                          narrow = Grab(dialog.m_narrow);
                                          ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
                                          return true;
                                      }});
    ASSERT_EQ(result, IDOK);
    Ink ink = FindInk(narrow, ButtonFace(), RGB(128, 0, 0));
    ASSERT_GT(ink.count, 0);
    // The label is more than two lines high; the ink is one line's band in
    // the middle, and it runs to the right edge.
    EXPECT_GT(narrow.height, 40);
    EXPECT_LT(ink.bottom - ink.top, 22);
    EXPECT_GT(ink.top, 4);
    EXPECT_LT(ink.bottom, narrow.height - 5);
    EXPECT_GE(ink.right, narrow.width - 4);
}

TEST(ResultEdit, ReadOnlyTextIsBlackOnWhiteThroughTheColourMessage) {
    LabelsDialog dialog;
    LRESULT staticBrush = 0, editBrush = 0, plainBrush = 0;
    COLORREF textColour = 1, backColour = 0;
    Capture result, plain;
    INT_PTR run = ModalScript::Run(
        dialog, {[&](HWND hwnd) {
            HWND box = dialog.m_result;
            HWND plainBox = ::GetDlgItem(hwnd, IDC_T_PLAIN_READONLY);
            HDC dc = ::GetDC(hwnd);
            ::SetTextColor(dc, RGB(1, 2, 3));
            ::SetBkColor(dc, RGB(4, 5, 6));
            staticBrush = ::SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                         reinterpret_cast<LPARAM>(box));
            textColour = ::GetTextColor(dc);
            backColour = ::GetBkColor(dc);
            editBrush = ::SendMessageA(hwnd, WM_CTLCOLOREDIT, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(box));
            plainBrush = ::SendMessageA(hwnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                        reinterpret_cast<LPARAM>(plainBox));
            ::ReleaseDC(hwnd, dc);
            ::SetWindowTextA(box, "WWWW\r\nMMMM");
            ::SetWindowTextA(plainBox, "WWWW\r\nMMMM");
            result = Grab(box);
            plain = Grab(plainBox);
            ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            return true;
        }});
    ASSERT_EQ(run, IDOK);

    const LRESULT ours = reinterpret_cast<LRESULT>(dialog.m_result.GetBackgroundBrush());
    EXPECT_NE(ours, 0);
    EXPECT_EQ(staticBrush, ours);
    EXPECT_EQ(editBrush, ours);
    EXPECT_NE(plainBrush, ours);
    EXPECT_EQ(textColour, RGB(0, 0, 0));
    EXPECT_EQ(backColour, dialog.m_result.GetBackgroundColour());
    EXPECT_EQ(dialog.m_result.GetBackgroundColour(), RGB(255, 255, 255)); // a true-colour display

    // On screen: the box is white with black text; a plain read-only box is not white.
    Ink ink = FindInk(result, RGB(255, 255, 255), RGB(0, 0, 0));
    EXPECT_GT(ink.exactColour, 20);
    EXPECT_EQ(result.At(result.width - 3, result.height - 3), RGB(255, 255, 255));
    EXPECT_NE(plain.At(plain.width - 3, plain.height - 3), RGB(255, 255, 255));
}

} // namespace
