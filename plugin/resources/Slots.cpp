#include "resources/Slots.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "resources/BinaryImage.h"
#endif

namespace glfx {
namespace {

// Text, a NUL, then filler to the slot's end.
constexpr void fillSlot(char* slot, size_t size, const char* text, char filler) {
    size_t n = 0;
    while (text[n] != 0 && n < size)
        ++n;
    for (size_t i = 0; i < size; ++i)
        slot[i] = i < n ? text[i] : (i == n ? '\0' : filler);
}

constexpr NameSlotBlock makeNameBlock() {
    NameSlotBlock b{};
    for (size_t i = 0; i < kSlotTagSize; ++i)
        b.tag[i] = GLFX_NAME_SLOT_TAG[i];
    fillSlot(b.name, kNameSlotSize, kDefaultEffectName, '#');
    return b;
}

constexpr CodeSlotBlock makeCodeBlock() {
    CodeSlotBlock b{};
    for (size_t i = 0; i < kSlotTagSize; ++i)
        b.tag[i] = GLFX_CODE_SLOT_TAG[i];
    fillSlot(b.code, kCodeSlotSize, kCodeTemplateTag, '#');
    return b;
}

std::string readVolatile(const volatile char* p, size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = p[i];
    return s;
}

} // namespace

// Constant data (constant-initialised, so it stands in the file, not built at load time), patched
// in the file by the packaging step; `used` keeps it in every link.
__attribute__((used)) extern const NameSlotBlock glfxNameSlot = makeNameBlock();
__attribute__((used)) extern const CodeSlotBlock glfxCodeSlot = makeCodeBlock();

#ifndef _WIN32
// ELF has no resources: the host finds the block by this section's name, and reads the section
// whole, so clang's AddressSanitizer must not pad it with a redzone.
#if defined(__clang__)
#define GLFX_NO_REDZONE __attribute__((no_sanitize("address")))
#else
#define GLFX_NO_REDZONE
#endif
GLFX_NO_REDZONE __attribute__((
    used, section(".glfx_pipl"))) extern const PropertyResourceBytes glfxPropertyResource =
    buildPropertyResource(kDefaultEffectName, kDefaultCategory);
#endif

std::string nameSlotBytes() {
    return readVolatile(glfxNameSlot.name, kNameSlotSize);
}

std::string codeSlotBytes() {
    return readVolatile(glfxCodeSlot.code, kCodeSlotSize);
}

std::string propertyResourceBytes() {
#ifndef _WIN32
    return readVolatile(reinterpret_cast<const volatile char*>(glfxPropertyResource.data()),
                        kPropertyResourceSize);
#else
    // The resource of the module this code is linked into; empty where that module carries none.
    HMODULE self = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCSTR>(&glfxNameSlot), &self))
        return {};
    HRSRC info = FindResourceExA(self, kPeResourceType, MAKEINTRESOURCEA(kPeResourceId),
                                 kPeResourceLanguage);
    HGLOBAL loaded = info != nullptr ? LoadResource(self, info) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) return {};
    return std::string(static_cast<const char*>(data), SizeofResource(self, info));
#endif
}

std::string nameSlotText(const std::string& slot) {
    return slot.substr(0, slot.find('\0'));
}

std::string effectNameFromSlot(const std::string& slot) {
    size_t n = 0;
    while (n < slot.size() && static_cast<signed char>(slot[n]) >= 32)
        ++n;
    return slot.substr(0, n);
}

} // namespace glfx
