// The shell's pieces driven in-process (the same dispatch as the library's, linked into the test),
// where the test can reach what the plug-in owns: suite caching, the records' heap objects, the
// about text and the parameter definitions.
#include "shell_test_support.h"

#include "AE_Macros.h"
#include "gl/GlRenderer.h"
#include "host/HostSuites.h"
#include "params/ParamSetup.h"
#include "records/SequenceRecord.h"
#include "shaders/DefineMap.h"
#include "shell/About.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace glfx;
using namespace glfx::testing;
using hostsim::Instance;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using Key = hostsim::SuiteRegistry::Key;

namespace {

int renderersDestroyed = 0;
int definesDestroyed = 0;

class CountedRenderer : public GlRenderer {
public:
    ~CountedRenderer() override { ++renderersDestroyed; }
};
class CountedDefines : public DefineMap {
public:
    ~CountedDefines() override { ++definesDestroyed; }
};

const Key kHandle{kPFHandleSuite, kPFHandleSuiteVersion1};
const Key kAnsi{kPFANSISuite, kPFANSISuiteVersion1};

} // namespace

// ---- HostSuites ------------------------------------------------------------------------------

TEST(HostSuites, EachSuiteIsAcquiredOnceAndReleasedAsAcquired) {
    CheckedHost host(inProcessLibrary(), hostsim::HostApp::AfterEffects);
    PF_InData in{};
    in.pica_basicP = host.basicSuite();
    host.suites().clearLog();
    {
        HostSuites suites(&in);
        const PF_HandleSuite1* first = &suites.handle();
        EXPECT_EQ(&suites.handle(), first);
        suites.ansi();
        EXPECT_THAT(host.suites().acquisitions(), ElementsAre(kHandle, kAnsi));
        EXPECT_THAT(host.suites().releases(), IsEmpty());
    }
    EXPECT_THAT(host.suites().releases(), ::testing::UnorderedElementsAre(kHandle, kAnsi));
    EXPECT_THAT(host.suites().outstanding(), IsEmpty());
}

// ---- What the record owns --------------------------------------------------------------------

class RecordResources : public ::testing::TestWithParam<PF_Cmd> {};

INSTANTIATE_TEST_SUITE_P(Shell, RecordResources,
                         ::testing::Values(PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN),
                         [](const auto& info) {
                             return info.param == PF_Cmd_SEQUENCE_FLATTEN ? "Flatten" : "Setdown";
                         });

TEST_P(RecordResources, AreFreedAndForgotten) {
    UserFolderOverride noFolder("");
    CheckedHost host(inProcessLibrary(), hostsim::HostApp::AfterEffects);
    ASSERT_EQ(host.start(), PF_Err_NONE);
    Instance& instance = host.addInstance();
    ASSERT_EQ(host.sequenceSetup(instance), PF_Err_NONE);
    SequenceState* r = instance.mutableRecord();
    renderersDestroyed = definesDestroyed = 0;
    r->renderer = new CountedRenderer; // its context never created: no GL call anywhere
    r->defines = new CountedDefines;
    // Slot 31 is above this effect's layer count; it is freed as well.
    for (int slot : {0, 5, 31}) {
        r->layerBuffers[slot] = new float[4 * 6];
        r->layerWidth[slot] = r->layerAllocWidth[slot] = 3;
        r->layerHeight[slot] = r->layerAllocHeight[slot] = 2;
    }
    r->layerWidth[7] = 11; // a slot without buffer keeps its size
    r->resultBuffer = new float[4 * 6];
    r->resultAllocWidth = 3;
    r->resultAllocHeight = 2;
    r->needsRebuild = 0;
    claimRecordResources(instance.sequenceData(), *r);

    ASSERT_EQ(host.command(GetParam(), &instance), PF_Err_NONE);
    EXPECT_EQ(renderersDestroyed, 1);
    EXPECT_EQ(definesDestroyed, 1);
    if (GetParam() == PF_Cmd_SEQUENCE_SETDOWN) {
        EXPECT_EQ(instance.sequenceData(), nullptr);
        return;
    }
    r = instance.mutableRecord();
    EXPECT_EQ(r->renderer, nullptr);
    EXPECT_EQ(r->defines, nullptr);
    for (int slot : {0, 5, 31}) {
        EXPECT_EQ(r->layerBuffers[slot], nullptr);
        EXPECT_EQ(r->layerWidth[slot], 0);
        EXPECT_EQ(r->layerHeight[slot], 0);
        EXPECT_EQ(r->layerAllocWidth[slot], 0);
        EXPECT_EQ(r->layerAllocHeight[slot], 0);
    }
    EXPECT_EQ(r->layerWidth[7], 11);
    EXPECT_EQ(r->resultBuffer, nullptr);
    EXPECT_EQ(r->resultAllocWidth, 0);
    EXPECT_EQ(r->resultAllocHeight, 0);
    EXPECT_EQ(r->needsRebuild, 0) << "flatten leaves the rebuild flag to re-set-up";

    ASSERT_EQ(host.sequenceFlatten(instance), PF_Err_NONE);
    EXPECT_EQ(renderersDestroyed, 1) << "a second flatten finds nothing to free";
}

// Hosts re-set-up the same record (a layer change) and copies of it (a duplicated layer); only the
// record that made the renderer keeps or frees it, in whatever order the records go.
TEST(RecordOwnership, OnlyTheOwnerKeepsAndFreesThem) {
    enum Step {
        Duplicate,
        CopyBytes,
        ResetupOriginal,
        FlattenOriginal,
        SetdownOriginal,
        SetdownCopy
    };
    struct Row {
        const char* name;
        std::vector<Step> steps;
        bool originalKeepsRenderer; // after the steps before the set-downs
    };
    const Row rows[] = {
        {"layer change", {ResetupOriginal, SetdownOriginal}, true},
        {"duplicate, copy set down first", {Duplicate, SetdownCopy, SetdownOriginal}, true},
        {"duplicate, original set down first", {Duplicate, SetdownOriginal, SetdownCopy}, true},
        {"copied bytes never re-set-up", {CopyBytes, SetdownCopy, SetdownOriginal}, true},
        {"flatten in between",
         {Duplicate, FlattenOriginal, ResetupOriginal, SetdownCopy, SetdownOriginal},
         false},
    };
    UserFolderOverride noFolder("");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CheckedHost host(inProcessLibrary(), hostsim::HostApp::AfterEffects);
        ASSERT_EQ(host.start(), PF_Err_NONE);
        Instance& original = host.addInstance();
        ASSERT_EQ(host.sequenceSetup(original), PF_Err_NONE);
        renderersDestroyed = definesDestroyed = 0;
        GlRenderer* const renderer = new CountedRenderer;
        original.mutableRecord()->renderer = renderer;
        original.mutableRecord()->defines = new CountedDefines;
        claimRecordResources(original.sequenceData(), *original.record());
        Instance* copy = nullptr;
        for (Step step : row.steps) {
            switch (step) {
            case Duplicate:
                copy = &host.duplicate(original);
                EXPECT_EQ(copy->record()->renderer, nullptr) << "a copy starts without";
                EXPECT_EQ(copy->record()->defines, nullptr);
                break;
            case CopyBytes:
                copy = &host.addInstance(host.handles().bytes(original.sequenceData()));
                break;
            case ResetupOriginal:
                ASSERT_EQ(host.sequenceResetup(original), PF_Err_NONE);
                break;
            case FlattenOriginal:
                ASSERT_EQ(host.sequenceFlatten(original), PF_Err_NONE);
                break;
            case SetdownOriginal:
                if (original.record() != nullptr) {
                    EXPECT_EQ(original.record()->renderer == renderer, row.originalKeepsRenderer);
                }
                ASSERT_EQ(host.sequenceSetdown(original), PF_Err_NONE);
                break;
            case SetdownCopy:
                ASSERT_EQ(host.sequenceSetdown(*copy), PF_Err_NONE);
                break;
            }
        }
        EXPECT_EQ(renderersDestroyed, 1) << "freed once, by its owner";
        EXPECT_EQ(definesDestroyed, 1);
    }
}

// ---- About text ------------------------------------------------------------------------------

TEST(AboutText, EscapesAreConvertedInOrderThenCut) {
    struct Case {
        std::string in, out;
    };
    const Case cases[] = {
        {"a\\rb\\nc", "a\rb\nc"},
        {"\\r\\n", "\r\n"},
        {"\\n\\r", "\n\r"},
        {"\\\\n", "\\\n"}, // the first backslash stays, the pair after it converts
        {"\\x\\", "\\x\\"},
        {"", ""},
        {std::string(300, 'd'), std::string(201, 'd')},
        {std::string(300, '\\') + "n", std::string(201, '\\')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(aboutDescription(c.in), c.out) << c.in;
}

TEST(AboutText, PartsFitTheHostsMessageBuffer) {
    EffectSettings s;
    s.name = std::string(31, 'n');
    s.version = std::string(400, 'v');
    s.description = "never shown";
    AboutParts p = aboutParts(s);
    EXPECT_EQ(p.name.size() + 1 + p.version.size() + 1 + p.description.size(), 255u);
    EXPECT_EQ(p.version, std::string(222, 'v'));
    EXPECT_EQ(p.description, "");

    s.version = std::string("1.0\0hidden", 10);
    s.description = std::string(300, 'd');
    p = aboutParts(s);
    EXPECT_EQ(p.version, "1.0") << "%s stops at the NUL; the length must too";
    EXPECT_EQ(p.description, std::string(201, 'd'));
}

// ---- Parameter definitions beyond the test effect --------------------------------------------

namespace {

A_char* plainStrcpy(A_char* dst, const A_char* src) {
    return std::strcpy(dst, src);
}

ParamSpec entry(ParamType type, float d0, float d1 = 0, float d2 = 0) {
    ParamSpec s;
    s.type = type;
    s.name = "p";
    s.defaultValue = {d0, d1, d2};
    return s;
}

} // namespace

TEST(ParamDefinition, ValuesAreTruncatedWrappedOrCappedAsTheHostReceivesThem) {
    {
        const PF_ParamDef d =
            paramDefinition(entry(ParamType::Point, 150.0f, -0.5f), 3, plainStrcpy);
        EXPECT_EQ(d.u.td.x_value, 10000 << 16) << "capped at 10000 percent";
        EXPECT_EQ(d.u.td.y_value, INT2FIX(-50)) << "not bounded below";
        EXPECT_EQ(d.uu.id, 4);
    }
    {
        const PF_ParamDef d =
            paramDefinition(entry(ParamType::Color, 2.0f, -0.5f, 0.999f), 1, plainStrcpy);
        EXPECT_EQ(d.u.cd.value.red, 254) << "510 keeps its low 8 bits";
        EXPECT_EQ(d.u.cd.value.green, 256 - 127) << "-127 keeps its low 8 bits";
        EXPECT_EQ(d.u.cd.value.blue, 254);
        EXPECT_EQ(d.u.cd.value.alpha, 255);
    }
    {
        const PF_ParamDef d = paramDefinition(entry(ParamType::Angle, -45.7f), 1, plainStrcpy);
        EXPECT_EQ(d.u.ad.value, INT2FIX(-45));
    }
    {
        const PF_ParamDef d = paramDefinition(entry(ParamType::Check, 200.0f), 1, plainStrcpy);
        EXPECT_EQ(d.u.bd.value, -56) << "the truncation as a signed byte, widened";
        EXPECT_EQ(static_cast<uint8_t>(d.u.bd.dephault), 200);
    }
    {
        ParamSpec popup = entry(ParamType::Popup, -1.0f);
        popup.max = 2;
        popup.text = "a|b|c";
        const PF_ParamDef d = paramDefinition(popup, 1, plainStrcpy);
        EXPECT_EQ(d.u.pd.dephault, 0) << "a default below the first choice is not corrected";
        EXPECT_STREQ(d.u.pd.u.namesptr, "a|b|c");
    }
    {
        ParamSpec slider = entry(ParamType::Float, 0.5f);
        slider.items = {"-5x", "abc"};
        const PF_ParamDef d = paramDefinition(slider, 1, plainStrcpy);
        EXPECT_EQ(d.u.fs_d.valid_min, -5.0f) << "read as atof reads";
        EXPECT_EQ(d.u.fs_d.valid_max, 0.0f);
    }
}
