// The few file and process calls of the command that differ between Linux and Windows.
//
// Error policy: nothing here throws; a failure comes back as a null, empty or false result, with
// the system's reason in `why` where the caller has a use for it.
#pragma once

#include <cstdio>
#include <string>

namespace glfx::cli {

// The file name suffix of a plug-in library on this system.
#ifdef _WIN32
constexpr char kLibrarySuffix[] = ".aex";
#else
constexpr char kLibrarySuffix[] = ".so";
#endif

// Where the last folder separator of `path` stands ('/', and '\\' on Windows too); npos if none.
size_t lastSeparator(const std::string& path);

// The folder part of a path ("." when it has none) and the part after it.
std::string folderOf(const std::string& path);
std::string fileNameOf(const std::string& path);

// A new file named `prefix` + a number no file there has yet + `suffix`, opened for binary
// writing and not inherited by child processes; its name goes to `created`. Null when no file
// can be made there.
FILE* createUniqueFile(const std::string& prefix, const std::string& suffix, std::string& created,
                       std::string& why);

// Moves `from` over `to`, replacing a file already there in one step. False on failure.
bool replaceFile(const std::string& from, const std::string& to, std::string& why);

// Makes a finished file executable for whom the process's file mode mask lets read, write and
// execute it (0777 less the mask); a plain file keeps the mode it was created with (0666 less the
// mask). True where the system has no such bits.
bool setExecutable(const std::string& path, bool executable);

// A new folder only this user can enter, under $TMPDIR or /tmp (Windows: the user's temporary
// folder). Empty on failure.
std::string makePrivateFolder(std::string& why);

// The folder `makePrivateFolder` makes its folders in, for messages.
std::string temporaryFolderBase();

// The full path of `path` (links resolved where the system has them); `path` itself when that
// fails.
std::string absolutePath(const std::string& path);

// The running program's own file; empty when unknown.
std::string programPath();

bool isTerminal(FILE* stream);

// Files and folders to remove should the process have to end at once (FrameWatchdog): a file
// being written under a temporary name, a temporary folder. Each is tracked while it exists
// unfinished and untracked once it is done with; any thread may call these.
void trackLeftover(const std::string& path);
void untrackLeftover(const std::string& path);
// Removes every tracked one, folders with their contents, ignoring failures.
void removeLeftovers();

} // namespace glfx::cli
