// The fixed slots in the library's constant data. A packaging step overwrites them in a built
// library file, so they are read through volatile accesses: the compiler must not fold the
// template's bytes into the code that reads them.
#pragma once

#include "effect/CodeContainer.h"
#include "resources/PropertyResource.h"

#include <cstddef>
#include <string>

namespace glfx {

// Each slot is preceded by a 16-byte tag, unique in the library file, so a packaging step finds
// the slot again after it has been overwritten once.
// The tags are macros, not constants: a constant array could be emitted into the library as a
// second copy of the tag, and the packaging step would no longer find one slot.
constexpr size_t kSlotTagSize = 16;
#define GLFX_NAME_SLOT_TAG "glfx-name-slot:"
#define GLFX_CODE_SLOT_TAG "glfx-code-slot:"
static_assert(sizeof GLFX_NAME_SLOT_TAG == kSlotTagSize &&
              sizeof GLFX_CODE_SLOT_TAG == kSlotTagSize);

struct NameSlotBlock {
    char tag[kSlotTagSize];
    char name[kNameSlotSize];
};
struct CodeSlotBlock {
    char tag[kSlotTagSize];
    char code[kCodeSlotSize];
};

// All 31 bytes of the name slot.
std::string nameSlotBytes();
// All 65,225 bytes of the code slot.
std::string codeSlotBytes();
// The property resource as this library carries it (the packaging step may have patched it).
std::string propertyResourceBytes();

// The name slot's text up to its NUL, as the host registration sees it.
std::string nameSlotText(const std::string& slot);
// The name cut before its first byte that is below 32 as a signed byte (a NUL, a control
// character, or any byte of 0x80 and above): the key of the code cipher and the code file's name.
std::string effectNameFromSlot(const std::string& slot);

} // namespace glfx
