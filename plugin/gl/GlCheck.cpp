#include "gl/GlCheck.h"

#include <cstdio>

namespace glfx {

std::string glErrorName(GLenum code) {
    switch (code) {
    case GL_INVALID_ENUM:
        return "GL_INVALID_ENUM";
    case GL_INVALID_VALUE:
        return "GL_INVALID_VALUE";
    case GL_INVALID_OPERATION:
        return "GL_INVALID_OPERATION";
    case GL_STACK_OVERFLOW:
        return "GL_STACK_OVERFLOW";
    case GL_STACK_UNDERFLOW:
        return "GL_STACK_UNDERFLOW";
    case GL_OUT_OF_MEMORY:
        return "GL_OUT_OF_MEMORY";
    case GL_INVALID_FRAMEBUFFER_OPERATION:
        return "GL_INVALID_FRAMEBUFFER_OPERATION";
    default:
        break;
    }
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "GL error 0x%04X", code);
    return buffer;
}

namespace {

std::string drainErrors() {
    std::string errors;
    // A lost context can report errors forever; a bounded drain keeps this from spinning.
    for (int i = 0; i < 16; ++i) {
        const GLenum code = glGetError();
        if (code == GL_NO_ERROR) break;
        errors += (errors.empty() ? "" : ", ") + glErrorName(code);
    }
    return errors;
}

} // namespace

void glCheck(const char* where) {
    const std::string errors = drainErrors();
    if (!errors.empty()) throw GlError(std::string(where) + ": " + errors);
}

void glCheck(const char* where, int32_t index) {
    const std::string errors = drainErrors();
    if (!errors.empty())
        throw GlError(std::string(where) + " " + std::to_string(index) + ": " + errors);
}

} // namespace glfx
