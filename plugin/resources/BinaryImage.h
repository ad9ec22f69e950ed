// Just enough of a library file's structure to find constant data in it: the ELF section table,
// and for Windows libraries the PE section table and resource directory.
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

// The PE resource that carries the property resource: type "PiPL" (stored upper-case, as resource
// compilers store type names), id 16000, US English.
constexpr char kPeResourceType[] = "PIPL";
constexpr uint16_t kPeResourceId = 16000;
constexpr uint16_t kPeResourceLanguage = 1033;

// The sections of a 64-bit little-endian ELF file; empty for anything else or a damaged table.
// Every offset and size returned lies inside `image`.
std::vector<ImageSection> elfSections(const std::string& image);

// The sections of a PE file (a Windows DLL or executable), with the raw data each has in the
// file; discardable sections (debug information, relocations) are not `loaded`. Empty for
// anything else or a damaged header. Every offset and size returned lies inside `image`.
std::vector<ImageSection> peSections(const std::string& image);

// The sections of either kind of file.
std::vector<ImageSection> imageSections(const std::string& image);

// The data of resource `type` (compared without regard to case), `id`, `language` in a PE file,
// or nullptr when the file has no such resource or its resource directory is damaged; `size`
// receives the data's length.
const char* findPeResource(const std::string& image, const std::string& type, uint16_t id,
                           uint16_t language, uint64_t* size);

// The bytes of the named section, or nullptr when there is none; `size` receives its length.
const char* findSection(const std::string& image, const std::string& name, uint64_t* size);

} // namespace glfx
