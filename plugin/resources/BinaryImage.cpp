#include "resources/BinaryImage.h"

#include <cstdlib>
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

constexpr uint32_t kScnUninitializedData = 0x00000080;
constexpr uint32_t kScnMemDiscardable = 0x02000000;
constexpr uint32_t kResourceDirectory = 2; // index in the optional header's data directories
constexpr uint32_t kHighBit = 0x80000000;

struct PeSection {
    ImageSection section;
    uint32_t virtualAddress = 0;
    uint32_t virtualSize = 0;
};

struct PeFile {
    std::vector<PeSection> sections;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
};

// The section table and the resource directory's place; false for anything but a PE file with an
// intact header and section table.
bool readPe(const std::string& image, PeFile* pe) {
    uint32_t peOffset = 0;
    if (image.size() < 64 || image.compare(0, 2, "MZ") != 0 || !read(image, 0x3C, &peOffset))
        return false;
    uint32_t signature = 0;
    if (!read(image, peOffset, &signature) || signature != 0x00004550) return false; // "PE\0\0"
    const uint64_t coff = uint64_t(peOffset) + 4;
    uint16_t count = 0, optionalSize = 0, magic = 0;
    uint32_t symbolTable = 0, symbolCount = 0;
    if (!read(image, coff + 2, &count) || !read(image, coff + 8, &symbolTable) ||
        !read(image, coff + 12, &symbolCount) || !read(image, coff + 16, &optionalSize))
        return false;
    const uint64_t optional = coff + 20;
    if (!read(image, optional, &magic)) return false;
    uint64_t directories = 0, directoryCountAt = 0;
    if (magic == 0x20B) { // PE32+
        directoryCountAt = optional + 108;
        directories = optional + 112;
    } else if (magic == 0x10B) { // PE32
        directoryCountAt = optional + 92;
        directories = optional + 96;
    } else {
        return false;
    }
    uint32_t directoryCount = 0;
    if (!read(image, directoryCountAt, &directoryCount)) return false;
    const uint64_t directoriesEnd = directories + uint64_t(kResourceDirectory + 1) * 8;
    if (directoryCount > kResourceDirectory && directoriesEnd <= optional + optionalSize) {
        if (!read(image, directories + kResourceDirectory * 8, &pe->resourceRva) ||
            !read(image, directories + kResourceDirectory * 8 + 4, &pe->resourceSize))
            return false;
    }
    // Names longer than 8 bytes stand in the string table after the symbols, as "/offset".
    const uint64_t stringTable = uint64_t(symbolTable) + uint64_t(symbolCount) * 18;

    const uint64_t table = optional + optionalSize;
    for (uint16_t i = 0; i < count; ++i) {
        const uint64_t at = table + uint64_t(i) * 40;
        char name[8];
        uint32_t rawSize = 0, rawPointer = 0, characteristics = 0;
        PeSection p;
        if (at > image.size() || image.size() - at < 40) return false;
        std::memcpy(name, image.data() + at, 8);
        read(image, at + 8, &p.virtualSize);
        read(image, at + 12, &p.virtualAddress);
        read(image, at + 16, &rawSize);
        read(image, at + 20, &rawPointer);
        read(image, at + 36, &characteristics);

        ImageSection& s = p.section;
        s.name.assign(name, strnlen(name, 8));
        if (s.name.size() > 1 && s.name[0] == '/' && symbolTable != 0) {
            const uint64_t nameAt = stringTable + std::strtoul(s.name.c_str() + 1, nullptr, 10);
            if (nameAt < image.size())
                s.name.assign(image.data() + nameAt,
                              strnlen(image.data() + nameAt, size_t(image.size() - nameAt)));
        }
        // Raw data is padded to the file alignment; the virtual size is what the section holds.
        uint64_t size = (characteristics & kScnUninitializedData) != 0 ? 0 : rawSize;
        if (p.virtualSize != 0 && p.virtualSize < size) size = p.virtualSize;
        const bool inFile = rawPointer <= image.size() && image.size() - rawPointer >= size;
        s.offset = inFile ? rawPointer : 0;
        s.size = inFile ? size : 0;
        // Debug information is discardable too; its name says so even where a linker forgot.
        s.loaded = inFile && size > 0 && (characteristics & kScnMemDiscardable) == 0 &&
                   s.name.compare(0, 6, ".debug") != 0;
        pe->sections.push_back(std::move(p));
    }
    return true;
}

// The file offset of `length` bytes at `rva`, all inside one section's raw data; false otherwise.
bool rvaToOffset(const PeFile& pe, uint32_t rva, uint64_t length, uint64_t* offset,
                 uint64_t* end = nullptr) {
    for (const PeSection& p : pe.sections) {
        if (rva < p.virtualAddress) continue;
        const uint64_t into = rva - p.virtualAddress;
        if (into > p.section.size || p.section.size - into < length) continue;
        *offset = p.section.offset + into;
        if (end != nullptr) *end = p.section.offset + p.section.size;
        return true;
    }
    return false;
}

// One level of the resource tree: the target of the entry that matches, with its subdirectory
// flag. Names are counted UTF-16 strings, compared with `name` without regard to ASCII case.
bool resourceEntry(const std::string& image, uint64_t root, uint64_t end, uint32_t directory,
                   const std::string* name, uint16_t id, uint32_t* target) {
    const uint64_t at = root + directory;
    uint16_t named = 0, ids = 0;
    if (at + 16 > end || !read(image, at + 12, &named) || !read(image, at + 14, &ids)) return false;
    const uint64_t entries = uint64_t(named) + ids;
    if ((end - at - 16) / 8 < entries) return false;
    for (uint64_t i = 0; i < entries; ++i) {
        uint32_t key = 0, value = 0;
        read(image, at + 16 + i * 8, &key);
        read(image, at + 16 + i * 8 + 4, &value);
        bool matches = false;
        if ((key & kHighBit) != 0 && name != nullptr) {
            const uint64_t text = root + (key & ~kHighBit);
            uint16_t length = 0;
            if (text + 2 > end || !read(image, text, &length) || length != name->size() ||
                (end - text - 2) / 2 < length)
                continue;
            matches = true;
            for (uint16_t c = 0; c < length && matches; ++c) {
                uint16_t unit = 0;
                read(image, text + 2 + c * 2u, &unit);
                const auto upper = [](unsigned u) { return u >= 'a' && u <= 'z' ? u - 32 : u; };
                matches = upper(unit) == upper(static_cast<unsigned char>((*name)[c]));
            }
        } else if ((key & kHighBit) == 0 && name == nullptr) {
            matches = (key & 0xFFFF) == id;
        }
        if (matches) {
            *target = value;
            return true;
        }
    }
    return false;
}

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

std::vector<ImageSection> peSections(const std::string& image) {
    PeFile pe;
    std::vector<ImageSection> out;
    if (!readPe(image, &pe)) return out;
    for (PeSection& p : pe.sections)
        out.push_back(std::move(p.section));
    return out;
}

std::vector<ImageSection> imageSections(const std::string& image) {
    std::vector<ImageSection> sections = elfSections(image);
    return sections.empty() ? peSections(image) : sections;
}

const char* findPeResource(const std::string& image, const std::string& type, uint16_t id,
                           uint16_t language, uint64_t* size) {
    PeFile pe;
    uint64_t root = 0, end = 0;
    if (!readPe(image, &pe) || pe.resourceRva == 0 ||
        !rvaToOffset(pe, pe.resourceRva, 16, &root, &end))
        return nullptr;
    if (pe.resourceSize != 0 && pe.resourceSize < end - root) end = root + pe.resourceSize;
    // Type, then name or id, then language; the first two lead to subdirectories.
    uint32_t byType = 0, byId = 0, data = 0;
    if (!resourceEntry(image, root, end, 0, &type, 0, &byType) || (byType & kHighBit) == 0 ||
        !resourceEntry(image, root, end, byType & ~kHighBit, nullptr, id, &byId) ||
        (byId & kHighBit) == 0 ||
        !resourceEntry(image, root, end, byId & ~kHighBit, nullptr, language, &data) ||
        (data & kHighBit) != 0 || uint64_t(data) + 16 > end - root)
        return nullptr;
    uint32_t dataRva = 0, dataSize = 0;
    read(image, root + data, &dataRva);
    read(image, root + data + 4, &dataSize);
    uint64_t offset = 0;
    if (!rvaToOffset(pe, dataRva, dataSize, &offset)) return nullptr;
    if (size) *size = dataSize;
    return image.data() + offset;
}

const char* findSection(const std::string& image, const std::string& name, uint64_t* size) {
    for (const ImageSection& s : imageSections(image)) {
        if (s.name == name && s.size > 0) {
            if (size) *size = s.size;
            return image.data() + s.offset;
        }
    }
    return nullptr;
}

} // namespace glfx
