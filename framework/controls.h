// Thin wrappers for the standard controls: non-owning, one message each.
// Bind them to a dialog's controls with DDX_Control, or Attach/SubclassWindow
// them to any control window. Derive from them to give a control handlers of
// its own (a label that paints itself, an edit answering its colour message).
#pragma once

#include "framework/wnd.h"

#include <string>

namespace fw {

class CStatic : public CWnd {
public:
    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
};

class CButton : public CWnd {
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int state) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(state)); }
};

class CEdit : public CWnd {
public:
    // Left and right margins in pixels (EM_SETMARGINS).
    void SetMargins(UINT left, UINT right) {
        SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(left, right));
    }
    // Selects characters start..end-1; (0, -1) selects all, (-1, 0) none.
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, start, end); }
    void ReplaceSel(const std::string& text, bool canUndo = false) {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void SetReadOnly(bool readOnly = true) { SendMessage(EM_SETREADONLY, readOnly); }
    // 0 lifts the limit to the control's maximum.
    void LimitText(int maxChars) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(maxChars)); }
    int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
    // Line index (0-based) of the first visible line.
    int GetFirstVisibleLine() const {
        return static_cast<int>(SendMessage(EM_GETFIRSTVISIBLELINE));
    }
};

// Combo box list operations. Indexes are 0-based; CB_ERR (-1) reports a
// failure or "not found", CB_ERRSPACE (-2) a full list.
class CComboBox : public CWnd {
public:
    // Empties the list and also the edit field of a drop-down combo box.
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    // Appends at the end (the list of an unsorted combo box); returns the index.
    int AddString(const std::string& text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, Text(text)));
    }
    // Inserts before index (-1: at the end); never sorts.
    int InsertString(int index, const std::string& text) {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, index, Text(text)));
    }
    // Returns the remaining count, or CB_ERR.
    int DeleteString(int index) {
        return static_cast<int>(SendMessage(CB_DELETESTRING, static_cast<WPARAM>(index)));
    }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    // The entry's text; empty for an index out of range.
    std::string GetLBText(int index) const;
    // Selects an entry and shows it in the field; -1 clears the selection.
    // No CBN_SELCHANGE is sent for it.
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, index)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    // First entry equal to text, ignoring letter case (CB_FINDSTRINGEXACT is
    // case-insensitive), searching after startAfter; -1 searches from the
    // top. The search wraps round to the top. Returns CB_ERR if none.
    int FindStringExact(int startAfter, const std::string& text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, startAfter, Text(text)));
    }
    // 0 lifts the limit on the edit field's length.
    void LimitText(int maxChars) { SendMessage(CB_LIMITTEXT, static_cast<WPARAM>(maxChars)); }
    void ShowDropDown(bool show = true) { SendMessage(CB_SHOWDROPDOWN, show); }

private:
    static LPARAM Text(const std::string& text) { return reinterpret_cast<LPARAM>(text.c_str()); }
};

} // namespace fw
