// The Configure dialog on its real template, in a folder of the test's own
// that stands in for the program's directory. The dialog runs modally and is
// driven from inside by a script of timer steps; message boxes are caught
// with a CBT hook.
#include "servers/configure_dlg.h"

#include "base/server_roles.h"
#include "framework/app.h"
#include "res/resource.h"
#include "servers/server_table.h"
#include "tests/configure/modal_script.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

using testui::MessageBoxCatcher;
using testui::ModalScript;
using testui::Step;
using testui::WindowText;

fw::CWinApp g_testApp;

const std::string kDefaultList = DefaultServerList;

// ---- files -----------------------------------------------------------------

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = bytes.empty() || (::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()),
                                            &written, nullptr) &&
                                written == bytes.size());
    return ::CloseHandle(file) && ok;
}

// The file's bytes; exists is false when it cannot be opened.
std::string ReadBytes(const std::string& path, bool* exists = nullptr) {
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (exists != nullptr)
        *exists = file != INVALID_HANDLE_VALUE;
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    ::CloseHandle(file);
    return bytes;
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            names.push_back(name);
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return names;
}

// ---- the fixture: a program directory of the test's own ------------------

class ConfigureDialog : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH] = {};
        ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
        static int counter = 0;
        m_folder = std::string(temp) + "ostrabel-configure-" +
                   std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter) + "\\";
        ASSERT_TRUE(::CreateDirectoryA(m_folder.c_str(), nullptr));
        SetProgramDirectoryForTesting(m_folder);
        m_list = m_folder + "whoislist.txt";
        ASSERT_EQ(GetServerListPath(), m_list);
        DiscardServerTable();
    }
    void TearDown() override {
        for (const std::string& name : FolderEntries(m_folder)) {
            std::string path = m_folder + name;
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!::DeleteFileA(path.c_str()))
                ::RemoveDirectoryA(path.c_str());
        }
        ::RemoveDirectoryA(m_folder.c_str());
        SetProgramDirectoryForTesting("");
        DiscardServerTable();
    }

    // Opens the dialog, runs the steps, returns DoModal's result.
    static INT_PTR RunDialog(std::vector<Step> steps) {
        CConfigureDlg dialog;
        return ModalScript::Run(dialog, std::move(steps));
    }

    std::string m_folder;
    std::string m_list;
};

HWND Box(HWND dialog) {
    return ::GetDlgItem(dialog, IDC_SERVER_LIST);
}

// Steps.
Step ReadBox(std::string* out) {
    return [out](HWND dialog) {
        *out = WindowText(Box(dialog));
        return true;
    };
}
Step SetBox(const std::string& text) {
    return [text](HWND dialog) {
        ::SetWindowTextA(Box(dialog), text.c_str());
        return true;
    };
}
Step Post(UINT command) {
    return [command](HWND dialog) {
        ::PostMessageA(dialog, WM_COMMAND, command, 0);
        return true;
    };
}
// Posts a key press and release to the control with the focus.
Step PressKey(int id, WPARAM key, UINT scanCode) {
    return [=](HWND dialog) {
        HWND control = ::GetDlgItem(dialog, id);
        ::SetFocus(control);
        ::PostMessageA(control, WM_KEYDOWN, key, static_cast<LPARAM>(1u | (scanCode << 16)));
        ::PostMessageA(control, WM_KEYUP, key,
                       static_cast<LPARAM>(1u | (scanCode << 16) | 0xC0000000u));
        return true;
    };
}
// Waits one tick, so that what was posted has been handled.
Step Settle() {
    return [](HWND) { return true; };
}
Step CaretToEnd() {
    return [](HWND dialog) {
        ::SendMessageA(Box(dialog), EM_SETSEL, 0x7FFFFFFF, 0x7FFFFFFF);
        return true;
    };
}

TEST_F(ConfigureDialog, FirstOpeningShowsTheDefaultListAndOkWritesItByteForByte) {
    std::string shown;
    std::string caption;
    int focusId = 0;
    LOGFONTA font{};
    HFONT boxFont = nullptr;
    LONG_PTR style = 0, exStyle = 0;
    std::string label;
    INT_PTR result = RunDialog({
        [&](HWND dialog) {
            shown = WindowText(Box(dialog));
            caption = WindowText(dialog);
            focusId = ::GetDlgCtrlID(::GetFocus());
            boxFont = reinterpret_cast<HFONT>(::SendMessageA(Box(dialog), WM_GETFONT, 0, 0));
            ::GetObjectA(boxFont, sizeof font, &font);
            style = ::GetWindowLongPtrA(Box(dialog), GWL_STYLE);
            exStyle = ::GetWindowLongPtrA(Box(dialog), GWL_EXSTYLE);
            for (HWND child = ::FindWindowExA(dialog, nullptr, "Static", nullptr); child != nullptr;
                 child = ::FindWindowExA(dialog, child, "Static", nullptr))
                label += WindowText(child) + "|";
            return true;
        },
        Post(IDOK),
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(shown, kDefaultList);
    EXPECT_EQ(ReadBytes(m_list), kDefaultList);
    // Only the list is left in the folder: no temporary file stays behind.
    EXPECT_EQ(FolderEntries(m_folder), std::vector<std::string>{"whoislist.txt"});

    EXPECT_EQ(caption, "Configure");
    EXPECT_EQ(focusId, IDOK);
    EXPECT_EQ(std::string(font.lfFaceName), "Courier");
    EXPECT_EQ(font.lfHeight, 14);
    EXPECT_EQ(font.lfWeight, 500);
    EXPECT_EQ(font.lfCharSet, ANSI_CHARSET);
    EXPECT_EQ(font.lfPitchAndFamily, DEFAULT_PITCH | FF_ROMAN);
    EXPECT_TRUE(style & ES_MULTILINE);
    EXPECT_TRUE(style & ES_WANTRETURN);
    EXPECT_TRUE(style & WS_HSCROLL); // lines do not wrap
    EXPECT_TRUE(style & WS_VSCROLL);
    EXPECT_TRUE(style & WS_TABSTOP);
    EXPECT_TRUE(exStyle & WS_EX_STATICEDGE);
    EXPECT_EQ(label, "Please configure the whois server information below. The configuration is "
                     "saved to a simple text file called wholist.txt.|(please ensure that there is "
                     "only one record per line)|");
}

TEST_F(ConfigureDialog, OkWithAnEmptyBoxLeavesAZeroByteFileAndLookupsFallBackToTheDefault) {
    ASSERT_TRUE(WriteBytes(m_list, "com:  whois.custom.test\r\n"));
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.custom.test");

    std::string shown;
    EXPECT_EQ(RunDialog({ReadBox(&shown), SetBox(""), Post(IDOK)}), IDOK);
    EXPECT_EQ(shown, "com:  whois.custom.test\r\n");
    bool exists = false;
    EXPECT_EQ(ReadBytes(m_list, &exists), "");
    EXPECT_TRUE(exists);

    EXPECT_EQ(FindWhoisServer("example.com"), roles::kComNetRegistryServer);
    EXPECT_EQ(FindWhoisServer("example.info"), roles::kInfoRegistryServer);

    // The next opening shows the default again; Cancel keeps the empty file.
    EXPECT_EQ(RunDialog({ReadBox(&shown), Post(IDCANCEL)}), IDCANCEL);
    EXPECT_EQ(shown, kDefaultList);
    EXPECT_EQ(ReadBytes(m_list, &exists), "");
    EXPECT_TRUE(exists);
}

TEST_F(ConfigureDialog, TextIsSavedAsTypedAndTheNextLookupUsesIt) {
    // An earlier lookup of this run loaded the default list.
    EXPECT_EQ(FindWhoisServer("example.com"), roles::kComNetRegistryServer);

    const std::string pasted = "COM:   Whois.Example.TEST  \r\n\r\nno colon here\r\n"
                               "net:  whois.net.test   ";
    // Typed at the end: Return, then a record with no final line end.
    const std::string typed = "\rDe:  Whois.De.Test";
    std::vector<Step> steps = {SetBox(pasted), CaretToEnd(), [&](HWND dialog) {
                                   for (char c : typed)
                                       ::PostMessageA(Box(dialog), WM_CHAR,
                                                      static_cast<unsigned char>(c), 1);
                                   return true;
                               }};
    std::string before;
    steps.push_back(Settle());
    steps.push_back(ReadBox(&before));
    steps.push_back(Post(IDOK));
    EXPECT_EQ(RunDialog(steps), IDOK);

    const std::string expected = pasted + "\r\nDe:  Whois.De.Test";
    EXPECT_EQ(before, expected);
    EXPECT_EQ(ReadBytes(m_list), expected);
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.example.test");
    EXPECT_EQ(FindWhoisServer("example.net"), "whois.net.test");
    EXPECT_EQ(FindWhoisServer("example.de"), "whois.de.test");
    EXPECT_EQ(FindWhoisServer("example.org"), "");
}

TEST_F(ConfigureDialog, ReturnInTheBoxInsertsALineAndDoesNotPressOk) {
    ASSERT_TRUE(WriteBytes(m_list, "com:  whois.a.test"));
    std::string afterReturn;
    bool openAfterReturn = false;
    CConfigureDlg dialog;
    INT_PTR result = ModalScript::Run(
        dialog, {CaretToEnd(), PressKey(IDC_SERVER_LIST, VK_RETURN, 0x1C), Settle(),
                 [&](HWND hwnd) {
                     afterReturn = WindowText(Box(hwnd));
                     openAfterReturn = !dialog.IsEnded() && ::IsWindow(hwnd);
                     return true;
                 },
                 Post(IDOK)});
    EXPECT_EQ(result, IDOK);
    EXPECT_TRUE(openAfterReturn);
    EXPECT_EQ(afterReturn, "com:  whois.a.test\r\n");
    EXPECT_EQ(ReadBytes(m_list), "com:  whois.a.test\r\n");
}

TEST_F(ConfigureDialog, CancelEscapeAndTheCloseBoxChangeNeitherFileNorTable) {
    ASSERT_TRUE(WriteBytes(m_list, "com:  whois.loaded.test\r\n"));
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.loaded.test");
    // Another program changes the file; the table keeps what it loaded.
    const std::string changed = "com:  whois.changed.test\r\n";
    ASSERT_TRUE(WriteBytes(m_list, changed));

    struct Way {
        const char* name;
        Step close;
    };
    for (const Way& way :
         {Way{"Cancel", Post(IDCANCEL)}, Way{"Escape", PressKey(IDC_SERVER_LIST, VK_ESCAPE, 0x01)},
          Way{"close box", [](HWND d) {
                  ::PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
                  return true;
              }}}) {
        std::string shown;
        INT_PTR result =
            RunDialog({ReadBox(&shown), SetBox("com:  whois.edited.test\r\n"), way.close});
        EXPECT_EQ(result, IDCANCEL) << way.name;
        // The opening read the file afresh, not the cached table.
        EXPECT_EQ(shown, changed) << way.name;
        EXPECT_EQ(ReadBytes(m_list), changed) << way.name;
        EXPECT_EQ(FindWhoisServer("example.com"), "whois.loaded.test") << way.name;
    }
}

// What a failed save leaves: the report, the dialog with the text, the table.
struct FailedSave {
    INT_PTR result = 0;
    std::vector<MessageBoxCatcher::Box> boxes;
    bool openAfterBox = false;
    std::string textAfterBox;
};

FailedSave OkOnAnUnwritableList(const std::string& edited, Step repair = nullptr) {
    FailedSave outcome;
    CConfigureDlg dialog;
    std::unique_ptr<MessageBoxCatcher> catcher;
    std::vector<Step> steps = {
        SetBox(edited),
        [&](HWND hwnd) {
            catcher = std::make_unique<MessageBoxCatcher>(hwnd);
            ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
            return true;
        },
        // Wait for the report to have come and gone.
        [&](HWND hwnd) {
            if (MessageBoxCatcher::Boxes().empty())
                return false;
            return ::GetLastActivePopup(hwnd) == hwnd;
        },
        Settle(),
        [&](HWND hwnd) {
            outcome.boxes = MessageBoxCatcher::Boxes();
            outcome.openAfterBox = !dialog.IsEnded() && ::IsWindow(hwnd);
            outcome.textAfterBox = WindowText(Box(hwnd));
            catcher.reset();
            return true;
        },
    };
    if (repair) {
        steps.push_back(repair);
        steps.push_back(Post(IDOK));
    } else {
        steps.push_back(Post(IDCANCEL));
    }
    outcome.result = ModalScript::Run(dialog, steps);
    return outcome;
}

TEST_F(ConfigureDialog, AReadOnlyListIsReportedAndTheDialogKeepsTextAndTable) {
    ASSERT_TRUE(WriteBytes(m_list, "com:  whois.loaded.test\r\n"));
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.loaded.test");
    const std::string onDisk = "com:  whois.on-disk.test\r\n";
    ASSERT_TRUE(WriteBytes(m_list, onDisk));
    ASSERT_TRUE(::SetFileAttributesA(m_list.c_str(), FILE_ATTRIBUTE_READONLY));

    const std::string edited = "com:  whois.edited.test\r\n";
    FailedSave outcome = OkOnAnUnwritableList(edited);
    EXPECT_EQ(outcome.result, IDCANCEL);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_NE(outcome.boxes[0].text.find(m_list), std::string::npos) << outcome.boxes[0].text;
    EXPECT_NE(outcome.boxes[0].text.find("(error "), std::string::npos) << outcome.boxes[0].text;
    EXPECT_EQ(outcome.boxes[0].caption, g_testApp.GetAppName());
    EXPECT_TRUE(outcome.openAfterBox);
    EXPECT_EQ(outcome.textAfterBox, edited);
    // Nothing written, no temporary file left, the cached table kept.
    EXPECT_EQ(ReadBytes(m_list), onDisk);
    EXPECT_EQ(FolderEntries(m_folder), std::vector<std::string>{"whoislist.txt"});
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.loaded.test");
}

TEST_F(ConfigureDialog, AfterAFailedSaveTheUserCanRepairTheCauseAndSaveAgain) {
    ASSERT_TRUE(WriteBytes(m_list, "com:  whois.loaded.test\r\n"));
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.loaded.test");
    ASSERT_TRUE(::SetFileAttributesA(m_list.c_str(), FILE_ATTRIBUTE_READONLY));

    const std::string edited = "com:  whois.edited.test\r\n";
    const std::string list = m_list;
    FailedSave outcome = OkOnAnUnwritableList(edited, [list](HWND) {
        ::SetFileAttributesA(list.c_str(), FILE_ATTRIBUTE_NORMAL);
        return true;
    });
    EXPECT_EQ(outcome.result, IDOK);
    EXPECT_EQ(outcome.boxes.size(), 1u);
    EXPECT_EQ(ReadBytes(m_list), edited);
    EXPECT_EQ(FindWhoisServer("example.com"), "whois.edited.test");
}

TEST_F(ConfigureDialog, AFolderInThePlaceOfTheListIsReportedAndLeftAlone) {
    ASSERT_TRUE(::CreateDirectoryA(m_list.c_str(), nullptr));
    const std::string edited = "com:  whois.edited.test\r\n";
    FailedSave outcome = OkOnAnUnwritableList(edited);
    EXPECT_EQ(outcome.result, IDCANCEL);
    ASSERT_EQ(outcome.boxes.size(), 1u);
    EXPECT_NE(outcome.boxes[0].text.find(m_list), std::string::npos) << outcome.boxes[0].text;
    EXPECT_TRUE(outcome.openAfterBox);
    EXPECT_EQ(outcome.textAfterBox, edited);
    EXPECT_EQ(::GetFileAttributesA(m_list.c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(FolderEntries(m_folder), std::vector<std::string>{"whoislist.txt"});
}

// The box's text as the wide call reads it.
Step ReadBoxWide(std::wstring* out) {
    return [out](HWND dialog) {
        const int length = ::GetWindowTextLengthW(Box(dialog));
        out->assign(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
        out->resize(static_cast<std::size_t>(
            std::max(0, ::GetWindowTextW(Box(dialog), out->data(), length + 1))));
        return true;
    };
}

// Lists that are not text of the system code page open, show, and come back
// byte for byte from an OK with nothing changed (and Cancel writes nothing).
TEST_F(ConfigureDialog, ListsOfAnyBytesOpenAndOkWritesThemBackUnchanged) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    std::string garbage; // stray lead and continuation bytes, no NUL
    for (unsigned x = 12345; garbage.size() < 16 * 1024;) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>((x >> 16) % 255 + 1);
    }
    struct Row {
        std::string bytes;
        std::wstring shown; // the start of the box's text
    } rows[] = {
        {"de: whois.d\xc3\xbc.test\r\n", L"de: whois.d\u00fc.test\r\n"}, // UTF-8
        {everyByte + "\r\nuk: whois.nic.uk\r\n", L"\x01\x02\x03"},
        {garbage + "\nuk:   whois.nic.uk\r\n", L""},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(WriteBytes(m_list, row.bytes));
        std::wstring shown;
        EXPECT_EQ(RunDialog({ReadBoxWide(&shown), Post(IDCANCEL)}), IDCANCEL);
        EXPECT_EQ(shown.substr(0, row.shown.size()), row.shown);
        EXPECT_GE(shown.size(), row.bytes.size() / 4);
        EXPECT_EQ(ReadBytes(m_list), row.bytes);
        ASSERT_TRUE(WriteBytes(m_list, "x"));
        ASSERT_TRUE(WriteBytes(m_list, row.bytes));
        EXPECT_EQ(RunDialog({Settle(), Post(IDOK)}), IDOK);
        EXPECT_EQ(ReadBytes(m_list), row.bytes) << "not written back as it was";
    }
}

// A list shown as Windows-1252 and then given a character that code page has
// no byte for is saved as UTF-8, not with a substitute character.
TEST_F(ConfigureDialog, TextTypedIntoAListOfOtherBytesIsSavedAsUtf8) {
    ASSERT_TRUE(WriteBytes(m_list, "\xff\xfe garbage\r\n"));
    std::wstring typed = L"ru: whois.\u0416.test\r\n";
    EXPECT_EQ(
        RunDialog({[&](HWND dialog) { return ::SetWindowTextW(Box(dialog), typed.c_str()) != 0; },
                   Post(IDOK)}),
        IDOK);
    EXPECT_EQ(ReadBytes(m_list), "ru: whois.\xd0\x96.test\r\n");
}

TEST(WriteServerListFile, ReplacesTheFileWithExactlyTheBytesGiven) {
    char temp[MAX_PATH] = {};
    ASSERT_GT(::GetTempPathA(MAX_PATH, temp), 0u);
    const std::string folder =
        std::string(temp) + "ostrabel-write-" + std::to_string(::GetCurrentProcessId()) + "\\";
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    const std::string path = folder + "whoislist.txt";
    std::string reason;

    // Longer first, then shorter: nothing of the old content may remain.
    std::string big(300000, 'x');
    for (std::size_t i = 0; i < big.size(); i += 61)
        big[i] = '\n';
    for (const std::string& text : {big, std::string("a\r\nb"), std::string(), std::string("\n")}) {
        EXPECT_TRUE(WriteServerListFile(path, text, reason)) << reason;
        EXPECT_EQ(ReadBytes(path), text);
        EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"whoislist.txt"});
    }

    // A folder that does not exist: the reason is the system's.
    EXPECT_FALSE(WriteServerListFile(folder + "missing\\whoislist.txt", "x", reason));
    EXPECT_NE(reason.find("(error "), std::string::npos) << reason;

    ::DeleteFileA(path.c_str());
    ::RemoveDirectoryA(folder.c_str());
}

} // namespace
