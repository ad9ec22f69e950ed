#include "effect/CodeContainer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace glfx {
namespace {

bool startsWithBytes(const std::string& s, const void* bytes, size_t n) {
    return s.size() >= n && std::memcmp(s.data(), bytes, n) == 0;
}

size_t findEndMarker(const std::string& s, size_t from) {
    return s.find(reinterpret_cast<const char*>(kCipherEndMarker), from, sizeof kCipherEndMarker);
}

unsigned char keystream(const std::string& key, size_t i) {
    const unsigned char k = static_cast<unsigned char>(key[i % key.size()]);
    return static_cast<unsigned char>((k + i) % 255);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

} // namespace

CodeForm codeSlotForm(const std::string& slot) {
    if (startsWithBytes(slot, kCodeTemplateTag, sizeof kCodeTemplateTag - 1))
        return CodeForm::Template;
    if (startsWithBytes(slot, kCipherHeader, sizeof kCipherHeader)) return CodeForm::Enciphered;
    return CodeForm::Plain;
}

std::string decipherCode(const std::string& code, const std::string& key) {
    const std::string& k = key.empty() ? std::string(kFallbackCipherKey) : key;
    const size_t begin = std::min(code.size(), sizeof kCipherHeader);
    size_t end = findEndMarker(code, 0);
    if (end == std::string::npos) end = code.size();
    std::string out;
    if (end <= begin) return out;
    out.reserve(end - begin);
    for (size_t i = 0; i < end - begin; ++i) {
        const unsigned char b = static_cast<unsigned char>(code[begin + i]);
        unsigned char c = b ^ keystream(k, i);
        if (c == 0) c = b;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

std::string encipherCode(const std::string& text, const std::string& key) {
    const std::string& k = key.empty() ? std::string(kFallbackCipherKey) : key;
    const size_t nul = text.find('\0');
    if (nul != std::string::npos)
        throw std::invalid_argument("effect code holds a NUL byte at offset " +
                                    std::to_string(nul) + "; remove it before packing");
    std::string out(reinterpret_cast<const char*>(kCipherHeader), sizeof kCipherHeader);
    out.reserve(text.size() + 2 * sizeof kCipherHeader);
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char t = static_cast<unsigned char>(text[i]);
        const unsigned char ks = keystream(k, i);
        // Where the text byte equals its keystream value, the byte itself deciphers to it too;
        // prefer it, so that the body holds no NUL.
        out.push_back(static_cast<char>(t == ks ? t : t ^ ks));
    }
    const size_t marker = findEndMarker(out, 0);
    if (marker != std::string::npos)
        throw std::invalid_argument(
            "enciphered effect code would contain the end marker at offset " +
            std::to_string(marker - sizeof kCipherHeader) +
            " and be cut there; change a byte of the text near that offset or the effect name");
    out.append(reinterpret_cast<const char*>(kCipherEndMarker), sizeof kCipherEndMarker);
    return out;
}

std::string readCodeFile(const std::string& path) {
    if (path.empty() || path.find('\0') != std::string::npos) return {};
    std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
    if (!f) return {};
    if (std::fseek(f.get(), 0, SEEK_END) != 0) return {};
    const long size = std::ftell(f.get());
    if (size < 0 || std::fseek(f.get(), 0, SEEK_SET) != 0) return {};

    // The size only proves the file is seekable; it is not trusted for the allocation (a
    // directory opens on some systems and reports a huge size).
    std::string raw;
    char chunk[16384];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0;)
        raw.append(chunk, n);
    // Text mode as on the host's platform: every CRLF pair becomes LF, on every platform.
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') continue;
        out.push_back(raw[i]);
    }
    const size_t nul = out.find('\0');
    if (nul != std::string::npos) out.resize(nul);
    return out;
}

std::string effectCode(const std::string& slot, const std::string& folder,
                       const std::string& name) {
    switch (codeSlotForm(slot)) {
    case CodeForm::Template:
        // Without a folder the file is not looked for at all, not even beside the host.
        return folder.empty() ? std::string() : readCodeFile(folder + name + ".glfx");
    case CodeForm::Enciphered:
        return decipherCode(slot, name);
    case CodeForm::Plain:
        break;
    }
    return slot;
}

} // namespace glfx
