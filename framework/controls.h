// Thin wrappers for the standard controls: non-owning, one message each.
// Bind them to a dialog's controls with DDX_Control, or Attach/SubclassWindow
// them to any control window. Derive from them to give a control handlers of
// its own (a label that paints itself, an edit answering its colour message).
#pragma once

#include "framework/wnd.h"

#include <string>

namespace fw {

class CStatic : public CWnd {};

class CButton : public CWnd {};

class CEdit : public CWnd {
public:
    // Left and right margins in pixels (EM_SETMARGINS).
    void SetMargins(UINT left, UINT right) {
        SendMessage(EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(left, right));
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
    // First entry equal to text, ignoring letter case (CB_FINDSTRINGEXACT is
    // case-insensitive), searching after startAfter; -1 searches from the
    // top. The search wraps round to the top. Returns CB_ERR if none.
    int FindStringExact(int startAfter, const std::string& text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, startAfter, Text(text)));
    }

private:
    static LPARAM Text(const std::string& text) { return reinterpret_cast<LPARAM>(text.c_str()); }
};

} // namespace fw
