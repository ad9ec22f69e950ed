// glfx: the effect author's command line.
#include "Describe.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <stdexcept>

namespace {

int runInfo(const std::string& path) {
    const std::string code = glfx::readCodeFile(path);
    if (code.empty()) {
        std::cerr << "glfx info: cannot read effect file " << path << "\n";
        return 1;
    }
    glfx::EffectDescription d;
    try {
        glfx::parseDescription(d, code);
    } catch (const std::exception& e) {
        std::cerr << path << ": " << e.what() << "\n";
        return 1;
    }
    glfx::cli::describe(std::cout, d);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"glfx: GLSL image effects for the compositing host"};
    app.require_subcommand(1);

    std::string infoPath;
    CLI::App* info = app.add_subcommand("info", "Show an effect file's description");
    info->add_option("file", infoPath, "effect file (.glfx)")->required();

    CLI11_PARSE(app, argc, argv);
    if (*info) return runInfo(infoPath);
    return 1;
}
