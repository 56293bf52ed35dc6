#include "platform/file.h"

#include <windows.h>

#include <algorithm>

namespace platform {

namespace {

// The system's text for an error code, without the trailing line end.
std::string SystemErrorText(DWORD error) {
    char* buffer = nullptr;
    DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    std::string text;
    if (length > 0 && buffer != nullptr)
        text.assign(buffer, length);
    if (buffer != nullptr)
        ::LocalFree(buffer);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    std::string code = "error " + std::to_string(error);
    return text.empty() ? code : text + " (" + code + ")";
}

// Writes all of text to an open handle, then flushes and closes it. Returns
// 0, or the first error met (the handle is closed either way).
DWORD WriteAllAndClose(HANDLE file, const std::string& text) {
    DWORD error = 0;
    std::size_t done = 0;
    while (error == 0 && done < text.size()) {
        const std::size_t chunk = std::min<std::size_t>(text.size() - done, 1u << 20);
        DWORD written = 0;
        if (!::WriteFile(file, text.data() + done, static_cast<DWORD>(chunk), &written, nullptr))
            error = ::GetLastError();
        else if (written == 0)
            error = ERROR_WRITE_FAULT; // no progress: give up rather than spin
        done += written;
    }
    if (error == 0 && !::SetEndOfFile(file))
        error = ::GetLastError();
    if (error == 0 && !::FlushFileBuffers(file))
        error = ::GetLastError();
    if (!::CloseHandle(file) && error == 0)
        error = ::GetLastError();
    return error;
}

std::wstring DirectoryOf(const std::filesystem::path& path) {
    const std::filesystem::path parent = path.parent_path();
    return parent.empty() ? std::wstring(L".") : parent.wstring();
}

} // namespace

bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& reason) {
    const int size =
        ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, path.data(), static_cast<int>(path.size()), wide.data(), size);
    return ReplaceFileContents(std::filesystem::path(wide), text, reason);
}

bool CreateExclusiveFile(const std::filesystem::path& path) {
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    ::CloseHandle(handle);
    return true;
}

bool ReplaceFileContents(const std::filesystem::path& file, const std::string& text,
                         std::string& reason) {
    const std::wstring path = file.wstring();
    // A read-only list stays as it is. Windows refuses to replace it anyway;
    // saying so here keeps every system alike (Wine would replace it).
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        reason = SystemErrorText(ERROR_ACCESS_DENIED);
        return false;
    }

    // GetTempFileName with no number of our own makes the file, under a
    // name that did not exist.
    wchar_t temporary[MAX_PATH] = {};
    if (::GetTempFileNameW(DirectoryOf(file).c_str(), L"wls", 0, temporary) != 0) {
        HANDLE handle = ::CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error =
            handle == INVALID_HANDLE_VALUE ? ::GetLastError() : WriteAllAndClose(handle, text);
        if (error == 0 && !::MoveFileExW(temporary, path.c_str(),
                                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            error = ::GetLastError();
        if (error != 0) {
            ::DeleteFileW(temporary);
            reason = SystemErrorText(error);
            return false;
        }
        return true;
    }

    // No temporary file can be made in the folder (it may still let us
    // write the file itself): write in place, checking every step.
    HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error =
        handle == INVALID_HANDLE_VALUE ? ::GetLastError() : WriteAllAndClose(handle, text);
    if (error != 0) {
        reason = SystemErrorText(error);
        return false;
    }
    return true;
}

} // namespace platform
