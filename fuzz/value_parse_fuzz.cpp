// The glfx command's parameter value parsers on any text, for every parameter type and a few
// ranges and choice lists: a refusal says why on one line; an accepted value is finite and inside
// what the type allows; keyframe times increase and every value between them is finite.
// Input: byte 0 picks the type, byte 1 the range or choice list, byte 2 a time to read the track
// at, the rest is the text.
#include "FuzzCheck.h"
#include "cli/ValueParse.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

using glfx::fuzz::require;
using namespace glfx;

namespace {

const ParamType kTypes[] = {ParamType::None,       ParamType::Int,      ParamType::Check,
                            ParamType::Popup,      ParamType::Layer,    ParamType::Float,
                            ParamType::Color,      ParamType::Angle,    ParamType::Point,
                            ParamType::TopicStart, ParamType::TopicEnd, ParamType::Float2};

ParamSpec makeSpec(uint8_t type, uint8_t variant) {
    ParamSpec spec;
    spec.type = kTypes[type % (sizeof kTypes / sizeof kTypes[0])];
    spec.name = "Fuzzed";
    spec.uniform = "fuzzed";
    switch (variant % 5) {
    case 0:
        spec.min = 0.0f;
        spec.max = 1.0f;
        break;
    case 1:
        spec.min = -10.0f;
        spec.max = 10.0f;
        spec.text = "0|1000";
        spec.items = {"0", "1000"};
        break;
    case 2: // a range the wrong way round
        spec.min = 5.0f;
        spec.max = 1.0f;
        break;
    case 3:
        spec.text = "Low|Mid|High|  mid ";
        spec.items = {"Low", "Mid", "High", "  mid "};
        spec.max = 3.0f;
        break;
    default:
        spec.text = "1|2|4|8|Ratio 16:9";
        spec.items = {"1", "2", "4", "8", "Ratio 16:9"};
        spec.max = 4.0f;
        break;
    }
    return spec;
}

void checkValue(const ParamSpec& spec, const cli::ParamValue& value) {
    for (double v : value.v)
        require(std::isfinite(v), "values are finite");
    const double x = value.v[0];
    switch (spec.type) {
    case ParamType::Int:
        require(x == std::floor(x), "an int is whole");
        break;
    case ParamType::Check:
        require(x == 0.0 || x == 1.0, "a checkbox is 0 or 1");
        break;
    case ParamType::Popup:
        require(x >= 1.0 && x <= std::trunc(double(spec.max)) + 1.0 && x == std::floor(x),
                "a popup value is one of its choices, counted from 1");
        break;
    case ParamType::Color:
        for (double c : value.v)
            require(c >= 0.0 && c <= 255.0 && c == std::floor(c), "colour levels 0 ... 255");
        break;
    case ParamType::Angle:
        require(x >= cli::kMinFixed && x <= cli::kMaxFixed, "an angle fits 16.16");
        break;
    case ParamType::Point:
        require(x >= cli::kMinFixed && x <= cli::kMaxFixed && value.v[1] >= cli::kMinFixed &&
                    value.v[1] <= cli::kMaxFixed,
                "a point fits 16.16");
        break;
    default:
        break;
    }
}

void checkRefusal(const std::string& error) {
    require(!error.empty(), "a refusal says why");
    require(error.find('\n') == std::string::npos && error.find('\r') == std::string::npos,
            "a refusal is one line");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const ParamSpec spec = makeSpec(data[0], data[1]);
    const double time = double(int(data[2]) - 64) * 0.75;
    const std::string_view text(reinterpret_cast<const char*>(data + 3), size - 3);

    cli::ParamValue value;
    std::string error;
    if (cli::parseValue(spec, text, value, error))
        checkValue(spec, value);
    else
        checkRefusal(error);

    cli::ValueTrack track;
    error.clear();
    if (!cli::parseTrack(spec, text, track, error)) {
        checkRefusal(error);
        return 0;
    }
    require(!track.keys.empty(), "an accepted track has a key");
    for (size_t i = 0; i < track.keys.size(); ++i) {
        checkValue(spec, track.keys[i].value);
        require(i == 0 || track.keys[i].time > track.keys[i - 1].time, "key times increase");
    }
    const cli::ParamValue between = cli::valueAt(track, time);
    for (double v : between.v)
        require(std::isfinite(v), "a value between keys is finite");
    return 0;
}
