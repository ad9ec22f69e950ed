// The system's own words for an error code, for one-line messages.
#pragma once

#include <string>

namespace glfx::platform {

#ifdef _WIN32
// "Windows error N (FormatMessage's text)" for a GetLastError() code, without the text's line end;
// "Windows error N" when the system has no text for it.
std::string windowsErrorText(unsigned long code);
#endif

} // namespace glfx::platform
