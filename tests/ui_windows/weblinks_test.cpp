// Web links under Wine: the shell first, then the browser registered for
// ".htm" pages. The "browser" is ostrabel_test_recorder, which appends its
// command line to a file, so every test sees exactly what would have been
// started. The registry changes live in the test's private Wine prefix and
// are undone after each test.
#include "ui/weblinks.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kTestClass[] = "OstrabelTest.Page";
const char kTestScheme[] = "ostrabel-test";

std::string RecorderPath() {
    std::string path = OSTRABEL_RECORDER_EXE;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The default value of HKEY_CLASSES_ROOT\subKey, if it has one.
bool ReadDefault(const std::string& subKey, std::string& value) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != 0)
        return false;
    char buffer[1024];
    DWORD size = sizeof buffer - 1;
    DWORD type = 0;
    LONG read =
        RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (read != 0 || type != REG_SZ)
        return false;
    buffer[size] = 0;
    value = buffer;
    return true;
}

bool WriteKeyValue(HKEY root, const std::string& subKey, const char* name,
                   const std::string& value) {
    HKEY key;
    if (RegCreateKeyExA(root, subKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != 0)
        return false;
    LONG set = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                              static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return set == 0;
}

bool WriteDefault(const std::string& subKey, const std::string& value) {
    return WriteKeyValue(HKEY_CLASSES_ROOT, subKey, nullptr, value);
}

void DeleteDefault(const std::string& subKey) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }
}

// Deletes the key and the shell\open\command chain below it.
void DeleteShellTree(const std::string& root) {
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (root + "\\shell\\open\\command").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (root + "\\shell\\open").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (root + "\\shell").c_str());
    RegDeleteKeyA(HKEY_CLASSES_ROOT, root.c_str());
}

// Remembers a default value of HKEY_CLASSES_ROOT and puts it back.
class SavedDefault {
public:
    explicit SavedDefault(std::string subKey) : m_subKey(std::move(subKey)) {
        m_bHad = ReadDefault(m_subKey, m_value);
    }
    ~SavedDefault() {
        if (m_bHad)
            WriteDefault(m_subKey, m_value);
        else
            DeleteDefault(m_subKey);
    }

private:
    std::string m_subKey;
    std::string m_value;
    bool m_bHad = false;
};

class WebLinksTest : public testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        m_recordFile = std::string(temp) + "ostrabel-weblinks-" +
                       std::to_string(GetCurrentProcessId()) + "-" +
                       testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        DeleteFileA(m_recordFile.c_str());
        SetEnvironmentVariableA("OSTRABEL_RECORD_FILE", m_recordFile.c_str());

        // Should anything reach Wine's own browser launcher, it finds no
        // browser to start.
        WriteKeyValue(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers",
                      "ostrabel-no-such-browser");
        WriteKeyValue(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Mailers",
                      "ostrabel-no-such-mailer");
    }
    void TearDown() override {
        DeleteShellTree(kTestClass);
        DeleteFileA(m_recordFile.c_str());
        SetEnvironmentVariableA("OSTRABEL_RECORD_FILE", nullptr);
    }

    // Points ".htm" at the test class whose open command is command.
    void RegisterBrowser(const std::string& command) {
        ASSERT_TRUE(WriteDefault(".htm", kTestClass));
        ASSERT_TRUE(WriteDefault(std::string(kTestClass) + "\\shell\\open\\command", command));
    }

    // The recorded command lines, once there are count of them (or after
    // ten seconds, whatever there is).
    std::vector<std::string> WaitForRecords(std::size_t count, DWORD timeoutMs = 10000) {
        std::vector<std::string> lines;
        for (DWORD waited = 0;; waited += 50) {
            lines = ReadRecords();
            if (lines.size() >= count || waited >= timeoutMs)
                return lines;
            Sleep(50);
        }
    }
    std::vector<std::string> ReadRecords() {
        std::ifstream in(m_recordFile, std::ios::binary);
        std::vector<std::string> lines;
        std::string line;
        while (std::getline(in, line))
            lines.push_back(line);
        return lines;
    }

    SavedDefault m_savedHtm{".htm"};
    std::string m_recordFile;
    const std::string m_recorder = RecorderPath();
};

TEST_F(WebLinksTest, ReadClassesRootDefault) {
    std::string out = "untouched";
    EXPECT_NE(ReadClassesRootDefault("OstrabelTest.NoSuchKey", out), 0);
    EXPECT_EQ(out, "untouched");

    ASSERT_TRUE(WriteDefault(kTestClass, "Ostrabel test page"));
    EXPECT_EQ(ReadClassesRootDefault(kTestClass, out), 0);
    EXPECT_EQ(out, "Ostrabel test page");

    // 259 characters and the terminator fill the 260-byte buffer exactly.
    const std::string longest(259, 'v');
    ASSERT_TRUE(WriteDefault(kTestClass, longest));
    EXPECT_EQ(ReadClassesRootDefault(kTestClass, out), 0);
    EXPECT_EQ(out, longest);

    // A longer value does not fit: reported, out untouched, nothing past
    // the buffer written.
    out = "untouched";
    ASSERT_TRUE(WriteDefault(kTestClass, std::string(300, 'w')));
    EXPECT_NE(ReadClassesRootDefault(kTestClass, out), 0);
    EXPECT_EQ(out, "untouched");
}

TEST_F(WebLinksTest, RegisteredBrowserPlaceholderCases) {
    const std::string address = "http://www.example.test/page?a=1&b=2";

    // Quoted path, blank, quoted placeholder: two blanks before the address.
    RegisterBrowser("\"" + m_recorder + "\" \"%1\"");
    int result = OpenWithRegisteredBrowser(address, SW_SHOW, 2);
    EXPECT_GT(result, 31);
    std::vector<std::string> lines = WaitForRecords(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "\"" + m_recorder + "\"  " + address);

    // Unquoted %1 with arguments after it: the arguments are lost.
    RegisterBrowser(m_recorder + " %1 -new-window --private");
    EXPECT_GT(OpenWithRegisteredBrowser(address, SW_SHOW, 2), 31);
    lines = WaitForRecords(2);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], m_recorder + "  " + address);

    // No placeholder: one blank and the address at the end.
    RegisterBrowser("\"" + m_recorder + "\" -nohome");
    EXPECT_GT(OpenWithRegisteredBrowser(address, SW_SHOW, 2), 31);
    lines = WaitForRecords(3);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2], "\"" + m_recorder + "\" -nohome " + address);
}

TEST_F(WebLinksTest, NoRegisteredBrowserStartsNothing) {
    const std::string address = "http://www.example.test/";

    // ".htm" names a class that does not exist.
    ASSERT_TRUE(WriteDefault(".htm", "OstrabelTest.Missing"));
    EXPECT_EQ(OpenWithRegisteredBrowser(address, SW_SHOW, 31), 31);

    // The class exists but has no open command.
    ASSERT_TRUE(WriteDefault(".htm", kTestClass));
    ASSERT_TRUE(WriteDefault(kTestClass, "A page"));
    EXPECT_EQ(OpenWithRegisteredBrowser(address, SW_SHOW, 2), 2);

    // An empty open command.
    ASSERT_TRUE(WriteDefault(std::string(kTestClass) + "\\shell\\open\\command", ""));
    EXPECT_EQ(OpenWithRegisteredBrowser(address, SW_SHOW, 2), 2);

    // ".htm" without any class.
    DeleteDefault(".htm");
    EXPECT_EQ(OpenWithRegisteredBrowser(address, SW_SHOW, 27), 27);

    Sleep(500);
    EXPECT_TRUE(ReadRecords().empty());
}

TEST_F(WebLinksTest, OpenInBrowserFallsBackWhenTheShellRefuses) {
    // No program is registered for this scheme, so the shell refuses it and
    // the ".htm" browser gets the address.
    const std::string address = "ostrabel-unregistered:page?x=1";
    RegisterBrowser("\"" + m_recorder + "\" via-htm \"%1\"");
    int result = OpenInBrowser(address, SW_SHOW);
    EXPECT_GT(result, 31);
    std::vector<std::string> lines = WaitForRecords(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "\"" + m_recorder + "\" via-htm  " + address);

    // Without a browser the shell's own refusal comes back.
    DeleteDefault(".htm");
    result = OpenInBrowser(address, SW_SHOW);
    EXPECT_LE(static_cast<unsigned>(result), 32u);
    Sleep(500);
    EXPECT_EQ(ReadRecords().size(), 1u);
}

TEST_F(WebLinksTest, OpenInBrowserUsesTheShellFirst) {
    // A scheme with its own open command: the shell starts it, and the
    // ".htm" browser is not asked.
    SavedDefault savedScheme(kTestScheme);
    ASSERT_TRUE(WriteDefault(kTestScheme, "URL:Ostrabel test"));
    ASSERT_TRUE(WriteKeyValue(HKEY_CLASSES_ROOT, kTestScheme, "URL Protocol", ""));
    ASSERT_TRUE(WriteDefault(std::string(kTestScheme) + "\\shell\\open\\command",
                             "\"" + m_recorder + "\" via-shell \"%1\""));
    RegisterBrowser("\"" + m_recorder + "\" via-htm \"%1\"");

    const std::string address = std::string(kTestScheme) + ":page";
    int result = OpenInBrowser(address, SW_SHOW);
    DeleteShellTree(kTestScheme);
    EXPECT_GT(static_cast<unsigned>(result), 32u);
    std::vector<std::string> lines = WaitForRecords(1);
    Sleep(500);
    lines = ReadRecords();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("via-shell"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(address), std::string::npos) << lines[0];
}

TEST_F(WebLinksTest, MoreSoftwarePageOpensTheComposedAddress) {
    const std::string expected =
        "http://www.tarvolk.example/software.php?from=ostrabel&page=more&version=110012703";
    ASSERT_EQ(BuildMoreSoftwareUrl("more"), expected);

    // The shell opens http addresses with the "http" class's command: point
    // it at the recorder for this test.
    SavedDefault savedHttp("http\\shell\\open\\command");
    ASSERT_TRUE(WriteDefault("http\\shell\\open\\command", "\"" + m_recorder + "\" \"%1\""));
    std::string check;
    ASSERT_TRUE(ReadDefault("http\\shell\\open\\command", check));
    ASSERT_EQ(check, "\"" + m_recorder + "\" \"%1\"");
    // Should the shell refuse, the fallback records the address as well.
    RegisterBrowser("\"" + m_recorder + "\" \"%1\"");

    OpenMoreSoftwarePage();
    std::vector<std::string> lines = WaitForRecords(1);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(expected), std::string::npos) << lines[0];
    // The address is not cut or extended: it ends the command line, or is
    // followed only by the closing quote of the placeholder.
    std::string tail = lines[0].substr(lines[0].find(expected) + expected.size());
    EXPECT_TRUE(tail.empty() || tail == "\"") << lines[0];
}

} // namespace
