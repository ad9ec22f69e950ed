#include "platform/UserFolder.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>

namespace glfx::platform {

std::string applicationDataFolder() {
    // Relative values are invalid by the XDG rules and fall through to $HOME.
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string folder;
    if (xdg && xdg[0] == '/') {
        folder = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || home[0] != '/') return {};
        folder = std::string(home) + "/.config";
    }
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

void makeDirectory(const std::string& path) {
    ::mkdir(path.c_str(), 0755);
}

size_t maxPathBytes() {
    return PATH_MAX - 1;
}

} // namespace glfx::platform
