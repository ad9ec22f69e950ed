// The effect code as it travels in a library's code slot or in a ".glfx" file.
#pragma once

#include <cstddef>
#include <string>

namespace glfx {

constexpr size_t kCodeSlotSize = 65225;
// An unpatched library's slot begins with this; its code then comes from the code file.
constexpr char kCodeTemplateTag[] = "##GLFX_CODE";
constexpr unsigned char kCipherHeader[3] = {0x12, 0x14, 0x18};
constexpr unsigned char kCipherEndMarker[3] = {0x12, 0x13, 0x14};
// Used when the effect name is empty, so that the keystream never divides by a zero length.
constexpr char kFallbackCipherKey[] = "G";

enum class CodeForm { Template, Enciphered, Plain };

// Which of the three forms a slot's bytes are in, tested in that order.
CodeForm codeSlotForm(const std::string& slot);

// Deciphers the body between the header and the first end marker (or the end of `code`).
// The result has exactly as many bytes as that body.
std::string decipherCode(const std::string& code, const std::string& key);

// The inverse of decipherCode for texts without NUL bytes: header, body, end marker. Throws
// std::invalid_argument when the enciphered body would contain the end marker (the slot could
// not hold it: the text would be cut there) or when `text` holds a NUL byte.
std::string encipherCode(const std::string& text, const std::string& key);

// The file's text with CRLF pairs turned into LF, cut at its first NUL byte; an empty text for
// an empty path or a file that cannot be opened or sized.
std::string readCodeFile(const std::string& path);

// The effect code a code slot stands for: the code file folder + name + ".glfx" for a template
// slot (empty when there is no folder or no readable file), the deciphered text for an
// enciphered slot keyed by `name`, the slot's bytes otherwise.
std::string effectCode(const std::string& slot, const std::string& folder, const std::string& name);

} // namespace glfx
