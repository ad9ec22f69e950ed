// Support for the tests of the glfx command: the real binary run in a child process with its exit
// code and both output streams, and private folders.
#pragma once

#include "cli/ImageIO.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
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
    TempFolder() {
        if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // File names in the folder, sorted; hidden ones included.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(path_))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    std::string path_ = ::testing::TempDir() + "glfx_cli_XXXXXX";
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

std::string sourcePath(const std::string& relative);

// A GL context can be made here; `reason` says why not.
bool glAvailable(std::string& reason);

} // namespace glfx::test
