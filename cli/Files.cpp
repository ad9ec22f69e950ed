#include "Files.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// Where the build put the libraries, for a glfx run from the build tree.
#ifndef GLFX_BUILT_TEMPLATE
#define GLFX_BUILT_TEMPLATE ""
#endif
#ifndef GLFX_BUILT_PLUGIN
#define GLFX_BUILT_PLUGIN ""
#endif

namespace glfx::cli {
namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string reason() {
    return std::strerror(errno);
}

void removeTree(const std::string& path) {
    if (DIR* dir = ::opendir(path.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                removeTree(child);
            else
                ::unlink(child.c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}

std::string programFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return {};
    return folderOf(std::string(buffer, size_t(n)));
}

} // namespace

std::string readWholeFile(const std::string& path, const std::string& what) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        throw CommandError("cannot read " + what + " " + path + ": " + reason());
    if (S_ISDIR(st.st_mode))
        throw CommandError("cannot read " + what + " " + path + ": it is a folder");
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) throw CommandError("cannot read " + what + " " + path + ": " + reason());
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) throw CommandError("cannot read " + what + " " + path + ": read error");
    return bytes;
}

void requireOutputFolder(const std::string& path) {
    const std::string folder = folderOf(path);
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw CommandError("cannot write " + path + ": folder " + folder +
                           " does not exist (create it first)");
}

void writeFileAtomically(const std::string& path, const std::string& bytes, bool executable) {
    requireOutputFolder(path);
    const std::string folder = folderOf(path);
    const size_t slash = path.rfind('/');
    std::string temporary =
        folder + "/." + (slash == std::string::npos ? path : path.substr(slash + 1)) + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) throw CommandError("cannot write into folder " + folder + ": " + reason());
    size_t written = 0;
    bool ok = true;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) written += size_t(n);
    }
    const std::string why = ok ? std::string() : reason();
    ok = ok && ::fchmod(fd, executable ? 0755 : 0644) == 0;
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        ::unlink(temporary.c_str());
        throw CommandError("cannot write " + path + ": " + (why.empty() ? reason() : why));
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string message =
            "cannot move the new file into place at " + path + ": " + reason();
        ::unlink(temporary.c_str());
        throw CommandError(message);
    }
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string findBuiltLibrary(const std::string& fileName, const std::string& builtPath) {
    const std::string here = programFolder();
    if (!here.empty()) {
        for (const std::string& candidate : {here + "/" + fileName, here + "/../plugin/" + fileName,
                                             here + "/../lib/glfx/" + fileName})
            if (isRegularFile(candidate)) {
                char resolved[PATH_MAX];
                return ::realpath(candidate.c_str(), resolved) != nullptr ? resolved : candidate;
            }
    }
    if (!builtPath.empty() && isRegularFile(builtPath)) return builtPath;
    return {};
}

std::string templateLibrary(const std::string& given) {
    if (!given.empty()) return given;
    const std::string found = findBuiltLibrary("glfx_template.so", GLFX_BUILT_TEMPLATE);
    if (found.empty())
        throw CommandError("cannot find the template library glfx_template.so next to glfx or "
                           "in the build; give it with --template");
    return found;
}

std::string builtInPluginLibrary() {
    const std::string found = findBuiltLibrary("Quadra_remapping_fx.so", GLFX_BUILT_PLUGIN);
    if (found.empty())
        throw CommandError("cannot find the built-in effect's library Quadra_remapping_fx.so "
                           "next to glfx or in the build; give an effect file or --plugin");
    return found;
}

TemporaryFolder::TemporaryFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/glfx-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        throw CommandError("cannot make a temporary folder in " + folderOf(pattern) + ": " +
                           reason() + " (set TMPDIR to a writable folder)");
    path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    removeTree(path_);
}

} // namespace glfx::cli
