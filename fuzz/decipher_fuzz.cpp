// The code slot's decipher routine on any bytes and any key, and the packer's encipher routine
// against it. The first byte gives the key's length (0 ... 40), the next bytes the key, the rest
// the code.
#include "FuzzCheck.h"
#include "effect/CodeContainer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

using glfx::fuzz::require;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t keyLength = std::min<size_t>(data[0] % 41, size - 1);
    const std::string key(reinterpret_cast<const char*>(data + 1), keyLength);
    const std::string code(reinterpret_cast<const char*>(data + 1 + keyLength),
                           size - 1 - keyLength);

    // The body runs from after the 3-byte header to the first end marker, wherever it is.
    const std::string text = glfx::decipherCode(code, key);
    const size_t begin = std::min<size_t>(code.size(), sizeof glfx::kCipherHeader);
    size_t end = code.find(reinterpret_cast<const char*>(glfx::kCipherEndMarker), 0,
                           sizeof glfx::kCipherEndMarker);
    if (end == std::string::npos) end = code.size();
    require(text.size() == (end > begin ? end - begin : 0), "one text byte per body byte");
    require(text.find('\0') == std::string::npos || code.find('\0', begin) < end,
            "a NUL comes out only where one went in");

    // Whatever the packer enciphers deciphers back to the same text.
    std::string plain = code;
    plain.erase(std::remove(plain.begin(), plain.end(), '\0'), plain.end());
    std::string sealed;
    try {
        sealed = glfx::encipherCode(plain, key);
    } catch (const std::invalid_argument&) {
        return 0; // the body would hold the end marker: the packer refuses such a text
    }
    require(glfx::codeSlotForm(sealed) == glfx::CodeForm::Enciphered, "sealed code is enciphered");
    require(glfx::decipherCode(sealed, key) == plain, "encipher then decipher gives the text");
    return 0;
}
