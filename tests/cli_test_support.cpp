#include "cli_test_support.h"

#include "gl/GlContext.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace glfx::test {
namespace fs = std::filesystem;

std::vector<std::string> RunResult::errLines() const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

namespace {

RunResult run(const std::string& program, const std::vector<std::string>& args,
              const std::string& cwd, const std::vector<std::string>& setEnv) {
    RunResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe(outPipe) != 0) return result;
    if (::pipe(errPipe) != 0) {
        ::close(outPipe[0]);
        ::close(outPipe[1]);
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addclose(&actions, outPipe[0]);
    posix_spawn_file_actions_addclose(&actions, errPipe[0]);
    if (!cwd.empty()) posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());

    std::vector<std::string> argStore = {program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argStore)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const bool replaced = std::any_of(setEnv.begin(), setEnv.end(), [&](const std::string& s) {
            return entry.compare(0, s.find('=') + 1, s, 0, s.find('=') + 1) == 0;
        });
        if (!replaced) envStore.push_back(entry);
    }
    envStore.insert(envStore.end(), setEnv.begin(), setEnv.end());
    std::vector<char*> envp;
    for (std::string& e : envStore)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    if (spawned == 0) {
        // Both pipes are drained together, so a child filling one cannot stall on it.
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&result.out, &result.err};
        int open = 2;
        while (open > 0) {
            if (::poll(fds, 2, -1) < 0) break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || fds[i].revents == 0) continue;
                char buffer[4096];
                const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
                if (n > 0) {
                    sinks[i]->append(buffer, size_t(n));
                } else {
                    fds[i].fd = -1;
                    --open;
                }
            }
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    } else {
        result.err = "cannot start " + program + ": " + std::strerror(spawned);
    }
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    return result;
}

} // namespace

RunResult runGlfx(const std::vector<std::string>& args, const std::string& cwd,
                  const std::string& configHome) {
    std::vector<std::string> env;
    if (!configHome.empty()) env.push_back("XDG_CONFIG_HOME=" + configHome);
    return run(GLFX_BINARY, args, cwd, env);
}

RunResult runShell(const std::string& command, const std::string& cwd,
                   const std::string& configHome) {
    const std::string binary = GLFX_BINARY;
    const char* path = std::getenv("PATH");
    std::vector<std::string> env = {"PATH=" + binary.substr(0, binary.rfind('/')) + ":" +
                                    (path != nullptr ? path : "/usr/bin:/bin")};
    if (!configHome.empty()) env.push_back("XDG_CONFIG_HOME=" + configHome);
    return run("/bin/sh", {"-c", command}, cwd, env);
}

TempFolder::TempFolder() {
    std::string pattern = ::testing::TempDir() + "glfx_cli_XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string sourcePath(const std::string& relative) {
    return std::string(GLFX_SOURCE_DIR) + "/" + relative;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool glAvailable(std::string& reason) {
    GlContext context;
    context.create();
    if (context.isValid()) {
        context.close();
        return true;
    }
    reason = context.creationError().empty() ? context.describe() : context.creationError();
    return false;
}

::testing::AssertionResult imagesMatch(const cli::Image& actual, const cli::Image& expected,
                                       Tolerance tolerance, const std::string& folder,
                                       const std::string& name) {
    if (actual.width != expected.width || actual.height != expected.height)
        return ::testing::AssertionFailure()
               << name << ": size " << actual.width << "x" << actual.height << ", expected "
               << expected.width << "x" << expected.height;
    cli::Image diff = cli::makeImage(actual.width, actual.height, 8);
    size_t misses = 0;
    float worst = 0.0f;
    int worstX = 0;
    int worstY = 0;
    for (int32_t y = 0; y < actual.height; ++y)
        for (int32_t x = 0; x < actual.width; ++x) {
            const float* a = actual.pixel(x, y);
            const float* e = expected.pixel(x, y);
            float most = 0.0f;
            for (int c = 0; c < 4; ++c) {
                const float d = std::fabs(a[c] - e[c]);
                most = std::max(most, std::isnan(d) ? 1.0f : d);
                diff.pixel(x, y)[c] = c == 3 ? 1.0f : std::min(1.0f, std::fabs(a[c] - e[c]) * 8.0f);
            }
            if (most > tolerance.perPixel) ++misses;
            if (most > worst) {
                worst = most;
                worstX = x;
                worstY = y;
            }
        }
    const double fraction =
        double(misses) / double(std::max<int64_t>(1, int64_t(actual.width) * actual.height));
    if (fraction <= tolerance.allowedFraction && worst <= tolerance.hardMax)
        return ::testing::AssertionSuccess();
    cli::writeImage(folder + "/" + name + ".actual.png", actual, 8);
    cli::writeImage(folder + "/" + name + ".diff.png", diff, 8);
    const float* a = actual.pixel(worstX, worstY);
    const float* e = expected.pixel(worstX, worstY);
    return ::testing::AssertionFailure()
           << name << ": " << misses << " pixels (" << fraction * 100.0
           << " %) differ by more than " << tolerance.perPixel << " (allowed "
           << tolerance.allowedFraction * 100.0 << " %); worst at (" << worstX << ", " << worstY
           << ") by " << worst << " (hard maximum " << tolerance.hardMax << "): actual " << a[0]
           << ", " << a[1] << ", " << a[2] << ", " << a[3] << ", expected " << e[0] << ", " << e[1]
           << ", " << e[2] << ", " << e[3] << "; actual and difference images in " << folder;
}

} // namespace glfx::test
