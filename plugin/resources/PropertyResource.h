// The plug-in property resource the host reads before it calls the library, and the fixed-width
// slots a packaging step overwrites in a built library without moving anything.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace glfx {

constexpr size_t kPropertyResourceSize = 346;
constexpr size_t kNameSlotSize = 31;
constexpr size_t kCategorySlotSize = 31;
constexpr char kDefaultEffectName[] = "Quadra_remapping_fx";
constexpr char kDefaultCategory[] = "ZEL";

// Byte offsets inside the resource of the data that a packaging step rewrites: each is a counted
// string, one length byte and then 31 bytes (text, NUL, '#' filler).
constexpr size_t kResourceNameOffset = 46;
constexpr size_t kResourceCategoryOffset = 94;
constexpr size_t kResourceMatchNameOffset = 294;
constexpr size_t kResourceVersionOffset = 214;
constexpr size_t kResourceOutFlagsOffset = 254;
constexpr size_t kResourceOutFlags2Offset = 274;

constexpr uint32_t kPluginVersionWord = 0x00100001;
constexpr uint32_t kAeOutFlags = 0x06000006;
constexpr uint32_t kAeOutFlags2 = 0x00009408;
constexpr uint32_t kPremiereOutFlags = 0x04000006;
constexpr uint32_t kPremiereOutFlags2 = 0x00008408;
// Added to kAeOutFlags2 for an effect with persistent passes: AUTOMATIC_WIDE_TIME_INPUT (its
// WIDE_TIME_INPUT is in kAeOutFlags already).
constexpr uint32_t kFeedbackOutFlags2 = 0x00020000;

using PropertyResourceBytes = std::array<uint8_t, kPropertyResourceSize>;

namespace detail {

class ResourceWriter {
public:
    constexpr void u16(uint16_t v) {
        byte(static_cast<uint8_t>(v & 0xFF));
        byte(static_cast<uint8_t>(v >> 8));
    }
    constexpr void u32(uint32_t v) {
        u16(static_cast<uint16_t>(v & 0xFFFF));
        u16(static_cast<uint16_t>(v >> 16));
    }
    // Four-character codes are stored byte-reversed.
    constexpr void code(const char* c) {
        for (int i = 3; i >= 0; --i)
            byte(static_cast<uint8_t>(c[i]));
    }
    constexpr void property(const char* key, const uint8_t* data, uint32_t length) {
        code("8BIM");
        code(key);
        u32(0);
        u32(length);
        for (uint32_t i = 0; i < length; ++i)
            byte(data[i]);
        for (uint32_t i = length; i % 4 != 0; ++i)
            byte(0);
    }
    constexpr void byte(uint8_t b) {
        if (pos < out.size()) out[pos] = b;
        ++pos;
    }
    PropertyResourceBytes out{};
    size_t pos = 0; // past the end means the layout above is wrong; the static_assert catches it
};

// One length byte, then the text, a NUL and filler up to 31 bytes.
constexpr std::array<uint8_t, 32> countedSlot(const char* text, uint8_t filler) {
    std::array<uint8_t, 32> slot{};
    size_t n = 0;
    while (text[n] != 0 && n < kNameSlotSize)
        ++n;
    slot[0] = static_cast<uint8_t>(n);
    for (size_t i = 0; i < kNameSlotSize; ++i)
        slot[1 + i] = i < n ? static_cast<uint8_t>(text[i]) : (i == n ? 0 : filler);
    return slot;
}

constexpr std::array<uint8_t, 4> le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

} // namespace detail

// The resource's bytes for the given name and category (each cut at 31 bytes). The name slot is
// filled with '#', the category slot with NUL bytes.
constexpr PropertyResourceBytes buildPropertyResource(const char* name, const char* category) {
    detail::ResourceWriter w;
    w.u16(1);  // list version
    w.u32(0);  // reserved
    w.u32(12); // property count
    const uint8_t kind[4] = {'T', 'K', 'F', 'e'};
    w.property("kind", kind, 4);
    const auto nameSlot = detail::countedSlot(name, '#');
    w.property("name", nameSlot.data(), 32);
    const auto categorySlot = detail::countedSlot(category, 0);
    w.property("catg", categorySlot.data(), 32);
    const uint8_t entry[16] = {'E', 'n', 't', 'r', 'y', 'P', 'o',
                               'i', 'n', 't', 'F', 'u', 'n', 'c'};
    w.property("8664", entry, 16);
    const uint8_t pluginVersion[4] = {2, 0, 0, 0};
    w.property("ePVR", pluginVersion, 4);
    const uint8_t specVersion[4] = {13, 0, 0, 0};
    w.property("eSVR", specVersion, 4);
    w.property("eVER", detail::le32(kPluginVersionWord).data(), 4);
    const uint8_t info[2] = {0, 0};
    w.property("eINF", info, 2);
    w.property("eGLO", detail::le32(kAeOutFlags).data(), 4);
    w.property("eGL2", detail::le32(kAeOutFlags2).data(), 4);
    w.property("eMNA", nameSlot.data(), 32);
    w.property("aeFL", detail::le32(8).data(), 4);
    return w.out;
}

// The resource's leading bytes, identical for every name: list header and the first property up
// to its data. A packaging step finds the resource in a library file by them.
constexpr size_t kResourceSignatureSize = 30;

static_assert(buildPropertyResource("", "")[kPropertyResourceSize - 4] == 8, "aeFL ends the block");
static_assert(buildPropertyResource("ab", "")[kResourceNameOffset] == 2, "name data offset");
static_assert(buildPropertyResource("ab", "")[kResourceMatchNameOffset + 2] == 'b', "eMNA offset");
static_assert(buildPropertyResource("", "Z")[kResourceCategoryOffset + 1] == 'Z', "catg offset");
static_assert(buildPropertyResource("", "")[kResourceVersionOffset] == 0x01, "eVER offset");

} // namespace glfx
