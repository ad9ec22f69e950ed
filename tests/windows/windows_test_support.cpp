#include "windows_test_support.h"

#include "gl/GlContext.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace glfx::testing {

std::string windowsPath(const std::string& path) {
    return !path.empty() && path[0] == '/' ? "Z:" + path : path;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string openGlUnavailable() {
    GlContext context;
    context.create();
    if (!context.isValid())
        return context.creationError().empty() ? "no OpenGL context" : context.creationError();
    context.close();
    return {};
}

} // namespace glfx::testing
