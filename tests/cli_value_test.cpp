#include "cli/ValueParse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

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
    const char* text;
    std::array<double, 3> value; // when ok
    const char* error;           // nullptr when the text is valid
};

void runCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(paramTypeKeyword(c.spec.type)) + " \"" + c.text + "\"");
        ParamValue value;
        value.v = {-7.0, -7.0, -7.0};
        std::string error;
        const bool ok = parseValue(c.spec, c.text, value, error);
        if (c.error) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(error, c.error);
            EXPECT_EQ(value.v, (std::array<double, 3>{-7.0, -7.0, -7.0})) << "left untouched";
        } else {
            EXPECT_TRUE(ok) << error;
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
    const ParamSpec seventy = spec(ParamType::Float, "Mix", 0.0f, 0.7f);
    const ParamSpec count = spec(ParamType::Int, "Count", 0.0f, 10.0f);
    const ParamSpec wide = spec(ParamType::Float, "Radius", 0.0f, 1.0f, {"0", "1000"});
    const ParamSpec pair = spec(ParamType::Float2, "Scale x", -2.0f, 2.0f);
    const ParamSpec inverted = spec(ParamType::Float, "Odd", 5.0f, 1.0f);
    runCases({
        {amount, "0.5", {0.5, 0, 0}, nullptr},
        {amount, " 0.25\t", {0.25, 0, 0}, nullptr},
        {amount, "+1", {1, 0, 0}, nullptr},
        {amount, "1e-1", {0.1, 0, 0}, nullptr},
        {amount, ".5", {0.5, 0, 0}, nullptr},
        {seventy, "0.7", {0.7, 0, 0}, nullptr}, // meets a maximum stored as float
        {amount, "1.5", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"1.5\""},
        {amount, "-0.01", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"-0.01\""},
        {amount, "abc", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"abc\""},
        {amount, "", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"\""},
        {amount, "0.5x", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"0.5x\""},
        {amount, "0x1", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"0x1\""},
        {amount, "nan", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"nan\""},
        {amount, "inf", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"inf\""},
        {amount, "1e400", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"1e400\""},
        {amount, "++1", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"++1\""},
        {amount, "0.5,1", {}, "parameter \"Amount\": expected a number from 0 to 1, got \"0.5,1\""},
        {count, "3", {3, 0, 0}, nullptr},
        {count, "4.0", {4, 0, 0}, nullptr},
        {count,
         "2.5",
         {},
         "parameter \"Count\": expected a whole number from 0 to 10, got \"2.5\""},
        {count, "11", {}, "parameter \"Count\": expected a whole number from 0 to 10, got \"11\""},
        {wide, "500", {500, 0, 0}, nullptr}, // the items' valid range, not min...max
        {wide, "1001", {}, "parameter \"Radius\": expected a number from 0 to 1000, got \"1001\""},
        {pair, "-1.5", {-1.5, 0, 0}, nullptr},
        {inverted, "100", {100, 0, 0}, nullptr}, // no range to check against
        {inverted, "x", {}, "parameter \"Odd\": expected a number, got \"x\""},
    });
}

TEST(CliValueParse, Checkboxes) {
    const ParamSpec box = spec(ParamType::Check, "Invert");
    const char* expected = "parameter \"Invert\": expected on, off, true, false, 1 or 0, got ";
    std::vector<Case> cases;
    for (const char* on : {"on", "ON", "true", "True", "1", " on "})
        cases.push_back({box, on, {1, 0, 0}, nullptr});
    for (const char* off : {"off", "Off", "false", "FALSE", "0"})
        cases.push_back({box, off, {0, 0, 0}, nullptr});
    const std::string yes = std::string(expected) + "\"yes\"";
    const std::string two = std::string(expected) + "\"2\"";
    const std::string empty = std::string(expected) + "\"\"";
    cases.push_back({box, "yes", {}, yes.c_str()});
    cases.push_back({box, "2", {}, two.c_str()});
    cases.push_back({box, "", {}, empty.c_str()});
    runCases(cases);
}

TEST(CliValueParse, PopupsByTextThenByOneBasedNumber) {
    const ParamSpec quality = popup("Quality", {"Low", "Mid", "High"});
    const ParamSpec samples = popup("Samples", {"1", "2", "4", "8"});
    const ParamSpec cased = popup("Case", {"a", "A", "ab", "AB", " Padded "});
    // Items named before "type=popup" leave max at 1: the host offers two choices.
    const ParamSpec early = spec(ParamType::Popup, "Early", 0.0f, 1.0f, {"One", "Two", "Three"});
    const ParamSpec unnamed = spec(ParamType::Popup, "Bare", 0.0f, 2.0f);
    runCases({
        {quality, "Mid", {2, 0, 0}, nullptr},
        {quality, "mid", {2, 0, 0}, nullptr},
        {quality, " HIGH ", {3, 0, 0}, nullptr},
        {quality, "1", {1, 0, 0}, nullptr},
        {quality, "3", {3, 0, 0}, nullptr},
        {quality,
         "4",
         {},
         "parameter \"Quality\": expected one of \"Low\", \"Mid\", \"High\" or a choice number "
         "from 1 to 3, got \"4\""},
        {quality,
         "0",
         {},
         "parameter \"Quality\": expected one of \"Low\", \"Mid\", \"High\" or a choice number "
         "from 1 to 3, got \"0\""},
        {quality,
         "1.5",
         {},
         "parameter \"Quality\": expected one of \"Low\", \"Mid\", \"High\" or a choice number "
         "from 1 to 3, got \"1.5\""},
        {quality,
         "Lo",
         {},
         "parameter \"Quality\": expected one of \"Low\", \"Mid\", \"High\" or a choice number "
         "from 1 to 3, got \"Lo\""},
        {samples, "4", {3, 0, 0}, nullptr}, // the item "4", not choice 4
        {samples, "3", {3, 0, 0}, nullptr}, // no item "3": choice 3
        {cased, "a", {1, 0, 0}, nullptr},
        {cased, "A", {2, 0, 0}, nullptr},
        {cased, "padded", {5, 0, 0}, nullptr},
        {cased, " Padded ", {5, 0, 0}, nullptr},
        {cased,
         "Ab",
         {},
         "parameter \"Case\": \"Ab\" matches choices 3 and 4; give the exact text or the choice "
         "number"},
        {early, "Two", {2, 0, 0}, nullptr},
        {early,
         "Three",
         {},
         "parameter \"Early\": expected one of \"One\", \"Two\" or a choice number from 1 to 2, "
         "got \"Three\""},
        {unnamed, "3", {3, 0, 0}, nullptr},
        {unnamed, "x", {}, "parameter \"Bare\": expected a choice number from 1 to 3, got \"x\""},
        {spec(ParamType::Popup, "Broken", 0.0f, -1.0f),
         "1",
         {},
         "parameter \"Broken\": the popup has no choices"},
    });
}

TEST(CliValueParse, ColoursAnglesPoints) {
    const ParamSpec tint = spec(ParamType::Color, "Tint");
    const ParamSpec turn = spec(ParamType::Angle, "Turn");
    const ParamSpec centre = spec(ParamType::Point, "Centre");
    const char* colour = "parameter \"Tint\": expected a colour as #rrggbb or r,g,b with "
                         "components from 0 to 1";
    const std::string c1 = std::string(colour) + ", got \"#ff800\"";
    const std::string c2 = std::string(colour) + ", got \"#gg0000\"";
    const std::string c3 =
        std::string(colour) + " (use #rrggbb for 0...255 levels), got \"255,128,0\"";
    const std::string c4 = std::string(colour) + ", got \"1,0\"";
    const std::string c5 = std::string(colour) + ", got \"1,0,0,0\"";
    const std::string c6 = std::string(colour) + ", got \"#ff8000ff\"";
    const std::string c7 = std::string(colour) + ", got \"1,,0\"";
    const char* point = "parameter \"Centre\": expected a point as x,y in layer pixels, each from "
                        "-32768 to 32767, got ";
    const std::string p1 = std::string(point) + "\"10\"";
    const std::string p2 = std::string(point) + "\"1,2,3\"";
    const std::string p3 = std::string(point) + "\"40000,0\"";
    const std::string p4 = std::string(point) + "\"10 20\"";
    runCases({
        {tint, "#ff8000", {255, 128, 0}, nullptr},
        {tint, "#FF8000", {255, 128, 0}, nullptr},
        {tint, "#00aB0c", {0, 171, 12}, nullptr},
        {tint, "1,0.5,0", {255, 128, 0}, nullptr},
        {tint, "0.2, 0.4 ,1", {51, 102, 255}, nullptr},
        {tint, "#ff800", {}, c1.c_str()},
        {tint, "#gg0000", {}, c2.c_str()},
        {tint, "255,128,0", {}, c3.c_str()},
        {tint, "1,0", {}, c4.c_str()},
        {tint, "1,0,0,0", {}, c5.c_str()},
        {tint, "#ff8000ff", {}, c6.c_str()},
        {tint, "1,,0", {}, c7.c_str()},
        {turn, "45", {45, 0, 0}, nullptr},
        {turn, "-90.5", {-90.5, 0, 0}, nullptr},
        {turn, "720", {720, 0, 0}, nullptr},
        {turn,
         "40000",
         {},
         "parameter \"Turn\": expected an angle in degrees from -32768 to 32767, got \"40000\""},
        {turn,
         "45deg",
         {},
         "parameter \"Turn\": expected an angle in degrees from -32768 to 32767, got \"45deg\""},
        {centre, "10,20", {10, 20, 0}, nullptr},
        {centre, "10.75, -0.5", {10.75, -0.5, 0}, nullptr},
        {centre, "10", {}, p1.c_str()},
        {centre, "1,2,3", {}, p2.c_str()},
        {centre, "40000,0", {}, p3.c_str()},
        {centre, "10 20", {}, p4.c_str()},
    });
}

TEST(CliValueParse, TypesWithoutValues) {
    ParamSpec unnamed = spec(ParamType::TopicStart, "");
    unnamed.uniform.clear();
    runCases({
        {spec(ParamType::Layer, "Matte"),
         "matte.png",
         {},
         "parameter \"Matte\": is a layer: it takes an image file, not a value"},
        {spec(ParamType::TopicStart, "Look"),
         "1",
         {},
         "parameter \"Look\": has no value to set (it is a topic_start)"},
        {spec(ParamType::TopicEnd, "Look end"),
         "1",
         {},
         "parameter \"Look end\": has no value to set (it is a topic_end)"},
        {spec(ParamType::None, "Gap"),
         "1",
         {},
         "parameter \"Gap\": has no value to set (it is a none)"},
        {unnamed, "1", {}, "parameter \"(unnamed)\": has no value to set (it is a topic_start)"},
    });
}

TEST(CliValueParse, MessagesNameTheParameterOnOneShortLine) {
    ParamSpec byUniform = spec(ParamType::Float, "");
    byUniform.uniform = "amount";
    std::string error;
    ParamValue value;
    EXPECT_FALSE(parseValue(byUniform, "x", value, error));
    EXPECT_EQ(error, "parameter \"amount\": expected a number from 0 to 1, got \"x\"");

    EXPECT_FALSE(parseValue(spec(ParamType::Float, "Amount"), "1\n2", value, error));
    EXPECT_EQ(error, "parameter \"Amount\": expected a number from 0 to 1, got \"1?2\"");

    EXPECT_FALSE(
        parseValue(spec(ParamType::Float, "Amount"), std::string(1000, '9') + "x", value, error));
    EXPECT_EQ(error, "parameter \"Amount\": expected a number from 0 to 1, got \"" +
                         std::string(40, '9') + "...\"");

    std::vector<std::string> many;
    for (int i = 0; i < 20; ++i)
        many.push_back("item" + std::to_string(i));
    EXPECT_FALSE(parseValue(popup("Many", many), "nope", value, error));
    EXPECT_EQ(error, "parameter \"Many\": expected one of \"item0\", \"item1\", \"item2\", "
                     "\"item3\", \"item4\", \"item5\", \"item6\", \"item7\", ... or a choice "
                     "number from 1 to 20, got \"nope\"");
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
    EXPECT_DOUBLE_EQ(valueAt(three, 0.5).v[0], 5.0);
    EXPECT_DOUBLE_EQ(valueAt(three, 1).v[0], 10.0);
    EXPECT_DOUBLE_EQ(valueAt(three, 2).v[0], 5.0);

    const ValueTrack colour = track(spec(ParamType::Color, "Tint"), "0:#000000;10:#ff0a01");
    EXPECT_EQ(valueAt(colour, 5).v, (std::array<double, 3>{128, 5, 1})); // 127.5 and 0.5 round up
    EXPECT_EQ(valueAt(colour, 1).v, (std::array<double, 3>{26, 1, 0}));

    const ValueTrack point = track(spec(ParamType::Point, "Centre"), "0:0,0;4:8,-4");
    EXPECT_EQ(valueAt(point, 1).v, (std::array<double, 3>{2, -1, 0}));

    const ValueTrack angle = track(spec(ParamType::Angle, "Turn"), "1:0;3:90");
    EXPECT_DOUBLE_EQ(valueAt(angle, 2).v[0], 45.0);

    // Keys at the ends of the double range do not overflow.
    const ValueTrack far = track(spec(ParamType::Float, "Far"), "-1e308:0;1e308:1");
    EXPECT_DOUBLE_EQ(valueAt(far, 0).v[0], 0.5);
}

TEST(CliValueParse, CheckboxAndPopupKeysHold) {
    const ValueTrack box = track(spec(ParamType::Check, "Invert"), "0:off;5:on;8:off");
    EXPECT_EQ(valueAt(box, 4.99).v[0], 0.0);
    EXPECT_EQ(valueAt(box, 5).v[0], 1.0);
    EXPECT_EQ(valueAt(box, 7.9).v[0], 1.0);
    EXPECT_EQ(valueAt(box, 8).v[0], 0.0);

    const ValueTrack menu = track(popup("Quality", {"Low", "Mid", "High"}), "0:Low;2:3");
    EXPECT_EQ(valueAt(menu, 1.9).v[0], 1.0);
    EXPECT_EQ(valueAt(menu, 2).v[0], 3.0);
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
    struct Case {
        const char* text;
        const char* error;
    };
    for (const Case& c : {
             Case{"0:0;0:1", "parameter \"Amount\": key 2 \"0:1\": key times must increase (0 "
                             "follows 0)"},
             Case{"5:0;1:1", "parameter \"Amount\": key 2 \"1:1\": key times must increase (1 "
                             "follows 5)"},
             Case{"x:1", "parameter \"Amount\": key 1 \"x:1\": expected time:value, keys "
                         "separated by ';'"},
             Case{"0:1;", "parameter \"Amount\": key 2 \"\": expected time:value, keys separated "
                          "by ';'"},
             Case{"0:1;;2:0", "parameter \"Amount\": key 2 \"\": expected time:value, keys "
                              "separated by ';'"},
             Case{"0:1,2:0", "parameter \"Amount\": key 1 \"0:1,2:0\": expected a number from 0 "
                             "to 1, got \"1,2:0\""},
             Case{"0:0;1:2", "parameter \"Amount\": key 2 \"1:2\": expected a number from 0 to "
                             "1, got \"2\""},
             Case{"nan:0", "parameter \"Amount\": key 1 \"nan:0\": expected time:value, keys "
                           "separated by ';'"},
             Case{":1", "parameter \"Amount\": key 1 \":1\": expected time:value, keys "
                        "separated by ';'"},
         })
        EXPECT_EQ(trackError(amount, c.text), c.error) << c.text;

    // A failed parse leaves the caller's track as it was.
    ValueTrack kept = track(amount, "0:0.5");
    std::string error;
    EXPECT_FALSE(parseTrack(amount, "0:0;1:x", kept, error));
    ASSERT_EQ(kept.keys.size(), 1u);
    EXPECT_EQ(kept.keys[0].value.v[0], 0.5);
}

// Arbitrary bytes never crash a parser and never produce a multi-line message; accepted values
// are finite.
TEST(CliValueParse, ArbitraryInputIsRefusedCleanly) {
    const std::vector<ParamSpec> specs = {
        spec(ParamType::Int, "I", -5, 5), spec(ParamType::Float, "F"),
        spec(ParamType::Float2, "F2"),    spec(ParamType::Check, "C"),
        popup("P", {"a", "b:c", "d;e"}),  spec(ParamType::Color, "K"),
        spec(ParamType::Angle, "A"),      spec(ParamType::Point, "T"),
        spec(ParamType::Layer, "L"),      spec(ParamType::None, "N")};
    const std::string alphabet = "0123456789.,:;#+-eE xafAF\t\n\x01\xff";
    std::mt19937 random(12345);
    for (int i = 0; i < 20000; ++i) {
        std::string text(random() % 24, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        const ParamSpec& s = specs[size_t(i) % specs.size()];
        ValueTrack t;
        std::string error;
        if (parseTrack(s, text, t, error)) {
            ASSERT_FALSE(t.keys.empty());
            const ParamValue v = valueAt(t, double(random() % 100) - 50.0);
            for (double x : v.v)
                ASSERT_TRUE(std::isfinite(x)) << text;
        } else {
            ASSERT_EQ(error.find('\n'), std::string::npos) << error;
            ASSERT_EQ(error.rfind("parameter \"", 0), 0u) << error;
        }
    }
}
