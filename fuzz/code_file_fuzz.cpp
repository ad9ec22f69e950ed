// The ".glfx" code file reader on any file content: CRLF pairs become LF and the text ends at its
// first NUL, exactly as a plain model of the rule says.
#include "FuzzCheck.h"
#include "effect/CodeContainer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using glfx::fuzz::require;

namespace {

const std::string& scratchFile() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string p =
            std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/glfx-fuzz-code-XXXXXX";
        const int fd = mkstemp(p.data());
        require(fd >= 0, "a scratch file can be made");
        close(fd);
        std::atexit([] { std::remove(scratchFile().c_str()); });
        return p;
    }();
    return path;
}

std::string model(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        if (raw[i] == '\0') break;
        out.push_back(raw[i]);
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    std::FILE* f = std::fopen(scratchFile().c_str(), "wb");
    require(f != nullptr, "the scratch file opens");
    require(std::fwrite(raw.data(), 1, raw.size(), f) == raw.size(), "the scratch file is written");
    std::fclose(f);
    require(glfx::readCodeFile(scratchFile()) == model(raw), "the reader follows the rule");
    return 0;
}
