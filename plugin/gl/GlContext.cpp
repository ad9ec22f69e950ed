#include "gl/GlContext.h"

#include "gl/GlCheck.h"

#include <exception>

namespace glfx {
namespace {

GlContext::WindowSystemFactory windowSystemFactory = nullptr;

} // namespace

void GlContext::setWindowSystemFactory(WindowSystemFactory factory) {
    windowSystemFactory = factory;
}

GlContext::GlContext() : requiredExtensions_(defaultRequiredExtensions()) {}

GlContext::~GlContext() {
    // The framebuffer object dies with the context; no GL call here.
    framebuffer_.abandon();
}

const std::vector<std::string>& GlContext::defaultRequiredExtensions() {
    static const std::vector<std::string> extensions{
        "GL_ARB_color_buffer_float", "GL_ARB_texture_float",     "GL_ARB_vertex_program",
        "GL_ARB_vertex_shader",      "GL_ARB_texture_cube_map",  "GL_ARB_fragment_shader",
        "GL_ARB_draw_buffers",       "GL_ARB_framebuffer_object"};
    return extensions;
}

void GlContext::setRequiredExtensions(std::vector<std::string> extensions) {
    requiredExtensions_ = std::move(extensions);
}

bool GlContext::isValid() const {
    return window_ != nullptr && window_->isValid();
}

std::string GlContext::describe() const {
    return window_ != nullptr ? window_->describe() : std::string("no OpenGL context");
}

void GlContext::create() {
    if (isValid()) return;
    creationError_.clear();
    bool created = false;
    try {
        created = createSteps();
    } catch (const std::exception& error) {
        creationError_ = std::string("OpenGL context creation failed: ") + error.what();
    }
    if (!created) close();
}

bool GlContext::createSteps() {
    window_ =
        windowSystemFactory != nullptr ? windowSystemFactory() : platform::createWindowSystem();
    if (window_ == nullptr) {
        creationError_ = "No window system is available to make an OpenGL context.";
        return false;
    }
    saved_ = window_->current();
    if (!window_->create(creationError_)) {
        window_.reset();
        return false;
    }
    if (!window_->makeCurrent()) {
        creationError_ =
            "The new OpenGL context on " + window_->describe() + " could not be made current.";
        window_->restore(saved_);
        window_->destroy();
        window_.reset();
        return false;
    }
    state_ = 0;
    if (!window_->loadEntryPoints(creationError_)) return false;
    glFlush();
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    glGetIntegerv(GL_MAX_TEXTURE_IMAGE_UNITS, &maxTextureImageUnits_);
    if (!hasRequiredCapabilities()) return false;
    framebuffer_ = makeFramebuffer();
    glCheck("creating the framebuffer object");
    deactivate();
    return true;
}

bool GlContext::hasRequiredCapabilities() {
    const std::string where = " (OpenGL on " + describe() + ")";
    if (glGetString(GL_VERSION) == nullptr || glGetString(GL_EXTENSIONS) == nullptr) {
        creationError_ = "The driver reports no OpenGL version or extension list" + where + ".";
        return false;
    }
    if (!GLEW_VERSION_2_0) {
        creationError_ = std::string("OpenGL 2.0 is required but the driver offers ") +
                         reinterpret_cast<const char*>(glGetString(GL_VERSION)) + where +
                         ". Update the graphics driver.";
        return false;
    }
    for (const std::string& extension : requiredExtensions_) {
        if (!glewIsSupported(extension.c_str())) {
            creationError_ = "The OpenGL extension " + extension + " is required but missing" +
                             where + ". Update the graphics driver.";
            return false;
        }
    }
    GLint units = 0;
    glGetIntegerv(GL_MAX_TEXTURE_UNITS, &units);
    glGetError();
    if (units < 2) {
        creationError_ = "At least two texture units are required" + where + ".";
        return false;
    }
    return true;
}

bool GlContext::activate() {
    if (state_ == 0) return true;
    if (!isValid()) return false;
    const platform::ContextBinding current = window_->current();
    // Always the binding of this moment, "none" included: the host may have switched or
    // released its context since the last call, and it must find exactly that again.
    if (!window_->isOwn(current)) saved_ = current;
    if (!window_->makeCurrent()) {
        window_->restore(saved_);
        return false;
    }
    state_ = 0;
    return true;
}

void GlContext::deactivate() {
    if (state_ != 0) return;
    state_ = 1;
    if (window_ != nullptr) window_->restore(saved_);
}

void GlContext::close() {
    if (window_ != nullptr && window_->isValid()) {
        if (framebuffer_) {
            if (activate()) {
                glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
                framebuffer_.reset();
                glGetError();
            } else {
                framebuffer_.abandon();
            }
        }
        deactivate();
        window_->destroy();
    } else {
        framebuffer_.abandon();
    }
    window_.reset();
    state_ = -1;
}

} // namespace glfx
