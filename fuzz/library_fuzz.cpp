// The library reader behind info and pack (ELF/PE section tables, PE resources, slots) on any file:
// what it takes packs and reads back. The input's 65,225-byte code slot is cut to kSlotHead bytes
// after its tag; the last of them fills the rest.
#include "FuzzCheck.h"
#include "effect/CodeContainer.h"
#include "hostsim/PropertyList.h"
#include "resources/SlotPatcher.h"
#include "resources/Slots.h"

#include <stdexcept>

using namespace glfx;
using glfx::fuzz::require;

namespace {

constexpr size_t kSlotHead = 256;
const char kCode[] = "[settings]\nname=Fuzz\n[ps0]\nvoid main() { gl_FragColor = vec4(1.0); }\n";

std::string expand(const std::string& input) {
    const size_t tag = input.find(std::string(GLFX_CODE_SLOT_TAG, kSlotTagSize));
    if (tag == std::string::npos || input.size() == tag + kSlotTagSize) return input;
    const size_t head = tag + kSlotTagSize, kept = std::min(kSlotHead, input.size() - head);
    return input.substr(0, head + kept) +
           std::string(kCodeSlotSize - kept, input[head + kept - 1]) + input.substr(head + kept);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string image = expand(std::string(reinterpret_cast<const char*>(data), size));
    try {
        const SlotContents slots = readSlots(image);
        if (codeSlotForm(slots.codeSlot) != CodeForm::Template)
            effectCode(slots.codeSlot, {}, effectNameFromSlot(slots.nameSlot));
    } catch (const std::runtime_error&) {
        return 0; // not a library the packer takes: it says so
    }
    std::string packed = image;
    packLibrary(packed, {"Fuzz", "Seeds", kCode, size % 2 == 1}); // plain for odd sizes
    require(packed.size() == image.size(), "packing changes no file size");
    const SlotContents slots = readSlots(packed);
    const std::string code = effectCode(slots.codeSlot, {}, "Fuzz"); // plain: the text, then LFs
    require(nameSlotText(slots.nameSlot) == "Fuzz" && code.rfind(kCode, 0) == 0 &&
                code.find_first_not_of('\n', sizeof kCode - 1) == std::string::npos,
            "the slots hold what was packed");
    const hostsim::PropertyList properties = hostsim::parsePropertyList(slots.resource);
    require(properties.name == "Fuzz" && properties.category == "Seeds",
            "the property resource holds the packed name and category");
    return 0;
}
