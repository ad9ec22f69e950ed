#include "ValueParse.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace glfx::cli {

namespace {

constexpr size_t kMaxEcho = 40;
constexpr size_t kMaxChoicesListed = 8;

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// User and description texts go into one-line messages: control bytes become '?', long texts
// are cut.
std::string shown(std::string_view text, size_t limit = kMaxEcho) {
    std::string out;
    for (char c : text.substr(0, limit))
        out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
    if (text.size() > limit) out += "...";
    return out;
}

std::string number(double x) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", x);
    return buffer;
}

std::string paramLabel(const ParamSpec& spec) {
    const std::string& name = !spec.name.empty() ? spec.name : spec.uniform;
    return "parameter \"" + shown(name.empty() ? std::string("(unnamed)") : name, 64) + "\"";
}

// A whole token as one finite number; a leading '+' is allowed, as it is by atof.
bool parseNumber(std::string_view text, double& out) {
    text = trim(text);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    if (text.empty()) return false;
    double x = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), x);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(x)) return false;
    out = x;
    return true;
}

// Splits at ','; false unless there are exactly `count` numbers.
bool parseNumbers(std::string_view text, size_t count, double* out) {
    for (size_t i = 0; i < count; ++i) {
        const size_t comma = text.find(',');
        const bool last = i + 1 == count;
        if (last != (comma == std::string_view::npos)) return false;
        if (!parseNumber(text.substr(0, comma), out[i])) return false;
        if (!last) text.remove_prefix(comma + 1);
    }
    return true;
}

// The valid range the host is given for a slider; false when it is no range at all.
bool sliderRange(const ParamSpec& spec, float& low, float& high) {
    if (spec.items.size() >= 2) {
        low = float(std::strtod(spec.items[0].c_str(), nullptr));
        high = float(std::strtod(spec.items[1].c_str(), nullptr));
    } else {
        low = spec.min;
        high = spec.max;
    }
    return low <= high; // false for NaN too
}

// The host offers trunc(max) + 1 choices (a 16-bit count); the items name the first of them.
int popupChoiceCount(const ParamSpec& spec) {
    if (!(spec.max >= 0.0f)) return 0;
    return int(std::min(std::trunc(double(spec.max)) + 1.0, 32767.0));
}

std::string choiceList(const ParamSpec& spec, int count) {
    std::string out;
    const size_t named = std::min(spec.items.size(), size_t(count));
    for (size_t i = 0; i < named && i < kMaxChoicesListed; ++i)
        out += (i ? ", \"" : "\"") + shown(spec.items[i], 24) + "\"";
    if (named > kMaxChoicesListed) out += ", ...";
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = lower(c);
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The reason a text is not a value of the parameter's type, or empty when it is one.
std::string convert(const ParamSpec& spec, std::string_view raw, ParamValue& value) {
    const std::string_view text = trim(raw);
    const std::string got = ", got \"" + shown(raw) + "\"";
    switch (spec.type) {
    case ParamType::Int:
    case ParamType::Float:
    case ParamType::Float2: {
        double x = 0.0;
        if (!parseNumber(text, x)) return "expected " + expectedValue(spec) + got;
        if (spec.type == ParamType::Int && x != std::floor(x))
            return "expected " + expectedValue(spec) + got;
        float low = 0.0f, high = 0.0f;
        // Compared as the float the range is stored in, so "0.7" meets a maximum of 0.7.
        if (sliderRange(spec, low, high) && !(float(x) >= low && float(x) <= high))
            return "expected " + expectedValue(spec) + got;
        value.v = {x, 0.0, 0.0};
        return {};
    }
    case ParamType::Check: {
        for (const char* on : {"on", "true", "1"})
            if (equalsIgnoringCase(text, on)) {
                value.v = {1.0, 0.0, 0.0};
                return {};
            }
        for (const char* off : {"off", "false", "0"})
            if (equalsIgnoringCase(text, off)) {
                value.v = {0.0, 0.0, 0.0};
                return {};
            }
        return "expected " + expectedValue(spec) + got;
    }
    case ParamType::Popup: {
        const int count = popupChoiceCount(spec);
        if (count < 1) return "the popup has no choices";
        const size_t named = std::min(spec.items.size(), size_t(count));
        for (size_t i = 0; i < named; ++i)
            if (spec.items[i] == raw) {
                value.v = {double(i + 1), 0.0, 0.0};
                return {};
            }
        size_t match = named;
        for (size_t i = 0; i < named; ++i) {
            if (!equalsIgnoringCase(trim(spec.items[i]), text)) continue;
            if (match != named)
                return "\"" + shown(raw) + "\" matches choices " + std::to_string(match + 1) +
                       " and " + std::to_string(i + 1) +
                       "; give the exact text or the choice number";
            match = i;
        }
        if (match != named) {
            value.v = {double(match + 1), 0.0, 0.0};
            return {};
        }
        double x = 0.0;
        if (parseNumber(text, x) && x == std::floor(x) && x >= 1.0 && x <= count) {
            value.v = {x, 0.0, 0.0};
            return {};
        }
        return "expected " + expectedValue(spec) + got;
    }
    case ParamType::Color: {
        if (!text.empty() && text[0] == '#') {
            if (text.size() != 7) return "expected " + expectedValue(spec) + got;
            for (int c = 0; c < 3; ++c) {
                const int high = hexDigit(text[size_t(1 + 2 * c)]);
                const int low = hexDigit(text[size_t(2 + 2 * c)]);
                if (high < 0 || low < 0) return "expected " + expectedValue(spec) + got;
                value.v[size_t(c)] = double(high * 16 + low);
            }
            return {};
        }
        double rgb[3] = {};
        if (!parseNumbers(text, 3, rgb)) return "expected " + expectedValue(spec) + got;
        for (double c : rgb)
            if (!(c >= 0.0 && c <= 1.0))
                return "expected " + expectedValue(spec) + " (use #rrggbb for 0...255 levels)" +
                       got;
        for (int c = 0; c < 3; ++c)
            value.v[size_t(c)] = double(std::lround(rgb[c] * 255.0));
        return {};
    }
    case ParamType::Angle: {
        double x = 0.0;
        if (!parseNumber(text, x) || x < kMinFixed || x > kMaxFixed)
            return "expected " + expectedValue(spec) + got;
        value.v = {x, 0.0, 0.0};
        return {};
    }
    case ParamType::Point: {
        double xy[2] = {};
        if (!parseNumbers(text, 2, xy)) return "expected " + expectedValue(spec) + got;
        for (double c : xy)
            if (c < kMinFixed || c > kMaxFixed) return "expected " + expectedValue(spec) + got;
        value.v = {xy[0], xy[1], 0.0};
        return {};
    }
    case ParamType::Layer:
        return "is a layer: it takes an image file, not a value";
    case ParamType::TopicStart:
    case ParamType::TopicEnd:
    case ParamType::None:
        break;
    }
    return "has no value to set (it is a " + std::string(paramTypeKeyword(spec.type)) + ")";
}

bool isHeld(ParamType type) {
    return type == ParamType::Check || type == ParamType::Popup;
}

bool namesChoice(const ParamSpec& spec, std::string_view text) {
    const size_t named = std::min(spec.items.size(), size_t(std::max(popupChoiceCount(spec), 0)));
    for (size_t i = 0; i < named; ++i)
        if (spec.items[i] == text || equalsIgnoringCase(trim(spec.items[i]), trim(text)))
            return true;
    return false;
}

} // namespace

std::string expectedValue(const ParamSpec& spec) {
    switch (spec.type) {
    case ParamType::Int:
    case ParamType::Float:
    case ParamType::Float2: {
        const std::string kind =
            spec.type == ParamType::Int ? "a whole number" : std::string("a number");
        float low = 0.0f, high = 0.0f;
        if (!sliderRange(spec, low, high)) return kind;
        return kind + " from " + number(low) + " to " + number(high);
    }
    case ParamType::Check:
        return "on, off, true, false, 1 or 0";
    case ParamType::Popup: {
        const int count = popupChoiceCount(spec);
        const std::string list = choiceList(spec, count);
        return (list.empty() ? std::string() : "one of " + list + " or ") +
               "a choice number from 1 to " + std::to_string(count);
    }
    case ParamType::Color:
        return "a colour as #rrggbb or r,g,b with components from 0 to 1";
    case ParamType::Angle:
        return "an angle in degrees from " + number(kMinFixed) + " to " + number(kMaxFixed);
    case ParamType::Point:
        return "a point as x,y in layer pixels, each from " + number(kMinFixed) + " to " +
               number(kMaxFixed);
    case ParamType::Layer:
        return "an image file";
    case ParamType::TopicStart:
    case ParamType::TopicEnd:
    case ParamType::None:
        break;
    }
    return "no value";
}

bool parseValue(const ParamSpec& spec, std::string_view text, ParamValue& value,
                std::string& error) noexcept {
    try {
        ParamValue parsed;
        const std::string problem = convert(spec, text, parsed);
        if (!problem.empty()) {
            error = paramLabel(spec) + ": " + problem;
            return false;
        }
        value = parsed;
        return true;
    } catch (...) { // only allocation can fail
        error = "out of memory while reading a parameter value";
        return false;
    }
}

bool parseTrack(const ParamSpec& spec, std::string_view text, ValueTrack& track,
                std::string& error) noexcept {
    try {
        ValueTrack parsed;
        parsed.type = spec.type;
        if (text.find(':') == std::string_view::npos ||
            (spec.type == ParamType::Popup && namesChoice(spec, text))) {
            Keyframe key;
            if (!parseValue(spec, text, key.value, error)) return false;
            parsed.keys.push_back(key);
            track = std::move(parsed);
            return true;
        }
        size_t start = 0;
        for (size_t index = 1;; ++index) {
            const size_t semicolon = text.find(';', start);
            const std::string_view piece = text.substr(start, semicolon - start);
            const std::string where = "key " + std::to_string(index) + " \"" + shown(piece) + "\"";
            const size_t colon = piece.find(':');
            Keyframe key;
            if (colon == std::string_view::npos || !parseNumber(piece.substr(0, colon), key.time)) {
                error = paramLabel(spec) + ": " + where +
                        ": expected time:value, keys separated by ';'";
                return false;
            }
            if (!parsed.keys.empty() && !(key.time > parsed.keys.back().time)) {
                error = paramLabel(spec) + ": " + where + ": key times must increase (" +
                        number(key.time) + " follows " + number(parsed.keys.back().time) + ")";
                return false;
            }
            const std::string problem = convert(spec, piece.substr(colon + 1), key.value);
            if (!problem.empty()) {
                error = paramLabel(spec) + ": " + where + ": " + problem;
                return false;
            }
            parsed.keys.push_back(key);
            if (semicolon == std::string_view::npos) break;
            start = semicolon + 1;
        }
        track = std::move(parsed);
        return true;
    } catch (...) { // only allocation can fail
        error = "out of memory while reading a parameter value";
        return false;
    }
}

ParamValue valueAt(const ValueTrack& track, double time) noexcept {
    const std::vector<Keyframe>& keys = track.keys;
    if (keys.empty()) return {};
    if (!(time > keys.front().time)) return keys.front().value; // NaN too
    if (time >= keys.back().time) return keys.back().value;
    const auto next = std::upper_bound(keys.begin(), keys.end(), time,
                                       [](double t, const Keyframe& k) { return t < k.time; });
    const Keyframe& a = *(next - 1);
    const Keyframe& b = *next;
    if (isHeld(track.type)) return a.value;
    // Halved so that keys at the ends of the double range do not overflow the difference.
    double u = (time * 0.5 - a.time * 0.5) / (b.time * 0.5 - a.time * 0.5);
    u = std::clamp(u, 0.0, 1.0);
    ParamValue out;
    for (size_t c = 0; c < 3; ++c) {
        out.v[c] = a.value.v[c] * (1.0 - u) + b.value.v[c] * u;
        if (track.type == ParamType::Color) out.v[c] = std::clamp(std::round(out.v[c]), 0.0, 255.0);
    }
    return out;
}

} // namespace glfx::cli
