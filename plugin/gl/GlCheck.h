// Error policy of the GPU renderer: GL errors are drained by glCheck, which throws GlError naming
// the step. GlRenderer and GlContext catch these at their public operations and turn them into
// their results (false, `programsOk` false, `isValid` false); no GL exception leaves them.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <stdexcept>
#include <string>

namespace glfx {

class GlError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The symbolic name of a glGetError code ("GL_INVALID_ENUM"), or its number in hex.
std::string glErrorName(GLenum code);

// Drains every pending GL error of the current context; throws GlError("<where>: GL_...") when
// there was one. Needs a current context.
void glCheck(const char* where);
// The same with a pass or layer number after `where`; the text is built only on error.
void glCheck(const char* where, int32_t index);

} // namespace glfx
