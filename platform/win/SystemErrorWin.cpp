#include "platform/SystemError.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace glfx::platform {

std::string windowsErrorText(unsigned long code) {
    char* message = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, DWORD(code), 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
    std::string text = "Windows error " + std::to_string(code);
    if (length > 0 && message != nullptr) {
        std::string said(message, length);
        while (!said.empty() && (said.back() == '\n' || said.back() == '\r' || said.back() == ' '))
            said.pop_back();
        text += " (" + said + ")";
    }
    if (message != nullptr) LocalFree(message);
    return text;
}

} // namespace glfx::platform
