#include "resources/BinaryImage.h"

#include <cstring>

namespace glfx {
namespace {

template <typename T> bool read(const std::string& image, uint64_t offset, T* out) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) return false;
    std::memcpy(out, image.data() + offset, sizeof(T));
    return true;
}

constexpr uint64_t kShfAlloc = 0x2;
constexpr uint32_t kShtNobits = 8;

} // namespace

std::vector<ImageSection> elfSections(const std::string& image) {
    std::vector<ImageSection> out;
    if (image.size() < 64 || image.compare(0, 4,
                                           "\x7f"
                                           "ELF") != 0)
        return out;
    if (image[4] != 2 || image[5] != 1) return out; // 64-bit, little-endian only
    uint64_t shoff = 0;
    uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
    if (!read(image, 0x28, &shoff) || !read(image, 0x3A, &shentsize) ||
        !read(image, 0x3C, &shnum) || !read(image, 0x3E, &shstrndx))
        return out;
    if (shentsize < 64 || shstrndx >= shnum) return out;

    struct Raw {
        uint32_t name, type;
        uint64_t flags, offset, size;
    };
    std::vector<Raw> raw;
    for (uint16_t i = 0; i < shnum; ++i) {
        const uint64_t at = shoff + uint64_t(i) * shentsize;
        Raw r{};
        if (!read(image, at, &r.name) || !read(image, at + 4, &r.type) ||
            !read(image, at + 8, &r.flags) || !read(image, at + 24, &r.offset) ||
            !read(image, at + 32, &r.size))
            return {};
        raw.push_back(r);
    }
    const Raw& strtab = raw[shstrndx];
    if (strtab.offset > image.size() || image.size() - strtab.offset < strtab.size) return {};

    for (const Raw& r : raw) {
        ImageSection s;
        if (r.name < strtab.size) {
            const char* n = image.data() + strtab.offset + r.name;
            s.name.assign(n, strnlen(n, strtab.size - r.name));
        }
        const bool inFile =
            r.type != kShtNobits && r.offset <= image.size() && image.size() - r.offset >= r.size;
        s.offset = inFile ? r.offset : 0;
        s.size = inFile ? r.size : 0;
        s.loaded = inFile && (r.flags & kShfAlloc) != 0;
        out.push_back(std::move(s));
    }
    return out;
}

const char* findSection(const std::string& image, const std::string& name, uint64_t* size) {
    for (const ImageSection& s : elfSections(image)) {
        if (s.name == name && s.size > 0) {
            if (size) *size = s.size;
            return image.data() + s.offset;
        }
    }
    return nullptr;
}

} // namespace glfx
