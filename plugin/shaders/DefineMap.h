// The per-instance table of "#define" constants: popup parameters whose `flags` is 1 or 2 reach
// the shaders as preprocessor constants instead of uniforms, so changing one means recompiling.
// Keys are "#define " followed by the parameter's `uniform`; values are the text after the name.
#pragma once

#include "effect/EffectDescription.h"

#include <cstdint>
#include <map>
#include <string>

namespace glfx {

// A signed 32-bit integer as decimal text, the way stream insertion writes it ("-12", "0"). Shared
// by the define values and the sampler names "in0" ... "in31".
std::string decimalText(int32_t value);

// A parameter value as an integer: truncated toward zero, keeping the low 32 bits of the integer
// part, without clamping (-2.7 gives -2, 2^32 + 5 gives 5). NaN and infinities give 0.
int32_t truncateToInt32(float value);

// Orders byte strings byte by byte as unsigned characters, whatever the sign of `char`.
struct ByteOrder {
    bool operator()(const std::string& a, const std::string& b) const;
};

class DefineMap {
public:
    using Entries = std::map<std::string, std::string, ByteOrder>;

    virtual ~DefineMap() = default;

    // Inserts or replaces.
    void set(const std::string& key, std::string value);
    // Null when absent.
    const std::string* find(const std::string& key) const;
    const Entries& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // Each entry in key order as key, one blank, value and "\r\n"; empty without entries.
    std::string preamble() const;

private:
    Entries entries_;
};

// Entry `index` (1 or above) is a popup with `flags` exactly 1 or 2.
bool isDefiningParam(const EffectDescription& description, int32_t index);

// "#define " followed by the parameter's `uniform`.
std::string defineKey(const ParamSpec& spec);

// The value text for choice `choiceIndex` (0-based): `flags` 1 gives the index in decimal, `flags`
// 2 the chosen item's text unchanged. An index outside the items (a stale or damaged value) gives
// the first item, or an empty text when there is none, rather than reading past the list.
std::string defineValueText(const ParamSpec& spec, int32_t choiceIndex);

// Sets the entry of one defining parameter; the user-change handler calls this with the host's
// 1-based popup value minus one.
void setDefine(DefineMap& defines, const ParamSpec& spec, int32_t choiceIndex);

// Sets the entry of every defining parameter below `paramCount` from component 0 of its value,
// except a `flags` 2 choice outside the items, whose entry keeps what it had (or stays absent).
// Entries are never removed.
void fillDefines(DefineMap& defines, const EffectDescription& description,
                 const float (*paramValues)[4]);

} // namespace glfx
