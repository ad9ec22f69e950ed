// Pieces the benchmark programs share: the bare-GL baseline's framebuffer and quad, a private
// per-user folder, and the process's memory figures.
#pragma once

#include "AE_Effect.h"

#include <GL/glew.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace glfx::bench {

// The quad the renderer draws: (0, 0) ... (w, h) at z = 1 with texture coordinates 0 ... 1.
// Needs a current context.
inline void drawQuad(float w, float h) {
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(w, 0.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(w, h, 1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, h, 1.0f);
    glEnd();
}

// The renderer's drawing set-up: one framebuffer object drawing into its first attachment, and a
// pixel-for-pixel orthographic view of w x h. Returns the framebuffer, to be deleted by the caller.
inline GLuint bindDrawingFramebuffer(int w, int h) {
    GLuint framebuffer = 0;
    glGenFramebuffersEXT(1, &framebuffer);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, framebuffer);
    glDrawBuffer(GL_COLOR_ATTACHMENT0_EXT);
    glViewport(0, 0, w, h);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, w, 0.0, h, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    return framebuffer;
}

// Points the plug-in's per-user folder at a temporary folder, removed again at the end, so a
// benchmark never writes into the user's own configuration.
class PrivateUserFolder {
public:
    explicit PrivateUserFolder(const char* prefix) {
        std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
        if (mkdtemp(&pattern[0]) != nullptr) {
            path_ = pattern;
            setenv("XDG_CONFIG_HOME", path_.c_str(), 1);
        }
    }
    ~PrivateUserFolder() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
    }
    PrivateUserFolder(const PrivateUserFolder&) = delete;
    PrivateUserFolder& operator=(const PrivateUserFolder&) = delete;

private:
    std::string path_;
};

// Kibibytes of a /proc/self/status line ("VmHWM", "VmRSS"); -1 where there is none.
inline long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.compare(0, prefix.size(), prefix) == 0)
            return std::atol(line.c_str() + prefix.size());
    return -1;
}

// A w x h RGBA picture of scattered levels; `seed` gives another one of the same kind.
inline std::vector<float> picture(int w, int h, int seed = 0) {
    std::vector<float> rgba(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = float((i * 2654435761u + unsigned(seed)) % 256) / 255.0f;
    return rgba;
}

// A point parameter's value at (x, y) layer pixels.
inline PF_ParamDefUnion point(double x, double y) {
    PF_ParamDefUnion u;
    std::memset(&u, 0, sizeof u);
    u.td.x_value = PF_Fixed(x * 65536.0);
    u.td.y_value = PF_Fixed(y * 65536.0);
    return u;
}

} // namespace glfx::bench
