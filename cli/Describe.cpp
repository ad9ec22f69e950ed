#include "Describe.h"

#include <iomanip>
#include <sstream>

namespace glfx::cli {
namespace {

std::string sourceName(int32_t src) {
    if (isLayerSource(src)) return "layer" + std::to_string(layerOfSource(src));
    return "ps" + std::to_string(src);
}

std::string defaults(const ParamSpec& p) {
    std::ostringstream s;
    s << p.defaultValue[0];
    if (p.components >= 2 || p.type == ParamType::Point) s << ", " << p.defaultValue[1];
    if (p.components >= 3) s << ", " << p.defaultValue[2];
    return s.str();
}

} // namespace

void describe(std::ostream& out, const EffectDescription& d) {
    const EffectSettings& s = d.settings;
    out << "effect      " << s.name << "\n"
        << "version     " << s.version << "\n"
        << "category    " << s.category << "\n"
        << "description " << s.description << "\n"
        << "parameters  " << s.paramCount << " (layers " << s.layerCount << ")\n"
        << "passes      " << s.passCount << (s.fast ? ", fast transfers" : "")
        << (s.edgeRepeat ? ", repeating edges" : "") << ", cells " << s.cellsx << "x" << s.cellsy
        << "\n\n";

    out << std::left << std::setw(4) << "#" << std::setw(12) << "type" << std::setw(20) << "name"
        << std::setw(16) << "uniform" << std::setw(18) << "default"
        << "range\n";
    for (int i = 0; i < s.paramCount && i < kMaxParams; ++i) {
        const ParamSpec& p = d.params[i];
        std::ostringstream range;
        if (p.type == ParamType::Popup)
            range << p.text;
        else if (p.type == ParamType::Int || p.type == ParamType::Float ||
                 p.type == ParamType::Float2)
            range << p.min << " .. " << p.max;
        out << std::setw(4) << i << std::setw(12) << paramTypeKeyword(p.type) << std::setw(20)
            << p.name << std::setw(16) << p.uniform << std::setw(18)
            << (p.type == ParamType::Layer ? "" : defaults(p)) << range.str();
        if (p.hidden) out << " (hidden)";
        if (p.group > 0) out << " (group " << p.group << ")";
        if (p.group < 0) out << " (switch for groups " << -static_cast<int64_t>(p.group) << "+)";
        out << "\n";
    }

    out << "\npasses\n";
    for (int pass = 0; pass < s.passCount && pass < kMaxPasses; ++pass) {
        out << "  ps" << pass << " <-";
        for (int slot = 0; slot < kMaxSlots && s.routing[pass][slot] != kEmptySlot; ++slot)
            out << " in" << slot << "=" << sourceName(s.routing[pass][slot]);
        const size_t bytes = pass < int(d.pixelShaders.size()) ? d.pixelShaders[pass].size() : 0;
        out << "  (" << bytes << " bytes of GLSL)\n";
    }
}

} // namespace glfx::cli
