#include "import/JsonRead.h"

#include "import/Import.h"
#include "import/ShaderKit.h"

#include <cctype>
#include <cstdlib>

namespace glfx::import {
namespace {

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// nlohmann's message without its "[json.exception...] parse error at line L, column C: " head.
std::string reason(const std::string& what) {
    const size_t column = what.find("column ");
    if (column != std::string::npos) {
        const size_t colon = what.find(": ", column);
        if (colon != std::string::npos) return what.substr(colon + 2);
    }
    const size_t bracket = what.find("] ");
    return bracket == std::string::npos ? what : what.substr(bracket + 2);
}

} // namespace

Json parseJson(const std::string& text, const std::string& file, const std::string& whole,
               size_t offset) {
    try {
        return Json::parse(text, nullptr, true, true);
    } catch (const Json::parse_error& e) {
        // `byte` counts from 1 and points at the last character read.
        const size_t at = offset + (e.byte > 0 ? e.byte - 1 : 0);
        int line = 0;
        int column = 0;
        lineAndColumn(whole, at, line, column);
        throw ImportError(file + ":" + std::to_string(line) + ":" + std::to_string(column) +
                          ": malformed JSON: " + reason(e.what()));
    }
}

const Json* member(const Json& object, const std::string& key) {
    if (!object.is_object()) return nullptr;
    const auto exact = object.find(key);
    if (exact != object.end()) return &*exact;
    for (auto it = object.begin(); it != object.end(); ++it)
        if (sameIgnoringCase(it.key(), key)) return &*it;
    return nullptr;
}

std::optional<double> asNumber(const Json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_number()) return value->get<double>();
    if (value->is_boolean()) return value->get<bool>() ? 1.0 : 0.0;
    if (value->is_string()) {
        const std::string& s = value->get_ref<const std::string&>();
        char* end = nullptr;
        const double v = std::strtod(s.c_str(), &end);
        if (end != s.c_str() && *end == '\0') return v;
    }
    return std::nullopt;
}

std::optional<bool> asBool(const Json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_boolean()) return value->get<bool>();
    if (value->is_number()) return value->get<double>() != 0.0;
    if (value->is_string()) {
        const std::string& s = value->get_ref<const std::string&>();
        if (s == "true" || s == "1") return true;
        if (s == "false" || s == "0") return false;
    }
    return std::nullopt;
}

std::optional<std::string> asString(const Json* value) {
    if (value == nullptr) return std::nullopt;
    if (value->is_string()) return value->get<std::string>();
    if (value->is_number_integer()) return std::to_string(value->get<long long>());
    if (value->is_number()) return glslFloat(value->get<double>());
    return std::nullopt;
}

} // namespace glfx::import
