// Move-only owners of GL object names. Creating, resetting and destroying one needs the owning
// context current: the owner (GlContext, GlRenderer) brackets that with activate/deactivate. When
// the context has died first (closed, or never valid), `abandon` forgets the name without a GL
// call; the objects died with their context. Destructors never throw.
#pragma once

#include <GL/glew.h>

#include <utility>

namespace glfx {

template <class Traits> class GlHandle {
public:
    GlHandle() = default;
    explicit GlHandle(GLuint name) : name_(name) {}
    ~GlHandle() { reset(); }

    GlHandle(const GlHandle&) = delete;
    GlHandle& operator=(const GlHandle&) = delete;
    GlHandle(GlHandle&& other) noexcept : name_(std::exchange(other.name_, 0)) {}
    GlHandle& operator=(GlHandle&& other) noexcept {
        if (this != &other) {
            reset();
            name_ = std::exchange(other.name_, 0);
        }
        return *this;
    }

    GLuint get() const { return name_; }
    explicit operator bool() const { return name_ != 0; }

    void reset() noexcept {
        if (name_ != 0) Traits::destroy(name_);
        name_ = 0;
    }
    void abandon() noexcept { name_ = 0; }

private:
    GLuint name_ = 0;
};

struct GlShaderTraits {
    static void destroy(GLuint name) { glDeleteShader(name); }
};
struct GlProgramTraits {
    static void destroy(GLuint name) { glDeleteProgram(name); }
};
struct GlTextureTraits {
    static void destroy(GLuint name) { glDeleteTextures(1, &name); }
};
struct GlFramebufferTraits {
    static void destroy(GLuint name) { glDeleteFramebuffersEXT(1, &name); }
};

using GlShader = GlHandle<GlShaderTraits>;
using GlProgram = GlHandle<GlProgramTraits>;
using GlTexture = GlHandle<GlTextureTraits>;
using GlFramebuffer = GlHandle<GlFramebufferTraits>;

inline GlTexture makeTexture() {
    GLuint name = 0;
    glGenTextures(1, &name);
    return GlTexture(name);
}

inline GlFramebuffer makeFramebuffer() {
    GLuint name = 0;
    glGenFramebuffersEXT(1, &name);
    return GlFramebuffer(name);
}

} // namespace glfx
