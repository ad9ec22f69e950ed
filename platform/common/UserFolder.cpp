#include "platform/UserFolder.h"

namespace glfx::platform {

std::string effectFolder(const std::string& effectName, bool create) {
    std::string folder = applicationDataFolder();
    if (folder.empty()) return {};
    folder += '/';
    const std::string fileName = effectName + ".glfx";
    if (folder.size() + 8 + effectName.size() + 1 + fileName.size() > maxPathBytes()) return {};
    if (create) makeDirectory(folder);
    folder += "fxdepot/";
    if (create) makeDirectory(folder);
    folder += effectName;
    folder += '/';
    if (create) makeDirectory(folder);
    return folder;
}

} // namespace glfx::platform
