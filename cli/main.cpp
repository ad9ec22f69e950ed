// glfx: the effect author's command line.
#include "Describe.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"
#include "resources/SlotPatcher.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>

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

bool readFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    out = ss.str();
    return !in.bad();
}

// Writes next to the destination and renames, so a failure never leaves a half-written library.
bool writeFileAtomically(const std::string& path, const std::string& bytes, std::string& error) {
    const std::string temporary = path + ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(bytes.data(), std::streamsize(bytes.size())) || !out.flush()) {
            std::remove(temporary.c_str());
            error = "cannot write " + path + " (is its folder there and writable?)";
            return false;
        }
    }
    ::chmod(temporary.c_str(), 0755);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        error = "cannot move the new library into place at " + path;
        return false;
    }
    return true;
}

struct PackArgs {
    std::string effectPath;
    std::string output;
    std::string templatePath;
    std::string name;
    std::string category;
    bool plain = false;
};

int runPack(const PackArgs& a) {
    glfx::PackRequest request;
    if (!readFile(a.effectPath, request.code)) {
        std::cerr << "glfx pack: cannot read effect file " << a.effectPath << "\n";
        return 1;
    }
    glfx::EffectDescription d;
    try {
        glfx::parseDescription(d, request.code);
    } catch (const std::exception& e) {
        std::cerr << a.effectPath << ": " << e.what() << "\n";
        return 1;
    }
    request.name = a.name.empty() ? d.settings.name : a.name;
    request.category = a.category.empty() ? d.settings.category : a.category;
    request.plain = a.plain;

    std::string image;
    if (!readFile(a.templatePath, image)) {
        std::cerr << "glfx pack: cannot read template library " << a.templatePath << "\n";
        return 1;
    }
    try {
        glfx::packLibrary(image, request);
    } catch (const std::exception& e) {
        std::cerr << "glfx pack: " << e.what() << "\n";
        return 1;
    }
    std::string error;
    if (!writeFileAtomically(a.output, image, error)) {
        std::cerr << "glfx pack: " << error << "\n";
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"glfx: GLSL image effects for the compositing host"};
    app.require_subcommand(1);

    std::string infoPath;
    CLI::App* info = app.add_subcommand("info", "Show an effect file's description");
    info->add_option("file", infoPath, "effect file (.glfx)")->required();

    PackArgs pack;
    CLI::App* packCmd =
        app.add_subcommand("pack", "Write an effect into a copy of a plug-in library");
    packCmd->add_option("file", pack.effectPath, "effect file (.glfx)")->required();
    packCmd->add_option("-o,--output", pack.output, "library to write")->required();
    packCmd->add_option("--template", pack.templatePath, "template plug-in library")->required();
    packCmd->add_option("--name", pack.name, "effect name (default: the file's settings name)");
    packCmd->add_option("--category", pack.category, "category (default: the file's category)");
    packCmd->add_flag("--plain", pack.plain, "store the code as plain text, not enciphered");

    CLI11_PARSE(app, argc, argv);
    if (*info) return runInfo(infoPath);
    if (*packCmd) return runPack(pack);
    return 1;
}
