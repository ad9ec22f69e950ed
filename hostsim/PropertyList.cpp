#include "hostsim/PropertyList.h"

#include <stdexcept>

namespace glfx::hostsim {
namespace {

class Reader {
public:
    explicit Reader(const std::string& bytes) : bytes_(bytes) {}

    uint32_t u16() {
        const uint32_t low = byte();
        return low | uint32_t(byte()) << 8;
    }
    uint32_t u32() {
        const uint32_t low = u16();
        return low | u16() << 16;
    }
    // Four-character codes are stored byte-reversed.
    std::string code() {
        const std::string stored = take(4);
        return {stored[3], stored[2], stored[1], stored[0]};
    }
    std::string take(size_t n) {
        need(n);
        std::string s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    size_t pos() const { return pos_; }

private:
    uint8_t byte() {
        need(1);
        return static_cast<uint8_t>(bytes_[pos_++]);
    }
    void need(size_t n) const {
        if (bytes_.size() - pos_ < n)
            throw std::runtime_error("property resource ends at byte " + std::to_string(pos_) +
                                     " in the middle of a property");
    }
    const std::string& bytes_;
    size_t pos_ = 0;
};

std::string countedString(const std::string& data) {
    if (data.empty()) return {};
    const size_t length = static_cast<uint8_t>(data[0]);
    std::string text = data.substr(1, length);
    return text.substr(0, text.find('\0'));
}

uint32_t le32(const std::string& data) {
    if (data.size() < 4) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<uint8_t>(data[size_t(i)]);
    return v;
}

} // namespace

PropertyList parsePropertyList(const std::string& bytes) {
    Reader r(bytes);
    const uint32_t listVersion = r.u16();
    if (listVersion != 1)
        throw std::runtime_error("property resource has list version " +
                                 std::to_string(listVersion) + ", expected 1");
    r.u32(); // reserved
    const uint32_t count = r.u32();
    PropertyList list;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t at = r.pos();
        const std::string vendor = r.code();
        if (vendor != "8BIM")
            throw std::runtime_error("property " + std::to_string(i) + " at byte " +
                                     std::to_string(at) + " has vendor \"" + vendor +
                                     "\", expected \"8BIM\"");
        const std::string key = r.code();
        r.u32(); // id
        const uint32_t length = r.u32();
        std::string data = r.take(length);
        r.take((4 - length % 4) % 4);
        list.raw[key] = data;
    }
    auto get = [&](const char* key) {
        auto it = list.raw.find(key);
        return it != list.raw.end() ? it->second : std::string();
    };
    const std::string kind = get("kind");
    if (kind.size() == 4) list.kind = {kind[3], kind[2], kind[1], kind[0]};
    list.name = countedString(get("name"));
    list.category = countedString(get("catg"));
    const std::string entry = get("8664");
    list.entryPoint = entry.substr(0, entry.find('\0'));
    list.matchName = countedString(get("eMNA"));
    list.version = le32(get("eVER"));
    list.outFlags = le32(get("eGLO"));
    list.outFlags2 = le32(get("eGL2"));
    list.aeFlags = le32(get("aeFL"));
    return list;
}

} // namespace glfx::hostsim
