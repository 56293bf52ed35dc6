#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string ErrorText(int error) {
    return std::string(std::strerror(error)) + " (errno " + std::to_string(error) + ")";
}

// Writes all of text to fd, flushes it to the disk and closes it. Returns 0,
// or the first error met (the descriptor is closed either way).
int WriteAllAndClose(int fd, const std::string& text) {
    int error = 0;
    std::size_t done = 0;
    while (error == 0 && done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno != EINTR)
            error = errno;
        else if (written == 0)
            error = EIO; // no progress: give up rather than spin
        else if (written > 0)
            done += static_cast<std::size_t>(written);
    }
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    return error;
}

std::string DirectoryOf(const std::string& path) {
    const std::size_t last = path.find_last_of('/');
    return last == std::string::npos ? std::string("./") : path.substr(0, last + 1);
}

} // namespace

bool ReplaceFileContents(const std::string& path, const std::string& text, std::string& reason) {
    return ReplaceFileContents(std::filesystem::path(path), text, reason);
}

bool CreateExclusiveFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

bool ReplaceFileContents(const std::filesystem::path& file, const std::string& text,
                         std::string& reason) {
    const std::string& path = file.native();
    // A read-only list stays as it is (rename would replace it regardless).
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
        reason = ErrorText(EACCES);
        return false;
    }

    std::string temporary = DirectoryOf(path) + "wlsXXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd >= 0) {
        int error = WriteAllAndClose(fd, text);
        if (error == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
            error = errno;
        if (error != 0) {
            ::unlink(temporary.c_str());
            reason = ErrorText(error);
            return false;
        }
        return true;
    }

    // No temporary file can be made in the folder (it may still let us write
    // the file itself): write in place, checking every step.
    const int inPlace = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int error = inPlace < 0 ? errno : WriteAllAndClose(inPlace, text);
    if (error != 0) {
        reason = ErrorText(error);
        return false;
    }
    return true;
}

} // namespace platform
