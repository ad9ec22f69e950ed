// Just enough of a library file's structure to find constant data in it: the ELF section table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glfx {

struct ImageSection {
    std::string name;
    uint64_t offset = 0; // in the file
    uint64_t size = 0;
    bool loaded = false; // part of the process image (not debug information)
};

// The sections of a 64-bit little-endian ELF file; empty for anything else or a damaged table.
// Every offset and size returned lies inside `image`.
std::vector<ImageSection> elfSections(const std::string& image);

// The bytes of the named section, or nullptr when there is none; `size` receives its length.
const char* findSection(const std::string& image, const std::string& name, uint64_t* size);

} // namespace glfx
