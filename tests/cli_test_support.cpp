#include "cli_test_support.h"

#include "gl/GlContext.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace glfx::test {

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
    // The child's streams go to files, read once it has exited.
    TempFolder streams;
    const std::string outPath = streams / "out", errPath = streams / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
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

    RunResult result;
    pid_t pid = 0;
    const int spawned =
        ::posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.err = "cannot start " + program + ": " + std::strerror(spawned);
        return result;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = readFile(outPath);
    result.err = readFile(errPath);
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

std::string sourcePath(const std::string& relative) {
    return std::string(GLFX_SOURCE_DIR) + "/" + relative;
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

} // namespace glfx::test
