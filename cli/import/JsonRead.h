// Lenient reading of the JSON both formats use: keys found whatever their case, numbers that may
// be written as strings, booleans that may be written as numbers.
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>

namespace glfx::import {

using Json = nlohmann::json;

// Parses `text` (comments allowed). A syntax error throws ImportError
// "FILE:LINE:COLUMN: malformed JSON: what", the position counted in `whole` from `offset`, where
// `text` begins.
Json parseJson(const std::string& text, const std::string& file, const std::string& whole,
               size_t offset);

// The member `key` of an object, matched without regard to case; null when absent or when `object`
// is not an object.
const Json* member(const Json& object, const std::string& key);

std::optional<double> asNumber(const Json* value);
std::optional<bool> asBool(const Json* value);
std::optional<std::string> asString(const Json* value);

} // namespace glfx::import
