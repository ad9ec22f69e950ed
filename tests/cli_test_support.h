// Support for the tests of the glfx command: the real binary run in a child process with its exit
// code and both output streams, private folders, and images compared with stated tolerances.
#pragma once

#include "cli/ImageIO.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace glfx::test {

struct RunResult {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
    // stderr cut into lines, without their line feeds.
    std::vector<std::string> errLines() const;
};

// Runs the built glfx with `args` in folder `cwd` (the test's own folder when empty), with
// XDG_CONFIG_HOME pointed at `configHome` when given, and waits for it.
RunResult runGlfx(const std::vector<std::string>& args, const std::string& cwd = {},
                  const std::string& configHome = {});

// Runs `command` with /bin/sh in `cwd`, with the built glfx's folder first on PATH and
// XDG_CONFIG_HOME pointed at `configHome` when given: a README line as a user types it.
RunResult runShell(const std::string& command, const std::string& cwd,
                   const std::string& configHome = {});

// A private folder under the test temporary folder, removed with its contents.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // File names in the folder, sorted; hidden ones included.
    std::vector<std::string> entries() const;

private:
    std::string path_;
};

std::string sourcePath(const std::string& relative);
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

// A GL context can be made here; `reason` says why not.
bool glAvailable(std::string& reason);

struct Tolerance {
    float perPixel;         // a channel further off than this makes the pixel a miss
    double allowedFraction; // of the pixels that may miss
    float hardMax;          // no channel may be further off than this
};

// Compares two pictures of the same size. On failure names the worst pixel with both values and
// writes `<name>.actual.png` and `<name>.diff.png` (the difference, amplified) into `folder`.
::testing::AssertionResult imagesMatch(const cli::Image& actual, const cli::Image& expected,
                                       Tolerance tolerance, const std::string& folder,
                                       const std::string& name);

} // namespace glfx::test
