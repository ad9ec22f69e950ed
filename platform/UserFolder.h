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

// What keeps `effectName` from being one folder name on every platform, as a phrase that follows
// the quoted name ("holds \"/\", which ..."); empty when it is fit. The name becomes the folder
// fxdepot/<name>/ and the file <name>.glfx in it, so it must not climb out of fxdepot/ or name a
// device: it must not be empty, "." or ".."; hold a control byte or any of / \ : * ? " < > |;
// begin with a dot or a blank, or end with one; or be, before its first dot, a name Windows
// keeps for a device (CON, PRN, AUX, NUL, COM1 ... COM9, LPT1 ... LPT9, CONIN$, CONOUT$).
std::string effectNameProblem(const std::string& effectName);

// applicationDataFolder() + "/fxdepot/" + effectName + "/", creating each level when `create` is
// set. Empty (no folder, nothing created) when the name is unfit (effectNameProblem), the
// application-data folder is unknown, or the path, with room for the file name effectName +
// ".glfx", would be longer than the platform allows.
std::string effectFolder(const std::string& effectName, bool create);

} // namespace glfx::platform
