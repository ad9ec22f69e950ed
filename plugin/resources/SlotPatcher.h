// Writes an effect's name, category and code into the fixed slots of a built library file: the
// packaging step. Works on the file's bytes; nothing is moved, only slot contents change.
#pragma once

#include <cstddef>
#include <string>

namespace glfx {

struct SlotOffsets {
    size_t resource = 0; // the property resource's first byte
    size_t nameSlot = 0; // the 31-byte name slot
    size_t codeSlot = 0; // the 65,225-byte code slot
};

// Finds each slot by its content, looking only at the data a loader maps (not at debug
// information). Throws std::runtime_error when a slot is missing or found more than once.
SlotOffsets locateSlots(const std::string& image);

struct PackRequest {
    std::string name;     // 1 ... 31 printable ASCII bytes
    std::string category; // 0 ... 31 printable ASCII bytes
    std::string code;     // the effect text
    bool plain = false;   // store the text as it is instead of enciphered
};

// Why the packer refuses an effect name, as a message saying what to change; empty when it takes
// it: 1 to 31 printable ASCII bytes that make one folder name (platform::effectNameProblem).
std::string packNameProblem(const std::string& name);
// The same for a category: 0 to 31 printable ASCII bytes.
std::string packCategoryProblem(const std::string& category);

// Why `code` does not fit the code slot (plain, or enciphered), saying by how much; empty when it
// fits.
std::string codeSizeProblem(const std::string& code, bool plain);

// Checks the request and patches `image`; on any refusal it throws std::invalid_argument with a
// message saying what to change, and `image` is left untouched.
void packLibrary(std::string& image, const PackRequest& request);

// What a library's slots hold now, as the plug-in will read them.
struct SlotContents {
    std::string resource; // the 346 bytes
    std::string nameSlot; // the 31 bytes
    std::string codeSlot; // the 65,225 bytes
};
SlotContents readSlots(const std::string& image);

} // namespace glfx
