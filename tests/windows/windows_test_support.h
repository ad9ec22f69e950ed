// Pieces the Windows runner's tests share.
#pragma once

#include <string>

namespace glfx::testing {

// A path of the Linux build (as the cross build compiles them in) as the program under Wine
// opens it: Wine shows the Linux file system as drive Z:.
std::string windowsPath(const std::string& path);

// Empty when this process can make the plug-in's OpenGL context; else the reason it cannot.
std::string openGlUnavailable();

} // namespace glfx::testing
