// The subcommands of glfx. Each adds itself to the application with its options; once the
// command line has parsed, `run` holds the chosen command's action.
//
// Exit codes: 0 success, 1 the command failed (or `check` found errors), 2 a bad command line.
// An action throws CommandError (one line, printed by main) for a failure the user can act on.
#pragma once

#include <CLI/CLI.hpp>

#include <functional>

namespace glfx::cli {

using CommandRun = std::function<int()>;

CLI::App* addInfoCommand(CLI::App& app, CommandRun& run);
CLI::App* addCheckCommand(CLI::App& app, CommandRun& run);
CLI::App* addPackCommand(CLI::App& app, CommandRun& run);
CLI::App* addRenderCommand(CLI::App& app, CommandRun& run);
CLI::App* addImportCommand(CLI::App& app, CommandRun& run);

} // namespace glfx::cli
