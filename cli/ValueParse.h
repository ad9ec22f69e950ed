// Parameter values as a user types them on the command line, checked against the parameter's
// description and turned into the units the host keeps them in.
//
// Error policy: nothing throws. Each function returns false and leaves one line in `error` that
// names the parameter, says what was expected and echoes (shortened) what was given. The functions
// are pure: they read only their arguments.
//
// What each type takes (blanks around a value or a component are ignored):
//   int            a whole number within the slider's valid range
//   float, float2  a number within the slider's valid range (the valid range is the one the host
//                  is given: the description's first two items when it has two, else min...max)
//   check          on, off, true, false, 1 or 0 (any case)
//   popup          a choice's text (exact, then ignoring case and surrounding blanks), else the
//                  choice's number counted from 1, as the host's menu counts. Text wins: where the
//                  items are numbers themselves ("1|2|4|8"), "4" is the item "4", not choice 4.
//   color          #rrggbb (hex levels 0...255), or r,g,b with each component from 0 to 1 (the
//                  scale of the description's colour defaults and of the shader's vec3)
//   angle          degrees, any finite number the host's 16.16 fixed point holds
//   point          x,y in layer pixels, each within the host's 16.16 fixed point
//   layer, topic_start, topic_end, none: take no value (a layer comes from an image file)
//
// Keyframes: "time:value;time:value..." with times strictly increasing, in whatever unit the
// caller evaluates them in. ';' separates keys because ',' belongs to points and colours. Between
// two keys numbers, angles, points and colours move linearly (colours to the nearest whole level);
// checkboxes and popups hold a key's value until the next key. Before the first key the first
// value holds, after the last the last. A text with no ':' is one value for all times, and so is a
// popup value that names a choice as a whole ("Ratio 16:9").
#pragma once

#include "effect/EffectDescription.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace glfx::cli {

// A value in the host's units:
//   int, float, float2: [0] the slider value      check: [0] 0 or 1
//   popup: [0] the host's 1-based choice           color: [0..2] red, green, blue, 0...255 levels
//   angle: [0] degrees                              point: [0], [1] x, y in layer pixels
struct ParamValue {
    std::array<double, 3> v{0.0, 0.0, 0.0};
};

struct Keyframe {
    double time = 0.0;
    ParamValue value;
};

// Keys in strictly increasing time; a constant is one key.
struct ValueTrack {
    ParamType type = ParamType::Float;
    std::vector<Keyframe> keys;
};

// The 16.16 fixed point of the host's angles and points holds whole parts -32768 ... 32767.
constexpr double kMinFixed = -32768.0;
constexpr double kMaxFixed = 32767.0;

// What the parameter takes, as the error messages say it ("a whole number from 0 to 10").
std::string expectedValue(const ParamSpec& spec);

bool parseValue(const ParamSpec& spec, std::string_view text, ParamValue& value,
                std::string& error) noexcept;

bool parseTrack(const ParamSpec& spec, std::string_view text, ValueTrack& track,
                std::string& error) noexcept;

// The track's value at a time, as described above; an empty track gives zeros.
ParamValue valueAt(const ValueTrack& track, double time) noexcept;

} // namespace glfx::cli
