#include "windows_test_support.h"

#include "gl/GlContext.h"

namespace glfx::testing {

std::string windowsPath(const std::string& path) {
    return !path.empty() && path[0] == '/' ? "Z:" + path : path;
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
