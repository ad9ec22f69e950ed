// Random and mutated effect texts through the parser: no crash, no hang, and the tables' invariants
// hold. Most useful in the sanitizer build, where an out-of-table write stops the test.
#include "effect/CodeContainer.h"
#include "effect/Parser.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

using namespace glfx;

namespace {

const char kSeed[] = "[settings]\nname=Seed\nshaders=3\nparams=4\nfast=1\ncellsx=2\n"
                     "[par1]\ntype=popup\npopup=A|B|C\nflags=2\nparam=MODE\n"
                     "[par2]\ntype=layer\ntime=-3\n[par3]\ntype=color\ndefault=1|0.5|0\n"
                     "[par]\ntype=float2\n[par]\ngroupswitch=1\n"
                     "[routing]\nps1_in0=ps0\nps1_in1=layer1\nps2_in0=ps1\n"
                     "[vs]\nvoid main(){gl_Position=ftransform();}\n"
                     "[ps0]\n// keep\nvoid main(){gl_FragColor=texture2D(in0,vec2(0));}\n"
                     "[ps1]\nvoid main(){}\n[ps2]\nvoid main(){}\n";

const char* const kTokens[] = {"[",     "]",          "=",        "|",      "\n",
                               "\r\n",  "par",        "ps",       "vs",     "_in",
                               "layer", "routing",    "settings", "-",      "99",
                               "128",   "2147483647", "true",     "false",  "type=layer\n",
                               "ps1_",  "[par]\n",    "default=", "popup=", "1e39"};

std::string mutate(std::string s, std::mt19937& rng) {
    const int edits = 1 + rng() % 8;
    for (int e = 0; e < edits; ++e) {
        const size_t pos = s.empty() ? 0 : rng() % (s.size() + 1);
        switch (rng() % 4) {
        case 0:
            s.insert(pos, kTokens[rng() % (sizeof kTokens / sizeof *kTokens)]);
            break;
        case 1:
            if (pos < s.size()) s[pos] = static_cast<char>(rng());
            break;
        case 2:
            if (pos < s.size()) s.erase(pos, 1 + rng() % 16);
            break;
        default:
            s.insert(pos, 1, static_cast<char>(rng()));
            break;
        }
    }
    return s;
}

void checkInvariants(const EffectDescription& d) {
    const EffectSettings& s = d.settings;
    ASSERT_GE(s.paramCount, 0);
    ASSERT_LE(s.paramCount, kMaxParams);
    ASSERT_GE(s.passCount, 0);
    ASSERT_LE(s.passCount, kMaxPasses);
    ASSERT_GE(s.layerCount, 1);
    ASSERT_LE(s.layerCount, kMaxLayers);
    ASSERT_LE(s.name.size(), kMaxEffectNameBytes);
    ASSERT_TRUE(d.pixelShaders.empty() || d.pixelShaders.size() == size_t(kMaxPasses));
    for (const auto& pass : s.routing)
        for (int32_t src : pass)
            ASSERT_TRUE(src == kEmptySlot || (src >= -kMaxLayers && src < kMaxPasses)) << src;
}

void parseOne(const std::string& text) {
    EffectDescription d;
    try {
        parseDescription(d, text);
    } catch (const std::out_of_range&) {
        // The one documented failure.
    }
    checkInvariants(d);
}

} // namespace

TEST(ParserFuzz, MutatedEffectTexts) {
    std::vector<std::string> seeds{kSeed};
    std::ifstream builtIn(std::string(GLFX_SOURCE_DIR) + "/effects/quadra_remapping.glfx");
    if (builtIn) {
        std::stringstream ss;
        ss << builtIn.rdbuf();
        seeds.push_back(ss.str());
    }
    std::mt19937 rng(20261206);
    for (int i = 0; i < 3000; ++i) {
        std::string text = mutate(seeds[i % seeds.size()], rng);
        for (int round = rng() % 3; round > 0; --round)
            text = mutate(text, rng);
        SCOPED_TRACE(i);
        parseOne(text);
        if (HasFatalFailure()) return;
    }
}

TEST(ParserFuzz, RandomBytesAndDecipheredNoise) {
    std::mt19937 rng(7);
    for (int i = 0; i < 1000; ++i) {
        std::string bytes(rng() % 2048, '\0');
        for (char& c : bytes)
            c = static_cast<char>(rng());
        SCOPED_TRACE(i);
        parseOne(bytes);
        parseOne(decipherCode("\x12\x14\x18" + bytes, bytes.substr(0, 31)));
        if (HasFatalFailure()) return;
    }
}

TEST(ParserFuzz, ManyAutomaticEntriesAndItemsStayBounded) {
    std::string text;
    for (int i = 0; i < 400; ++i)
        text += "[par]\ntype=layer\npopup=a|b|c\n";
    EffectDescription d;
    parseDescription(d, text);
    checkInvariants(d);
    EXPECT_EQ(d.settings.paramCount, kMaxParams);
    EXPECT_EQ(d.settings.layerCount, kMaxLayers);
}
