// glfx: the effect author's command line. One guarded entry: every failure becomes one line on
// stderr and an exit code (Commands.h).
#include "Commands.h"
#include "Files.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <new>

namespace {

// The subcommand the failed command line was heading for, for the message's prefix.
std::string commandName(const CLI::App& app) {
    std::string name = "glfx";
    for (const CLI::App* sub : app.get_subcommands())
        name += " " + sub->get_name();
    return name;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"glfx: GLSL image effects for the compositing host"};
    app.require_subcommand(1);
    glfx::cli::CommandRun run;
    glfx::cli::addInfoCommand(app, run);
    glfx::cli::addCheckCommand(app, run);
    glfx::cli::addPackCommand(app, run);
    glfx::cli::addRenderCommand(app, run);
    glfx::cli::addImportCommand(app, run);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (app.get_subcommands().empty() && argc > 1 && argv[1][0] != '-') {
            std::cerr
                << "glfx: unknown command \"" << argv[1]
                << "\" (the commands are render, check, info, pack and import; see glfx --help)\n";
            return 2;
        }
        const std::string name = commandName(app);
        std::cerr << name << ": " << e.what() << " (see " << name << " --help)\n";
        return 2;
    }
    try {
        return run ? run() : 1;
    } catch (const glfx::cli::CommandError& e) {
        std::cerr << commandName(app) << ": " << e.what() << "\n";
    } catch (const std::bad_alloc&) {
        std::cerr << commandName(app) << ": out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << commandName(app) << ": " << e.what() << "\n";
    }
    return 1;
}
