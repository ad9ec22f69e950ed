#include "effect/Parser.h"
#include "effect/SizeExpression.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <tuple>

using namespace glfx;
using ::testing::HasSubstr;

namespace {

EffectDescription parse(const std::string& code) {
    EffectDescription d;
    parseDescription(d, code);
    return d;
}

} // namespace

TEST(Parser, LineEndsAndBlankLines) {
    // A blank line is kept only where it is not empty as cut (a CRLF text's "\r").
    EffectDescription lf = parse("[ps0]\na\n\nb");
    EXPECT_EQ(lf.pixelShaders[0], "a\nb\n") << "last line without a line feed still counts";
    EffectDescription crlf = parse("[ps0]\r\na\r\n\r\nb\r\n");
    EXPECT_EQ(crlf.pixelShaders[0], "a\n\nb\n");
    EffectDescription keys = parse("[settings]\r\nname=X\r\n");
    EXPECT_EQ(keys.settings.name, "X");
    EXPECT_TRUE(parse("ab").pixelShaders.empty()) << "a text under 3 bytes is not read";
}

TEST(Parser, CommentsSurviveOnlyInPixelSections) {
    EffectDescription d = parse("[vs]\n// vs note\nv\n[ps0]\n// ps note\n;semi\n[settings]\n"
                                "/name=Y\nname=Z\n");
    EXPECT_EQ(d.vertexShader, "v\n");
    EXPECT_EQ(d.pixelShaders[0], "// ps note\n;semi\n");
    EXPECT_EQ(d.settings.name, "Z");
}

using S = const EffectSettings&;
struct SettingsCase {
    const char* text;
    void (*check)(S);
};

TEST(Parser, SettingsKeys) {
    const SettingsCase cases[] = {
        {"[settings]\nfast=true\n", [](S s) { EXPECT_FALSE(s.fast); }},
        {"[settings]\nfast=1\n", [](S s) { EXPECT_TRUE(s.fast); }},
        {"[settings]\nname = Foo\n", [](S s) { EXPECT_EQ(s.name, ""); }},
        {"[settings]\nname=0123456789012345678901234567890123\n",
         [](S s) { EXPECT_EQ(s.name, "0123456789012345678901234567890"); }},
        {"[settings]\nmatchname=m\nuniqueid=u\n", [](S s) { EXPECT_EQ(s.uniqueid, "u"); }},
        {"[settings]\nedge_repeat=1\ncellsx=12abc\ncellsy=x\n",
         [](S s) {
             EXPECT_EQ(std::tie(s.edgeRepeat, s.cellsx, s.cellsy), std::make_tuple(1, 12, 0));
         }},
        {"[settings]\ndescription=a=b\nversion=\n",
         [](S s) { EXPECT_EQ(std::tie(s.description, s.version), std::make_tuple("a=b", "")); }},
        {"[settings]\nparams=500\nshaders=99\n",
         [](S s) { EXPECT_EQ(std::tie(s.paramCount, s.passCount), std::make_tuple(128, 32)); }},
        {"[settings]\nparams=-4\nshaders=-1\n",
         [](S s) { EXPECT_EQ(std::tie(s.paramCount, s.passCount), std::make_tuple(0, 0)); }},
        {"[settings\nname=Q\n", [](S s) { EXPECT_EQ(s.name, ""); }},
    };
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.text);
        c.check(parse(c.text).settings);
    }
}

using P = const ParamSpec&;
std::array<float, 3> defaults(float a, float b, float c) {
    return {a, b, c};
}
struct EntryCase {
    const char* text;
    void (*check)(P);
};

TEST(Parser, EntryKeysOfParameterOne) {
    const EntryCase cases[] = {
        {"type=check\nhidden=yes\n", [](P p) { EXPECT_FALSE(p.hidden); }},
        {"hidden=true\n", [](P p) { EXPECT_TRUE(p.hidden); }},
        {"hidden=1\n", [](P p) { EXPECT_TRUE(p.hidden); }},
        {"type=check\ndefault=true\n", [](P p) { EXPECT_EQ(p.defaultValue, defaults(1, 1, 1)); }},
        {"default=true|false\n", [](P p) { EXPECT_EQ(p.defaultValue, defaults(1, 0, 0)); }},
        {"default=0.2|0.4\n", [](P p) { EXPECT_EQ(p.defaultValue, defaults(0.2f, 0.4f, 0.4f)); }},
        {"default=1|2|3|4\n", [](P p) { EXPECT_EQ(p.defaultValue, defaults(1, 2, 3)); }},
        {"default=1|2|3\ntime=-5\n", [](P p) { EXPECT_EQ(p.defaultValue, defaults(-5, 2, 3)); }},
        {"type=popup\npopup=Low|Mid|High\n",
         [](P p) {
             EXPECT_EQ(p.items, (std::vector<std::string>{"Low", "Mid", "High"}));
             EXPECT_EQ(p.min, 0);
             EXPECT_EQ(p.max, 2);
         }},
        {"popup=Low|Mid|High\ntype=popup\n",
         [](P p) { EXPECT_EQ(std::make_tuple(p.items.size(), p.max), std::make_tuple(3u, 1.0f)); }},
        {"type=popup\npopup=A|B\npopup=C\n",
         [](P p) {
             EXPECT_EQ(p.text, "C");
             EXPECT_EQ(p.items, (std::vector<std::string>{"A", "B", "C"}));
             EXPECT_EQ(p.max, 0);
         }},
        {"text=a|b|c|\ntext=a||b\ntext=\n",
         [](P p) {
             EXPECT_EQ(p.items, (std::vector<std::string>{"a", "b", "c", "a", "", "b"}));
         }},
        {"type=color\ntype=float\n",
         [](P p) {
             EXPECT_EQ(std::tie(p.type, p.components), std::make_tuple(ParamType::Float, 3));
         }},
        {"type=point\n", [](P p) { EXPECT_EQ(p.components, 2); }},
        {"type=int\ntype=bogus\n", [](P p) { EXPECT_EQ(p.type, ParamType::Int); }},
        {"type=topic_end\n", [](P p) { EXPECT_EQ(p.type, ParamType::TopicEnd); }},
        {"type=popup\nflags=1\n", [](P p) { EXPECT_EQ(p.components, 0); }},
        {"flags=2\ntype=popup\n", [](P p) { EXPECT_EQ(p.components, 1); }},
        {"type=popup\nflags=0\nmax=\nmin=-inf\n",
         [](P p) {
             EXPECT_EQ(std::tie(p.components, p.max), std::make_tuple(1, 0.0f));
             EXPECT_TRUE(std::isinf(p.min) && p.min < 0);
         }},
        {"groupswitch=3\n", [](P p) { EXPECT_EQ(p.group, -3); }},
        {"groupswitch=-2147483648\n", [](P p) { EXPECT_EQ(p.group, INT32_MIN); }},
        {"group=2\nmin=-1.5\nmax=1e3\n",
         [](P p) {
             EXPECT_EQ(std::tie(p.group, p.min, p.max), std::make_tuple(2, -1.5f, 1000.0f));
         }},
        {"max=1e300\n", [](P p) { EXPECT_TRUE(std::isinf(p.max)); }},
        {"display=Shown\nparam=u_x\n",
         [](P p) { EXPECT_EQ(std::tie(p.name, p.uniform), std::make_tuple("Shown", "u_x")); }},
    };
    for (const EntryCase& c : cases) {
        SCOPED_TRACE(c.text);
        EffectDescription d = parse(std::string("[par1]\n") + c.text);
        c.check(d.params[1]);
        EXPECT_EQ(d.settings.paramCount, 2);
    }
}

TEST(Parser, ParameterSectionNumbering) {
    EffectDescription d = parse("[par3]\nname=three\n[par]\nname=four\n[par]\nname=five\n"
                                "[par7]\n[par]\nx=1\n");
    EXPECT_EQ(d.params[3].name, "three");
    EXPECT_EQ(d.params[4].name, "four");
    EXPECT_EQ(d.params[5].name, "five");
    EXPECT_EQ(d.params[8].name, "par");
    EXPECT_EQ(d.settings.paramCount, 9) << "an unknown key still raises the count";

    EffectDescription cut = parse("[par123]\nname=x\n");
    EXPECT_EQ(cut.params[12].name, "x") << "only two characters are read";

    EffectDescription param = parse("[param]\nname=zero\n");
    EXPECT_EQ(param.params[0].name, "zero");

    EffectDescription noHeader = parse("name=first\n");
    EXPECT_EQ(noHeader.params[0].name, "first");
    EXPECT_EQ(noHeader.settings.paramCount, 1);

    EffectDescription gap = parse("[par1]\nx=1\n[par3]\ny=1\n");
    EXPECT_EQ(gap.settings.paramCount, 4);
    EXPECT_EQ(gap.params[2].type, ParamType::Float);
    EXPECT_EQ(gap.params[2].name, "");

    EffectDescription recount = parse("[par5]\nname=a\n[settings]\nparams=2\n");
    EXPECT_EQ(recount.settings.paramCount, 2);
    EffectDescription raised = parse("[par5]\nname=a\n[settings]\nparams=2\n[par5]\nx=1\n");
    EXPECT_EQ(raised.settings.paramCount, 6);

    EffectDescription empty = parse("[par1]\n[]\nname=n\n[\nname=m\n");
    EXPECT_EQ(empty.params[1].name, "m") << "empty section names route keys to the entry";
}

TEST(Parser, OutOfTableNumbersHaveNoEffect) {
    // Negative and too-large entries, passes, slots and layer sources write nothing.
    std::string pastTheTable;
    for (int i = 0; i < 30; ++i)
        pastTheTable += "[par]\n";
    EffectDescription d = parse("[par-5]\nname=neg\n[par99]\n" + pastTheTable +
                                "name=past\n[ps40]\ncode\n[ps-1]\ncode\n"
                                "[routing]\nps40_in0=ps0\nps0_in40=ps0\nps1_in0=layer40\n"
                                "ps2_in0=ps32\nps3_in0=ps31\n");
    EXPECT_EQ(d.params[99].name, "par99");
    EXPECT_EQ(d.settings.paramCount, 0) << "entries -5 and 129 take no keys";
    EXPECT_EQ(d.settings.passCount, 1);
    for (const std::string& src : d.pixelShaders)
        EXPECT_EQ(src.find("code"), std::string::npos);
    const auto& r = d.settings.routing;
    EXPECT_EQ(std::make_tuple(r[1][0], r[2][0], r[3][0]),
              std::make_tuple(kEmptySlot, kEmptySlot, 31));
}

TEST(Parser, RoutingLines) {
    EffectDescription d = parse("[par1]\ntype=layer\n[routing]\nps0_in1=ps3\nps0_in2=foo\n"
                                "ps1_in=ps0\nps2x_in0=layer1\nps4_in0=ps1\nps4_in0=ps2\n"
                                "p1_in0=ps0\nps_in0=ps0\nps3in0=ps0\n");
    const EffectSettings& s = d.settings;
    // Explicit routing survives the fix-up; an empty slot text reads 0; the later line wins; a
    // key without '_' names no slot.
    EXPECT_EQ(std::make_tuple(s.routing[0][1], s.routing[0][2], s.routing[1][0], s.routing[2][0],
                              s.routing[4][0], s.routing[3][0], s.layerCount),
              std::make_tuple(3, kEmptySlot, 0, -2, 2, kEmptySlot, 2));

    EffectDescription entryZeroLayer = parse("type=layer\n");
    EXPECT_EQ(entryZeroLayer.settings.layerCount, 1);
}

TEST(Parser, SecondParseStartsFromFirst) {
    EffectDescription d;
    parseDescription(d, "[par1]\ntext=a|b\n[ps1]\none\n[settings]\nname=N\nshaders=2\n");
    parseDescription(d, "[par1]\ntext=c\n");
    // Items grow across parses, texts not named again are kept, counts are reset.
    EXPECT_EQ(std::make_tuple(d.params[1].items.size(), d.pixelShaders[1], d.settings.name,
                              d.settings.passCount),
              std::make_tuple(3u, "one\n", "N", 1));
}

TEST(Parser, PassOptionsAndPreviousFrameSources) {
    EffectDescription d =
        parse("[settings]\nps1_width=$WIDTH/4\nps1_height=max($HEIGHT,2)\n"
              "ps2_persistent=1\nps2_float=1\nps3_persistent=yes\n"
              "ps40_width=9\nps_width=9\nps1x_width=9\nps1_depth=9\nps1width=9\n"
              "checkpoint_every=12\ncheckpoint_budget=-3\n"
              "[routing]\nps0_in1=prev_ps3\nps1_in0=prev_ps40\nps1_in1=prev_ps\n");
    const EffectSettings& s = d.settings;
    const auto options = [&](int p) {
        const PassOptions& o = s.passOptions[size_t(p)];
        return std::make_tuple(o.width, o.height, o.persistent, o.floatStorage);
    };
    EXPECT_EQ(options(1), std::make_tuple("$WIDTH/4", "max($HEIGHT,2)", false, false));
    EXPECT_EQ(options(2), std::make_tuple("", "", true, true));
    // Kept as prev_ps3 reads it, though its key says yes; ps_width names no pass.
    EXPECT_EQ(options(3), std::make_tuple("", "", true, false));
    EXPECT_EQ(s.passOptions[0].width, "");
    // No checkpoint budget below nothing.
    EXPECT_EQ(std::make_pair(s.checkpointEvery, s.checkpointBudgetMiB), std::make_pair(12, 0));
    EXPECT_EQ(s.routing[0][1], previousSource(3));
    EXPECT_EQ(s.routing[1][0], kEmptySlot) << "no pass 40";
    EXPECT_EQ(s.routing[1][1], previousSource(0)) << "a missing number reads 0, as for ps";

    parseDescription(d, "[ps0]\nx\n");
    EXPECT_TRUE(d.settings.passOptions[2].width.empty() && !d.settings.passOptions[2].persistent)
        << "a second parse starts from no options";
}

TEST(SizeExpression, EvaluatesOverTheOutputSizeAndNamedValues) {
    struct Row {
        const char* text;
        double expected; // NaN: refused with a message naming the problem
        const char* problem;
    };
    const double refused = std::nan("");
    const Row rows[] = {
        {"$WIDTH/16.0", 120.0, ""},
        {"max($WIDTH*0.5, 1.0)", 960.0, ""},
        {"floor($HEIGHT/$amount)+ceil(0.5)+round(0.5)+mod(7,4)+pow(2,3)", 540 + 1 + 1 + 3 + 8, ""},
        {"$amount > 2 ? $WIDTH : $HEIGHT", 1080.0, ""},
        {"$WIDTH/", refused, "Unexpected end of expression"},
        {"$nope*2", refused, "$nope"},
        {"", refused, "\"\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        if (std::isnan(row.expected)) {
            EXPECT_THAT([&] { SizeExpression(row.text, {"amount"}); },
                        ::testing::ThrowsMessage<std::invalid_argument>(::testing::HasSubstr(row.problem)));
            continue;
        }
        SizeExpression expression(row.text, {"amount"});
        EXPECT_DOUBLE_EQ(expression.evaluate(1920, 1080, {2.0}), row.expected);
    }
    SizeExpression byValue("$WIDTH * $amount", {"amount"});
    EXPECT_DOUBLE_EQ(byValue.evaluate(10, 1, {0.25}), 2.5) << "values are read at each evaluation";
    EXPECT_DOUBLE_EQ(byValue.evaluate(10, 1, {}), 0.0) << "a value not given reads 0";
}

TEST(SizeExpression, SidesAreRoundedAndBounded) {
    const double nan = std::nan("");
    const std::pair<double, int32_t> rows[] = {{119.5, 120}, {0.4, 1},       {-5, 1},  {nan, 1},
                                               {1e30, 4096}, {4096.4, 4096}, {2.49, 2}};
    for (const auto& [value, side] : rows)
        EXPECT_EQ(SizeExpression::side(value, 4096), side) << value;
}

TEST(Parser, ManyAutomaticEntriesAndItemsStayBounded) {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "[par]\ntype=layer\npopup=a|b|c\n";
    const EffectDescription d = parse(text);
    EXPECT_EQ(d.settings.paramCount, kMaxParams);
    EXPECT_EQ(d.settings.layerCount, kMaxLayers);
    EXPECT_EQ(d.params[kMaxParams - 1].items.size(), 3u);
}
