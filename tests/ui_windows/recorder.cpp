// A harmless stand-in for a web browser in the tests: it appends its own
// command line, as it received it, and a line feed to the file named by the
// environment variable OSTRABEL_RECORD_FILE, then ends.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("OSTRABEL_RECORD_FILE", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 1;

    // Several recorders may run at once: retry while another holds the file.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
        file = CreateFileA(path, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
        if (file == INVALID_HANDLE_VALUE)
            Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE)
        return 2;

    // One write, so a reader never sees half a line.
    const char* commandLine = GetCommandLineA();
    int size = lstrlenA(commandLine);
    HANDLE heap = GetProcessHeap();
    char* line = static_cast<char*>(HeapAlloc(heap, 0, size + 1));
    if (line != nullptr) {
        CopyMemory(line, commandLine, size);
        line[size] = '\n';
        DWORD written = 0;
        WriteFile(file, line, size + 1, &written, nullptr);
        HeapFree(heap, 0, line);
    }
    CloseHandle(file);
    return 0;
}
