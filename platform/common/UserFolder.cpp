#include "platform/UserFolder.h"

#include <cctype>
#include <cstring>

namespace glfx::platform {
namespace {

bool isWindowsDeviceName(const std::string& name) {
    std::string stem = name.substr(0, name.find('.'));
    // Windows drops blanks before the dot too: "NUL .glfx" is the device.
    while (!stem.empty() && stem.back() == ' ')
        stem.pop_back();
    for (char& c : stem)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices)
        if (stem == device) return true;
    return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}

} // namespace

std::string effectNameProblem(const std::string& name) {
    if (name.empty()) return "is empty";
    if (name == "." || name == "..")
        return "names the folder " + std::string(name == "." ? "itself" : "above") +
               " instead of a folder of its own";
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127) {
            const char hex[] = "0123456789abcdef";
            return std::string("holds the control byte 0x") + hex[u >> 4] + hex[u & 15] +
                   ", which a folder name cannot hold";
        }
        if (std::strchr("/\\:*?\"<>|", c) != nullptr)
            return "holds \"" + std::string(1, c) +
                   "\", which a folder name cannot hold (none of / \\ : * ? \" < > |)";
    }
    const char* edge = name.front() == '.'   ? "begins with a dot"
                       : name.front() == ' ' ? "begins with a blank"
                       : name.back() == '.'  ? "ends with a dot"
                       : name.back() == ' '  ? "ends with a blank"
                                             : nullptr;
    if (edge != nullptr)
        return std::string(edge) + "; a folder name neither begins nor ends with a dot or a blank";
    if (isWindowsDeviceName(name))
        return "is a device name Windows keeps (CON, PRN, AUX, NUL, COM1 ... COM9, LPT1 ... LPT9, "
               "also before a dot)";
    return {};
}

std::string effectFolder(const std::string& effectName, bool create) {
    // The name is the one level below fxdepot/: one that could climb out makes no folder at all.
    if (!effectNameProblem(effectName).empty()) return {};
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
