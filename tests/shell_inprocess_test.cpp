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

TEST(RecordResources, AreFreedAndForgottenAtFlattenAndSetdown) {
    UserFolderOverride noFolder("");
    for (const PF_Cmd command : {PF_Cmd_SEQUENCE_FLATTEN, PF_Cmd_SEQUENCE_SETDOWN}) {
        SCOPED_TRACE(command);
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

        ASSERT_EQ(host.command(command, &instance), PF_Err_NONE);
        EXPECT_EQ(std::make_pair(renderersDestroyed, definesDestroyed), std::make_pair(1, 1));
        if (command == PF_Cmd_SEQUENCE_SETDOWN) {
            EXPECT_EQ(instance.sequenceData(), nullptr);
            continue;
        }
        r = instance.mutableRecord();
        EXPECT_TRUE(r->renderer == nullptr && r->defines == nullptr && r->resultBuffer == nullptr);
        EXPECT_EQ(std::make_pair(r->resultAllocWidth, r->resultAllocHeight), std::make_pair(0, 0));
        for (int slot : {0, 5, 31}) {
            EXPECT_EQ(r->layerBuffers[slot], nullptr) << slot;
            EXPECT_EQ(std::make_tuple(r->layerWidth[slot], r->layerHeight[slot],
                                      r->layerAllocWidth[slot], r->layerAllocHeight[slot]),
                      std::make_tuple(0, 0, 0, 0))
                << slot;
        }
        EXPECT_EQ(r->layerWidth[7], 11);
        EXPECT_EQ(r->needsRebuild, 0) << "flatten leaves the rebuild flag to re-set-up";

        ASSERT_EQ(host.sequenceFlatten(instance), PF_Err_NONE);
        EXPECT_EQ(renderersDestroyed, 1) << "a second flatten finds nothing to free";
    }
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

TEST(ParamDefinition, ValuesAreTruncatedWrappedOrCappedAsTheHostReceivesThem) {
    const auto define = [](ParamType type, float d0, float d1 = 0, float d2 = 0, int index = 1) {
        ParamSpec s;
        s.type = type;
        s.name = "p";
        s.defaultValue = {d0, d1, d2};
        s.max = 2;
        s.text = "a|b|c";
        s.items = {"-5x", "abc"};
        return paramDefinition(
            s, index, [](A_char* dst, const A_char* src) { return std::strcpy(dst, src); });
    };
    // A point's percent is capped at 10000 and not bounded below.
    const PF_ParamDef point = define(ParamType::Point, 150.0f, -0.5f, 0, 3);
    EXPECT_EQ(std::make_tuple(point.u.td.x_value, point.u.td.y_value, point.uu.id),
              std::make_tuple(10000 << 16, INT2FIX(-50), 4));
    // Colour levels keep their low 8 bits: 510 and -127.
    const PF_Pixel colour = define(ParamType::Color, 2.0f, -0.5f, 0.999f).u.cd.value;
    EXPECT_EQ(std::vector<int>({colour.alpha, colour.red, colour.green, colour.blue}),
              std::vector<int>({255, 254, 256 - 127, 254}));
    EXPECT_EQ(define(ParamType::Angle, -45.7f).u.ad.value, INT2FIX(-45));
    // A check box's default is truncated as a signed byte, and widened.
    const PF_CheckBoxDef check = define(ParamType::Check, 200.0f).u.bd;
    EXPECT_EQ(std::make_tuple(check.value, static_cast<uint8_t>(check.dephault)),
              std::make_tuple(-56, uint8_t(200)));
    // A popup's default below the first choice is not corrected.
    const PF_PopupDef popup = define(ParamType::Popup, -1.0f).u.pd;
    EXPECT_EQ(popup.dephault, 0);
    EXPECT_STREQ(popup.u.namesptr, "a|b|c");
    // A slider's valid range is read from its items as atof reads.
    const PF_FloatSliderDef slider = define(ParamType::Float, 0.5f).u.fs_d;
    EXPECT_EQ(std::make_pair(slider.valid_min, slider.valid_max), std::make_pair(-5.0f, 0.0f));
}
