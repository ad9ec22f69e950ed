#include "platform/UserFolder.h"

#include <direct.h>
#include <windows.h>
#include <shlobj.h>

namespace glfx::platform {

std::string applicationDataFolder() {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path)))
        return {};
    std::string folder(path);
    while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/'))
        folder.pop_back();
    return folder;
}

void makeDirectory(const std::string& path) {
    _mkdir(path.c_str());
}

size_t maxPathBytes() {
    return MAX_PATH - 1;
}

} // namespace glfx::platform
