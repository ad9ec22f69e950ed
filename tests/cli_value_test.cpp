#include "cli/ValueParse.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using namespace glfx;
using namespace glfx::cli;

namespace {

ParamSpec spec(ParamType type, const char* name, float min = 0.0f, float max = 1.0f,
               std::vector<std::string> items = {}) {
    ParamSpec s;
    s.type = type;
    s.name = name;
    s.uniform = "u_" + std::string(name);
    s.min = min;
    s.max = max;
    s.items = std::move(items);
    return s;
}

// A popup as the parser leaves it: min 0, max the last item's index.
ParamSpec popup(const char* name, std::vector<std::string> items) {
    const float last = float(items.size()) - 1.0f;
    return spec(ParamType::Popup, name, 0.0f, last, std::move(items));
}

struct Case {
    ParamSpec spec;
    std::string text;
    std::array<double, 3> value; // when accepted
    std::string error;           // empty when accepted
};

Case ok(const ParamSpec& s, const std::string& text, std::array<double, 3> value) {
    return {s, text, value, ""};
}
// Refused with "parameter "NAME": WHAT".
Case bad(const ParamSpec& s, const std::string& text, const std::string& what) {
    return {s, text, {}, "parameter \"" + s.name + "\": " + what};
}
// Refused with "parameter "NAME": EXPECTED, got "TEXT"".
Case got(const ParamSpec& s, const std::string& text, const std::string& expected) {
    return bad(s, text, expected + ", got \"" + text + "\"");
}

void runCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(paramTypeKeyword(c.spec.type)) + " \"" + c.text + "\"");
        ParamValue value;
        value.v = {-7.0, -7.0, -7.0};
        std::string error;
        const bool accepted = parseValue(c.spec, c.text, value, error);
        if (!c.error.empty()) {
            EXPECT_FALSE(accepted);
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(value.v, (std::array<double, 3>{-7.0, -7.0, -7.0})) << "left untouched";
        } else {
            EXPECT_TRUE(accepted) << error;
            EXPECT_EQ(value.v, c.value);
        }
    }
}

ValueTrack track(const ParamSpec& s, const char* text) {
    ValueTrack t;
    std::string error;
    EXPECT_TRUE(parseTrack(s, text, t, error)) << text << ": " << error;
    return t;
}

std::string trackError(const ParamSpec& s, const char* text) {
    ValueTrack t;
    std::string error;
    EXPECT_FALSE(parseTrack(s, text, t, error)) << text;
    return error;
}

} // namespace

TEST(CliValueParse, Sliders) {
    const ParamSpec amount = spec(ParamType::Float, "Amount");
    const ParamSpec count = spec(ParamType::Int, "Count", 0.0f, 10.0f);
    const ParamSpec wide = spec(ParamType::Float, "Radius", 0.0f, 1.0f, {"0", "1000"});
    const ParamSpec inverted = spec(ParamType::Float, "Odd", 5.0f, 1.0f);
    std::vector<Case> cases = {
        ok(amount, "0.5", {0.5}),
        ok(amount, " 0.25\t", {0.25}),
        ok(amount, "+1", {1}),
        ok(spec(ParamType::Float, "Mix", 0.0f, 0.7f), "0.7", {0.7}), // a maximum stored as float
        ok(count, "3", {3}),
        ok(count, "4.0", {4}),
        got(count, "2.5", "expected a whole number from 0 to 10"),
        got(count, "11", "expected a whole number from 0 to 10"),
        ok(wide, "500", {500}), // the items' valid range, not min...max
        got(wide, "1001", "expected a number from 0 to 1000"),
        ok(spec(ParamType::Float2, "Scale x", -2.0f, 2.0f), "-1.5", {-1.5}),
        ok(inverted, "100", {100}), // no range to check against
        got(inverted, "x", "expected a number"),
    };
    for (const char* text :
         {"1.5", "-0.01", "abc", "", "0.5x", "0x1", "nan", "inf", "1e400", "++1", "+-1", "0.5,1"})
        cases.push_back(got(amount, text, "expected a number from 0 to 1"));
    runCases(cases);
}

TEST(CliValueParse, Checkboxes) {
    const ParamSpec box = spec(ParamType::Check, "Invert");
    std::vector<Case> cases;
    for (const char* on : {"on", "ON", "true", "True", "1", " on "})
        cases.push_back(ok(box, on, {1}));
    for (const char* off : {"off", "Off", "false", "FALSE", "0"})
        cases.push_back(ok(box, off, {0}));
    for (const char* other : {"yes", "2", ""})
        cases.push_back(got(box, other, "expected on, off, true, false, 1 or 0"));
    runCases(cases);
}

TEST(CliValueParse, PopupsByTextThenByOneBasedNumber) {
    const ParamSpec quality = popup("Quality", {"Low", "Mid", "High"});
    const ParamSpec samples = popup("Samples", {"1", "2", "4", "8"});
    const ParamSpec cased = popup("Case", {"a", "A", "ab", "AB", " Padded "});
    // Items named before "type=popup" leave max at 1: the host offers two choices.
    const ParamSpec early = spec(ParamType::Popup, "Early", 0.0f, 1.0f, {"One", "Two", "Three"});
    const ParamSpec unnamed = spec(ParamType::Popup, "Bare", 0.0f, 2.0f);
    std::vector<Case> cases = {
        ok(quality, "Mid", {2}),
        ok(quality, "mid", {2}),
        ok(quality, " HIGH ", {3}),
        ok(quality, "1", {1}),
        ok(samples, "4", {3}), // the item "4", not choice 4
        ok(samples, "3", {3}), // no item "3": choice 3
        ok(cased, "a", {1}),
        ok(cased, "A", {2}),
        ok(cased, "padded", {5}),
        ok(cased, " Padded ", {5}),
        bad(cased, "Ab",
            "\"Ab\" matches choices 3 and 4; give the exact text or the choice number"),
        ok(early, "Two", {2}),
        got(early, "Three", "expected one of \"One\", \"Two\" or a choice number from 1 to 2"),
        ok(unnamed, "3", {3}),
        got(unnamed, "x", "expected a choice number from 1 to 3"),
        bad(spec(ParamType::Popup, "Broken", 0.0f, -1.0f), "1", "the popup has no choices"),
    };
    for (const char* text : {"4", "0", "1.5", "Lo"})
        cases.push_back(got(quality, text,
                            "expected one of \"Low\", \"Mid\", \"High\" or a choice number "
                            "from 1 to 3"));
    runCases(cases);
}

TEST(CliValueParse, ColoursAnglesPoints) {
    const ParamSpec tint = spec(ParamType::Color, "Tint");
    const ParamSpec turn = spec(ParamType::Angle, "Turn");
    const ParamSpec centre = spec(ParamType::Point, "Centre");
    const std::string colour = "expected a colour as #rrggbb or r,g,b with components from 0 to 1";
    std::vector<Case> cases = {
        ok(tint, "#ff8000", {255, 128, 0}),
        ok(tint, "#00aB0c", {0, 171, 12}),
        ok(tint, "1,0.5,0", {255, 128, 0}),
        ok(tint, "0.2, 0.4 ,1", {51, 102, 255}),
        got(tint, "255,128,0", colour + " (use #rrggbb for 0...255 levels)"),
        ok(turn, "45", {45}),
        ok(turn, "-90.5", {-90.5}),
        ok(centre, "10,20", {10, 20}),
        ok(centre, "10.75, -0.5", {10.75, -0.5}),
    };
    for (const char* text :
         {"#ff800", "#gg0000", "#fg0000", "#ff80:0", "", "1,0", "1,0,0,0", "#ff8000ff", "1,,0"})
        cases.push_back(got(tint, text, colour));
    for (const char* text : {"40000", "45deg"})
        cases.push_back(got(turn, text, "expected an angle in degrees from -32768 to 32767"));
    for (const char* text : {"10", "1,2,3", "40000,0", "10 20"})
        cases.push_back(got(centre, text,
                            "expected a point as x,y in layer pixels, each from -32768 to 32767"));
    runCases(cases);
}

TEST(CliValueParse, TypesWithoutValues) {
    ParamSpec unnamed = spec(ParamType::TopicStart, "");
    unnamed.uniform.clear();
    runCases({
        bad(spec(ParamType::Layer, "Matte"), "matte.png",
            "is a layer: it takes an image file, not a value"),
        bad(spec(ParamType::TopicStart, "Look"), "1", "has no value to set (it is a topic_start)"),
        bad(spec(ParamType::TopicEnd, "Look end"), "1", "has no value to set (it is a topic_end)"),
        bad(spec(ParamType::None, "Gap"), "1", "has no value to set (it is a none)"),
        {unnamed, "1", {}, "parameter \"(unnamed)\": has no value to set (it is a topic_start)"},
    });
}

TEST(CliValueParse, MessagesNameTheParameterOnOneShortLine) {
    const auto errorFor = [](const ParamSpec& s, const std::string& text) {
        ParamValue value;
        std::string error;
        EXPECT_FALSE(parseValue(s, text, value, error)) << text;
        return error;
    };
    ParamSpec byUniform = spec(ParamType::Float, "");
    byUniform.uniform = "amount";
    EXPECT_EQ(errorFor(byUniform, "x"),
              "parameter \"amount\": expected a number from 0 to 1, got \"x\"");
    const ParamSpec amount = spec(ParamType::Float, "Amount");
    EXPECT_EQ(errorFor(amount, "1\n2"),
              "parameter \"Amount\": expected a number from 0 to 1, got \"1?2\"");
    EXPECT_EQ(errorFor(amount, std::string(1000, '9') + "x"),
              "parameter \"Amount\": expected a number from 0 to 1, got \"" + std::string(40, '9') +
                  "...\"");
    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i)
        many.push_back("item" + std::to_string(i));
    EXPECT_EQ(errorFor(popup("Many", many), "nope"),
              "parameter \"Many\": expected one of \"item0\", \"item1\", \"item2\", \"item3\", "
              "\"item4\", \"item5\", \"item6\", \"item7\", ... or a choice number from 1 to 20, "
              "got \"nope\"");
}

TEST(CliValueParse, KeyframesInterpolateLinearlyAndHoldAtTheEnds) {
    const ValueTrack amount = track(spec(ParamType::Float, "Amount"), "0:0; 10:1");
    ASSERT_EQ(amount.keys.size(), 2u);
    struct At {
        double time;
        double value;
    };
    for (const At& at : {At{-5, 0}, At{0, 0}, At{2.5, 0.25}, At{5, 0.5}, At{10, 1}, At{99, 1},
                         At{std::numeric_limits<double>::quiet_NaN(), 0}})
        EXPECT_DOUBLE_EQ(valueAt(amount, at.time).v[0], at.value) << at.time;

    const ValueTrack three = track(spec(ParamType::Float, "A", -100, 100), "0:0;1:10;3:0");
    EXPECT_EQ(
        std::make_tuple(valueAt(three, 0.5).v[0], valueAt(three, 1).v[0], valueAt(three, 2).v[0]),
        std::make_tuple(5.0, 10.0, 5.0));

    const ValueTrack colour = track(spec(ParamType::Color, "Tint"), "0:#000000;10:#ff0a01");
    EXPECT_EQ(valueAt(colour, 5).v, (std::array<double, 3>{128, 5, 1})); // 127.5 and 0.5 round up
    EXPECT_EQ(valueAt(colour, 1).v, (std::array<double, 3>{26, 1, 0}));

    const ValueTrack point = track(spec(ParamType::Point, "Centre"), "0:0,0;4:8,-4");
    EXPECT_EQ(valueAt(point, 1).v, (std::array<double, 3>{2, -1, 0}));

    // Keys at the ends of the double range do not overflow.
    const ValueTrack far = track(spec(ParamType::Float, "Far"), "-1e308:0;1e308:1");
    EXPECT_DOUBLE_EQ(valueAt(far, 0).v[0], 0.5);
}

TEST(CliValueParse, CheckboxAndPopupKeysHold) {
    const ValueTrack box = track(spec(ParamType::Check, "Invert"), "0:off;5:on;8:off");
    EXPECT_EQ(std::make_tuple(valueAt(box, 4.99).v[0], valueAt(box, 5).v[0], valueAt(box, 7.9).v[0],
                              valueAt(box, 8).v[0]),
              std::make_tuple(0.0, 1.0, 1.0, 0.0));

    const ValueTrack menu = track(popup("Quality", {"Low", "Mid", "High"}), "0:Low;2:3");
    EXPECT_EQ(std::make_pair(valueAt(menu, 1.9).v[0], valueAt(menu, 2).v[0]),
              std::make_pair(1.0, 3.0));
}

TEST(CliValueParse, ConstantsAndChoicesWithColons) {
    const ValueTrack constant = track(spec(ParamType::Point, "Centre"), "3,4");
    ASSERT_EQ(constant.keys.size(), 1u);
    EXPECT_EQ(valueAt(constant, -1e9).v, (std::array<double, 3>{3, 4, 0}));
    EXPECT_EQ(valueAt(constant, 1e9).v, (std::array<double, 3>{3, 4, 0}));

    const ParamSpec ratio = popup("Ratio", {"16:9", "4:3", "Wide 2:1"});
    const ValueTrack named = track(ratio, "4:3");
    ASSERT_EQ(named.keys.size(), 1u);
    EXPECT_EQ(named.keys[0].value.v[0], 2.0);
    EXPECT_EQ(track(ratio, "wide 2:1").keys[0].value.v[0], 3.0);
    const ValueTrack keyed = track(ratio, "0:16:9;5:Wide 2:1");
    ASSERT_EQ(keyed.keys.size(), 2u);
    EXPECT_EQ(valueAt(keyed, 6).v[0], 3.0);

    ValueTrack empty;
    EXPECT_EQ(valueAt(empty, 1).v, (std::array<double, 3>{0, 0, 0}));
}

TEST(CliValueParse, KeyframeErrors) {
    const ParamSpec amount = spec(ParamType::Float, "Amount");
    const std::string form = "expected time:value, keys separated by ';'";
    const struct {
        const char* text;
        int key;
        const char* keyText;
        std::string what;
    } cases[] = {
        {"0:0;0:1", 2, "0:1", "key times must increase (0 follows 0)"},
        {"5:0;1:1", 2, "1:1", "key times must increase (1 follows 5)"},
        {"x:1", 1, "x:1", form},
        {"0:1;", 2, "", form},
        {"0:1;;2:0", 2, "", form},
        {"nan:0", 1, "nan:0", form},
        {":1", 1, ":1", form},
        {"0:1,2:0", 1, "0:1,2:0", "expected a number from 0 to 1, got \"1,2:0\""},
        {"0:0;1:2", 2, "1:2", "expected a number from 0 to 1, got \"2\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(trackError(amount, c.text), "parameter \"Amount\": key " + std::to_string(c.key) +
                                                  " \"" + c.keyText + "\": " + c.what)
            << c.text;

    // A failed parse leaves the caller's track as it was.
    ValueTrack kept = track(amount, "0:0.5");
    std::string error;
    EXPECT_FALSE(parseTrack(amount, "0:0;1:x", kept, error));
    ASSERT_EQ(kept.keys.size(), 1u);
    EXPECT_EQ(kept.keys[0].value.v[0], 0.5);
}
