// Files for the command: whole-file reads, writes that never leave a partial file, the libraries
// the build made, and private temporary folders.
//
// Error policy: failures throw CommandError with one line naming the file and what to do.
#pragma once

#include <stdexcept>
#include <string>

namespace glfx::cli {

// A failure the user can act on; main prints what() as one line and exits with 1.
class CommandError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws CommandError ("cannot read WHAT PATH: reason") when the file cannot be read.
std::string readWholeFile(const std::string& path, const std::string& what);

// `text` with every control byte shown as '?': a library's slots may hold any bytes, and they
// must not reach the terminal as they are.
std::string printableText(const std::string& text);

// Writes to a hidden temporary name in the destination's folder, then renames it into place, so
// a failure leaves neither a partial file nor a changed destination. Throws CommandError when the
// folder is missing or not writable.
void writeFileAtomically(const std::string& path, const std::string& bytes, bool executable);

// Throws CommandError when the folder `path` would be written into does not exist.
void requireOutputFolder(const std::string& path);

bool isRegularFile(const std::string& path);

// Throws CommandError when `output` is the file `input` (the same path, or another name of it
// through a link), which writing would destroy before it was ever read again.
void refuseOutputOverInput(const std::string& input, const std::string& output,
                           const std::string& what);

// A library the build made: next to the running program, then in the build tree's plugin/
// folder beside it, then at the path the build recorded. Empty when none exists.
std::string findBuiltLibrary(const std::string& fileName, const std::string& builtPath);

// The template library: `given` when not empty, else the one the build made. Throws
// CommandError when there is none.
std::string templateLibrary(const std::string& given);

// The built-in effect's library the build made. Throws CommandError when there is none.
std::string builtInPluginLibrary();

// A private folder (mode 0700) under $TMPDIR or /tmp (Windows: the user's temporary folder),
// removed with its contents on destruction.
class TemporaryFolder {
public:
    // Throws CommandError when the folder cannot be made.
    TemporaryFolder();
    ~TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

} // namespace glfx::cli
