// The per-user folder where an unpatched plug-in looks for its ".glfx" code file.
#pragma once

#include <string>

namespace glfx::platform {

// The user's application-data folder, without a trailing '/': %APPDATA% on Windows; on Linux
// $XDG_CONFIG_HOME, else $HOME/.config. Empty when it cannot be determined.
std::string applicationDataFolder();

// Creates one directory level. Failure is not reported: the directory usually exists already, and
// a missing one only means the code file will not be found.
void makeDirectory(const std::string& path);

// Longest path the platform's file calls accept, terminator excluded.
size_t maxPathBytes();

// applicationDataFolder() + "/fxdepot/" + effectName + "/", creating each level when `create` is
// set. Empty (no folder) when the application-data folder is unknown or the path, with room for
// the file name effectName + ".glfx", would be longer than the platform allows.
std::string effectFolder(const std::string& effectName, bool create);

} // namespace glfx::platform
