#include "FileSystem.h"

#include "platform/SystemError.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/stat.h>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <direct.h>
#include <io.h>
#include <process.h>
#else
#include <climits>
#include <unistd.h>
#endif

namespace glfx::cli {
namespace {

#ifdef _WIN32
int processId() {
    return _getpid();
}
#else
int processId() {
    return int(::getpid());
}
#endif

struct Leftovers {
    std::mutex mutex;
    std::vector<std::string> paths;
};

Leftovers& leftovers() {
    static Leftovers tracked;
    return tracked;
}

// A name no other process of this machine picks, and no earlier call of this one.
std::string uniquePart() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(processId()) + "-" + std::to_string(counter++);
}

} // namespace

size_t lastSeparator(const std::string& path) {
#ifdef _WIN32
    return path.find_last_of("/\\");
#else
    return path.rfind('/');
#endif
}

std::string folderOf(const std::string& path) {
    const size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
#ifdef _WIN32
    // "C:\picture.png" is in "C:\"; "C:" alone names the drive's current folder.
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);
#endif
    return path.substr(0, slash);
}

std::string fileNameOf(const std::string& path) {
    const size_t slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

FILE* createUniqueFile(const std::string& prefix, const std::string& suffix, std::string& created,
                       std::string& why) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        created = prefix + uniquePart() + suffix;
#ifdef _WIN32
        const int fd =
            ::_open(created.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
#else
        const int fd = ::open(created.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
        if (fd >= 0) {
#ifdef _WIN32
            FILE* file = ::_fdopen(fd, "wb");
#else
            FILE* file = ::fdopen(fd, "wb");
#endif
            if (file != nullptr) return file;
            why = std::strerror(errno);
#ifdef _WIN32
            ::_close(fd);
#else
            ::close(fd);
#endif
            std::remove(created.c_str());
            return nullptr;
        }
        if (errno != EEXIST) {
            why = std::strerror(errno);
            return nullptr;
        }
    }
    why = "no free temporary name";
    return nullptr;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& why) {
#ifdef _WIN32
    // rename() refuses to replace a file on Windows.
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    why = platform::windowsErrorText(GetLastError());
    return false;
#else
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    why = std::strerror(errno);
    return false;
#endif
}

#ifndef _WIN32
namespace {

// The process's file mode mask. Linux reports it; elsewhere it is read by setting it, which
// another thread creating a file at that moment would notice, so that is done once only.
mode_t fileModeMask() {
    static const mode_t mask = [] {
        if (FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            unsigned value = 0;
            bool found = false;
            while (!found && std::fgets(line, sizeof line, status) != nullptr)
                found = std::sscanf(line, "Umask: %o", &value) == 1;
            std::fclose(status);
            if (found) return static_cast<mode_t>(value & 0777);
        }
        const mode_t old = ::umask(022);
        ::umask(old);
        return old;
    }();
    return mask;
}

} // namespace
#endif

bool setExecutable(const std::string& path, bool executable) {
#ifdef _WIN32
    (void)path;
    (void)executable;
    return true;
#else
    // createUniqueFile's mode already went through the mask.
    if (!executable) return true;
    return ::chmod(path.c_str(), 0777 & ~fileModeMask()) == 0;
#endif
}

std::string temporaryFolderBase() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    std::string base = length > 0 && length <= MAX_PATH ? std::string(buffer, length) : ".";
    while (base.size() > 3 && (base.back() == '\\' || base.back() == '/'))
        base.pop_back();
    return base;
#else
    const char* base = std::getenv("TMPDIR");
    return base != nullptr && *base != 0 ? base : "/tmp";
#endif
}

std::string makePrivateFolder(std::string& why) {
#ifdef _WIN32
    // The user's own temporary folder is private to the user already.
    const std::string base = temporaryFolderBase();
    const char* separator = base.back() == '\\' ? "" : "\\";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = base + separator + "glfx-" + uniquePart();
        if (::_mkdir(path.c_str()) == 0) return path;
        if (errno != EEXIST) break;
    }
    why = std::strerror(errno);
    return {};
#else
    std::string pattern = temporaryFolderBase() + "/glfx-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) return pattern;
    why = std::strerror(errno);
    return {};
#endif
}

std::string absolutePath(const std::string& path) {
#ifdef _WIN32
    // Also turns '/' into '\\', which LoadLibrary needs.
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
    return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : path;
#else
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) != nullptr ? resolved : path;
#endif
}

std::string programPath() {
#ifdef _WIN32
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    return length > 0 && length <= MAX_PATH ? std::string(buffer, length) : std::string();
#else
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
#endif
}

bool isTerminal(FILE* stream) {
#ifdef _WIN32
    return ::_isatty(::_fileno(stream)) != 0;
#else
    return ::isatty(::fileno(stream)) != 0;
#endif
}

void trackLeftover(const std::string& path) {
    Leftovers& l = leftovers();
    std::lock_guard<std::mutex> lock(l.mutex);
    l.paths.push_back(path);
}

void untrackLeftover(const std::string& path) {
    Leftovers& l = leftovers();
    std::lock_guard<std::mutex> lock(l.mutex);
    const auto found = std::find(l.paths.rbegin(), l.paths.rend(), path);
    if (found != l.paths.rend()) l.paths.erase(std::next(found).base());
}

void removeLeftovers() {
    Leftovers& l = leftovers();
    std::lock_guard<std::mutex> lock(l.mutex);
    for (const std::string& path : l.paths) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    l.paths.clear();
}

} // namespace glfx::cli
