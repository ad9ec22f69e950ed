#include "shaders/DefineMap.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>

namespace glfx {

std::string decimalText(int32_t value) {
    std::ostringstream stream;
    stream << value;
    return stream.str();
}

int32_t truncateToInt32(float value) {
    // Beyond 2^63 a float is a multiple of 2^40, so its low 32 bits are zero anyway.
    if (!std::isfinite(value) || std::fabs(value) >= 9.2233720e18f) return 0;
    const auto whole = static_cast<int64_t>(value);
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(whole)));
}

bool ByteOrder::operator()(const std::string& a, const std::string& b) const {
    const int order = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
    return order != 0 ? order < 0 : a.size() < b.size();
}

void DefineMap::set(const std::string& key, std::string value) {
    entries_[key] = std::move(value);
}

const std::string* DefineMap::find(const std::string& key) const {
    const auto entry = entries_.find(key);
    return entry == entries_.end() ? nullptr : &entry->second;
}

std::string DefineMap::preamble() const {
    std::string text;
    for (const auto& [key, value] : entries_) {
        text += key;
        text += ' ';
        text += value;
        text += "\r\n";
    }
    return text;
}

bool isDefiningParam(const EffectDescription& description, int32_t index) {
    if (index < 1 || index >= kMaxParams) return false;
    const ParamSpec& spec = description.params[static_cast<size_t>(index)];
    return spec.type == ParamType::Popup && (spec.flags == 1 || spec.flags == 2);
}

std::string defineKey(const ParamSpec& spec) {
    return "#define " + spec.uniform;
}

std::string defineValueText(const ParamSpec& spec, int32_t choiceIndex) {
    if (spec.flags != 2) return decimalText(choiceIndex);
    if (choiceIndex >= 0 && static_cast<size_t>(choiceIndex) < spec.items.size())
        return spec.items[static_cast<size_t>(choiceIndex)];
    return spec.items.empty() ? std::string() : spec.items.front();
}

void setDefine(DefineMap& defines, const ParamSpec& spec, int32_t choiceIndex) {
    defines.set(defineKey(spec), defineValueText(spec, choiceIndex));
}

void fillDefines(DefineMap& defines, const EffectDescription& description,
                 const float (*paramValues)[4]) {
    const int32_t count = std::min(description.settings.paramCount, kMaxParams);
    for (int32_t i = 1; i < count; ++i) {
        if (!isDefiningParam(description, i)) continue;
        const ParamSpec& spec = description.params[static_cast<size_t>(i)];
        const int32_t choice = truncateToInt32(paramValues[i][0]);
        // A flags-2 choice outside the items (a stale or damaged value) writes nothing.
        if (spec.flags == 2 && (choice < 0 || static_cast<size_t>(choice) >= spec.items.size()))
            continue;
        setDefine(defines, spec, choice);
    }
}

} // namespace glfx
