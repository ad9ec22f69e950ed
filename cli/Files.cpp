#include "Files.h"

#include "FileSystem.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

// Where the build put the libraries, for a glfx run from the build tree.
#ifndef GLFX_BUILT_TEMPLATE
#define GLFX_BUILT_TEMPLATE ""
#endif
#ifndef GLFX_BUILT_PLUGIN
#define GLFX_BUILT_PLUGIN ""
#endif

namespace glfx::cli {
namespace {

std::string reason() {
    return std::strerror(errno);
}

std::string programFolder() {
    const std::string program = programPath();
    return program.empty() ? std::string() : folderOf(program);
}

} // namespace

std::string printableText(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

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
    const std::string name = fileNameOf(path);
    std::string temporary, why;
    FILE* file = createUniqueFile(path.substr(0, path.size() - name.size()) + "." + name + ".",
                                  ".partial", temporary, why);
    if (file == nullptr) throw CommandError("cannot write into folder " + folder + ": " + why);
    bool ok =
        std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size() && std::fflush(file) == 0;
    if (!ok) why = reason();
    if (std::fclose(file) != 0 && ok) {
        ok = false;
        why = reason();
    }
    if (ok && !setExecutable(temporary, executable)) {
        ok = false;
        why = reason();
    }
    if (!ok) {
        std::remove(temporary.c_str());
        throw CommandError("cannot write " + path + ": " + why);
    }
    if (!replaceFile(temporary, path, why)) {
        std::remove(temporary.c_str());
        throw CommandError("cannot move the new file into place at " + path + ": " + why);
    }
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void refuseOutputOverInput(const std::string& input, const std::string& output,
                           const std::string& what) {
    std::error_code missing;
    if (!std::filesystem::equivalent(input, output, missing)) return;
    throw CommandError("the output " + output + " is the " + what + " " + input +
                       " itself, which writing would replace; name another output file");
}

std::string findBuiltLibrary(const std::string& fileName, const std::string& builtPath) {
    const std::string here = programFolder();
    if (!here.empty()) {
        for (const std::string& candidate : {here + "/" + fileName, here + "/../plugin/" + fileName,
                                             here + "/../lib/glfx/" + fileName})
            if (isRegularFile(candidate)) return absolutePath(candidate);
    }
    if (!builtPath.empty() && isRegularFile(builtPath)) return builtPath;
    return {};
}

std::string templateLibrary(const std::string& given) {
    if (!given.empty()) return given;
    const std::string name = std::string("glfx_template") + kLibrarySuffix;
    const std::string found = findBuiltLibrary(name, GLFX_BUILT_TEMPLATE);
    if (found.empty())
        throw CommandError("cannot find the template library " + name +
                           " next to glfx or in the build; give it with --template");
    return found;
}

std::string builtInPluginLibrary() {
    const std::string name = std::string("Quadra_remapping_fx") + kLibrarySuffix;
    const std::string found = findBuiltLibrary(name, GLFX_BUILT_PLUGIN);
    if (found.empty())
        throw CommandError("cannot find the built-in effect's library " + name +
                           " next to glfx or in the build; give an effect file or --plugin");
    return found;
}

TemporaryFolder::TemporaryFolder() {
    std::string why;
    path_ = makePrivateFolder(why);
    if (path_.empty())
        throw CommandError("cannot make a temporary folder in " + temporaryFolderBase() + ": " +
                           why +
#ifdef _WIN32
                           " (set TMP to a writable folder)");
#else
                           " (set TMPDIR to a writable folder)");
#endif
    trackLeftover(path_);
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    untrackLeftover(path_);
}

} // namespace glfx::cli
