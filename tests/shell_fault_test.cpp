// Fault injection through the real entry point: refused handles and suites, failing host calls,
// records read back from projects, and commands in unusual order. Every case must return the code
// the host expects, leak no handle and no suite (the emulated host checks after every command and
// CheckedHost when the case ends), and never crash.
#include "shell_test_support.h"

#include "AE_GeneralPlug.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

using namespace glfx;
using namespace glfx::testing;
using hostsim::Host;
using hostsim::HostApp;
using hostsim::Instance;

namespace {

// The host's commands, and two steps of the host's own.
namespace Cmd {
constexpr PF_Cmd About = PF_Cmd_ABOUT, GlobalSetup = PF_Cmd_GLOBAL_SETUP,
                 GlobalSetdown = PF_Cmd_GLOBAL_SETDOWN, ParamsSetup = PF_Cmd_PARAMS_SETUP,
                 SequenceSetup = PF_Cmd_SEQUENCE_SETUP, SequenceResetup = PF_Cmd_SEQUENCE_RESETUP,
                 SequenceFlatten = PF_Cmd_SEQUENCE_FLATTEN,
                 SequenceSetdown = PF_Cmd_SEQUENCE_SETDOWN,
                 UpdateParamsUi = PF_Cmd_UPDATE_PARAMS_UI;
constexpr PF_Cmd NewInstance = -100;     // a fresh instance without data
constexpr PF_Cmd ProjectInstance = -101; // an instance holding the case's record bytes
} // namespace Cmd

using Fault = std::function<void(Host&)>;
using Check = std::function<void(const Host&, const Instance&)>;

struct Step {
    PF_Cmd cmd;
    PF_Err expected;
    Fault fault = nullptr; // in force for this step only
    Check check = nullptr;
};

struct FaultCase {
    std::string name;
    HostApp app;
    std::vector<Step> steps;
    std::vector<uint8_t> record = {}; // for ProjectInstance
};

// ---- Faults ----------------------------------------------------------------------------------

Fault refuseSuite(const char* name, int version) {
    return [=](Host& h) { h.suites().refuse(name, version); };
}
const Fault noBasicSuite = [](Host& h) { h.inject.noBasicSuite = true; };
const Fault refuseNewHandles = [](Host& h) { h.inject.refuseNewHandles = true; };
const Fault handlesCannotLock = [](Host& h) { h.inject.handlesCannotLock = true; };
const Fault refuseResize = [](Host& h) { h.inject.refuseResize = true; };
Fault addParamFailsAt(int call) {
    return [=](Host& h) { h.inject.addParamFailsAt = call; };
}
Fault registrationFails(A_Err err) {
    return [=](Host& h) { h.inject.registrationError = err; };
}

// ---- Checks ----------------------------------------------------------------------------------

const Check noGlobalData = [](const Host& h, const Instance&) {
    EXPECT_EQ(h.globalData(), nullptr);
};
const Check globalDataHeld = [](const Host& h, const Instance&) {
    EXPECT_NE(h.globalData(), nullptr);
};
const Check noRecord = [](const Host&, const Instance& i) { EXPECT_EQ(i.sequenceData(), nullptr); };
const Check internalErrorShown = [](const Host& h, const Instance&) {
    EXPECT_EQ(h.returnMessage(), "Internal Error");
    EXPECT_NE(h.lastOutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
};
const Check nothingShown = [](const Host& h, const Instance&) {
    EXPECT_EQ(h.returnMessage(), "");
    EXPECT_EQ(h.lastOutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
};
Check declaredBeforeFailure(size_t count) {
    return [=](const Host& h, const Instance&) {
        EXPECT_EQ(h.declaredParams().size(), count);
        EXPECT_EQ(h.numParams(), 1) << "num_params is not written after a failure";
    };
}
const Check allParamsDeclared = [](const Host& h, const Instance&) {
    EXPECT_EQ(h.numParams(), 19) << "the effect was loaded whatever global set-up reported";
};
const Check noPixelFormats = [](const Host& h, const Instance&) {
    EXPECT_TRUE(h.supportedPixelFormats().empty());
};

constexpr float kKeptValue = 0.625f;
constexpr A_long kKeptTime = 4321;

// A record as a project could bring it: values worth keeping, every pointer and allocated size
// holding bytes that mean nothing in this process.
std::vector<uint8_t> arbitraryRecord() {
    std::vector<uint8_t> bytes(sizeof(SequenceState), 0xA5);
    SequenceState r;
    std::memcpy(&r, bytes.data(), sizeof r);
    for (auto& row : r.paramValues)
        for (float& v : row)
            v = kKeptValue;
    r.currentTime = kKeptTime;
    r.layerWidth[2] = 77;
    std::memcpy(bytes.data(), &r, sizeof r);
    return bytes;
}

const Check recordCleared = [](const Host& h, const Instance& i) {
    const SequenceState* r = i.record();
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->renderer, nullptr);
    EXPECT_EQ(r->defines, nullptr);
    EXPECT_EQ(r->resultBuffer, nullptr);
    EXPECT_EQ(r->resultAllocWidth, 0);
    EXPECT_EQ(r->resultAllocHeight, 0);
    for (int k = 0; k < kMaxLayers; ++k) {
        EXPECT_EQ(r->layerBuffers[k], nullptr) << k;
        EXPECT_EQ(r->layerAllocWidth[k], 0) << k;
        EXPECT_EQ(r->layerAllocHeight[k], 0) << k;
    }
    EXPECT_EQ(r->needsRebuild, 1);
    EXPECT_EQ(r->hostIsPremiere, h.app() == HostApp::PremierePro ? 1 : 0);
};
const Check recordValuesKept = [](const Host&, const Instance& i) {
    const SequenceState* r = i.record();
    ASSERT_NE(r, nullptr);
    for (const auto& row : r->paramValues)
        for (float v : row)
            ASSERT_EQ(v, kKeptValue);
    EXPECT_EQ(r->currentTime, kKeptTime);
    EXPECT_EQ(r->layerWidth[2], 77);
};
const Check fullSizeRecord = [](const Host& h, const Instance& i) {
    ASSERT_NE(i.sequenceData(), nullptr);
    EXPECT_EQ(const_cast<Host&>(h).handles().size(i.sequenceData()), sizeof(SequenceState));
};
// A later version's longer record keeps its size and the bytes past ours.
const Check longRecordKept = [](const Host& h, const Instance& i) {
    ASSERT_NE(i.sequenceData(), nullptr);
    const std::vector<uint8_t> bytes = const_cast<Host&>(h).handles().bytes(i.sequenceData());
    ASSERT_EQ(bytes.size(), 5000u);
    for (size_t at = sizeof(SequenceState); at < bytes.size(); ++at)
        ASSERT_EQ(bytes[at], 0xA5) << at;
};
// Bytes a short record gained are zero where set-up sets nothing.
const Check grownBytesZero = [](const Host&, const Instance& i) {
    EXPECT_EQ(i.record()->paramValues[kMaxParams - 1][3], 0.0f);
    EXPECT_EQ(i.record()->outputHeight, 0);
};
Check both(Check a, Check b) {
    return [=](const Host& h, const Instance& i) {
        a(h, i);
        b(h, i);
    };
}

// ---- The table -------------------------------------------------------------------------------

const PF_Err OK = PF_Err_NONE;
const PF_Err DAMAGED = PF_Err_INTERNAL_STRUCT_DAMAGED;
const PF_Err NO_SUITE = PF_Err_BAD_CALLBACK_PARAM;

std::vector<Step> upToParams() {
    return {{Cmd::GlobalSetup, OK}, {Cmd::ParamsSetup, OK}};
}
std::vector<Step> with(std::vector<Step> head, const std::vector<Step>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Check numParams(A_long expected) {
    return [=](const Host& h, const Instance&) { EXPECT_EQ(h.numParams(), expected); };
}

// One suite refused for a whole run of every command this library handles now. A refusal inside
// global set-up stops it before the effect is loaded: then only the input layer is declared.
FaultCase refusedThroughout(const std::string& name, HostApp app, const char* suite, int version,
                            PF_Err about, PF_Err globalSetup, Check afterSetup = nullptr) {
    const Fault f = refuseSuite(suite, version);
    return {name,
            app,
            {{Cmd::About, about, f},
             {Cmd::GlobalSetup, globalSetup, f, afterSetup},
             {Cmd::ParamsSetup, OK, f, numParams(globalSetup == OK ? 19 : 1)},
             {Cmd::SequenceSetup, OK, f},
             {Cmd::UpdateParamsUi, OK, f},
             {Cmd::SequenceFlatten, OK, f},
             {Cmd::SequenceResetup, OK, f},
             {Cmd::SequenceSetdown, OK, f},
             {Cmd::GlobalSetdown, OK, f}}};
}

std::vector<FaultCase> faultCases() {
    const HostApp AE = HostApp::AfterEffects;
    const HostApp PR = HostApp::PremierePro;
    std::vector<FaultCase> cases = {
        // The basic suite missing.
        {"AboutWithoutBasicSuite", AE, {{Cmd::About, NO_SUITE, noBasicSuite}}},
        {"PremiereAboutNeedsNoSuite", PR, {{Cmd::About, OK, noBasicSuite, nothingShown}}},
        {"GlobalSetupWithoutBasicSuite",
         AE,
         {{Cmd::GlobalSetup, NO_SUITE, noBasicSuite, noGlobalData}, {Cmd::GlobalSetdown, OK}}},
        {"PremiereGlobalSetupWithoutBasicSuite",
         PR,
         {{Cmd::GlobalSetup, NO_SUITE, noBasicSuite, both(noGlobalData, noPixelFormats)}}},
        {"GlobalSetdownWithoutBasicSuite",
         AE,
         {{Cmd::GlobalSetup, OK}, {Cmd::GlobalSetdown, NO_SUITE, noBasicSuite, globalDataHeld}}},

        // Each suite refused in turn, for a whole run.
        refusedThroughout("HandleSuiteRefused", AE, kPFHandleSuite, kPFHandleSuiteVersion1, OK,
                          NO_SUITE, noGlobalData),
        refusedThroughout("AnsiSuiteRefused", AE, kPFANSISuite, kPFANSISuiteVersion1, NO_SUITE, OK),
        refusedThroughout("PremiereAnsiSuiteRefused", PR, kPFANSISuite, kPFANSISuiteVersion1, OK,
                          OK),
        // The handle suite was acquired before registration was refused; it goes back too.
        refusedThroughout("UtilitySuiteRefused", AE, kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3,
                          OK, NO_SUITE, noGlobalData),
        refusedThroughout("PixelFormatSuiteRefusedIsSkipped", PR, kPFPixelFormatSuite,
                          kPFPixelFormatSuiteVersion1, OK, OK,
                          both(globalDataHeld, noPixelFormats)),
        {"HandleSuiteRefusedAtGlobalSetdown",
         AE,
         {{Cmd::GlobalSetup, OK},
          {Cmd::GlobalSetdown, NO_SUITE, refuseSuite(kPFHandleSuite, kPFHandleSuiteVersion1),
           globalDataHeld}}},

        // Host memory refused or unusable.
        {"GlobalHandleRefused",
         AE,
         {{Cmd::GlobalSetup, DAMAGED, refuseNewHandles, noGlobalData},
          {Cmd::ParamsSetup, OK, nullptr, allParamsDeclared},
          {Cmd::GlobalSetdown, OK}}},
        {"GlobalHandleCannotBeLocked",
         AE,
         {{Cmd::GlobalSetup, DAMAGED, handlesCannotLock, noGlobalData},
          {Cmd::ParamsSetup, OK, nullptr, allParamsDeclared},
          {Cmd::GlobalSetdown, OK}}},
        {"RegistrationRefused",
         AE,
         {{Cmd::GlobalSetup, A_Err_ALLOC, registrationFails(A_Err_ALLOC), noGlobalData},
          {Cmd::ParamsSetup, OK, nullptr, allParamsDeclared},
          {Cmd::GlobalSetdown, OK}}},
        {"SequenceHandleRefused", AE,
         with(upToParams(),
              {{Cmd::SequenceSetup, DAMAGED, refuseNewHandles, both(internalErrorShown, noRecord)},
               {Cmd::UpdateParamsUi, DAMAGED},
               {Cmd::SequenceFlatten, OK},
               {Cmd::SequenceResetup, OK, nullptr, recordCleared},
               {Cmd::SequenceSetdown, OK, nullptr, noRecord}})},

        // add_param failing at a middle and at the last parameter.
        {"AddParamFailsAtPlaceholder",
         AE,
         {{Cmd::GlobalSetup, OK},
          {Cmd::ParamsSetup, PF_Err_OUT_OF_MEMORY, addParamFailsAt(12),
           declaredBeforeFailure(12)}}},
        {"PremiereAddParamFailsAtLast",
         PR,
         {{Cmd::GlobalSetup, OK},
          {Cmd::ParamsSetup, PF_Err_OUT_OF_MEMORY, addParamFailsAt(17),
           declaredBeforeFailure(17)}}},

        // Records read back from a project or a copy.
        {"RecordWithArbitraryPointers", AE,
         with(upToParams(),
              {{Cmd::ProjectInstance, OK},
               {Cmd::SequenceResetup, OK, nullptr, both(recordCleared, recordValuesKept)},
               {Cmd::UpdateParamsUi, OK},
               {Cmd::SequenceFlatten, OK, nullptr, recordValuesKept},
               {Cmd::SequenceSetdown, OK, nullptr, noRecord}}),
         arbitraryRecord()},
        {"SetupOverRecordWithArbitraryPointers", AE,
         with(upToParams(),
              {{Cmd::ProjectInstance, OK},
               {Cmd::SequenceSetup, OK, nullptr, both(recordCleared, recordValuesKept)},
               {Cmd::SequenceSetdown, OK}}),
         arbitraryRecord()},
        {"ShortRecordIsResized", AE,
         with(upToParams(), {{Cmd::ProjectInstance, OK},
                             {Cmd::SequenceResetup, OK, nullptr,
                              both(fullSizeRecord, both(recordCleared, grownBytesZero))},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceSetdown, OK}}),
         std::vector<uint8_t>(1000, 0xA5)},
        {"LongRecordKeepsItsTail", AE,
         with(upToParams(),
              {{Cmd::ProjectInstance, OK},
               {Cmd::SequenceSetup, OK, refuseResize, both(longRecordKept, recordCleared)},
               {Cmd::SequenceResetup, OK, refuseResize, longRecordKept},
               {Cmd::SequenceFlatten, OK, nullptr, longRecordKept},
               {Cmd::SequenceSetdown, OK}}),
         std::vector<uint8_t>(5000, 0xA5)},
        // The record cannot be made whole: it is refused, never read, and still set down.
        {"ShortRecordResizeRefused", AE,
         with(upToParams(), {{Cmd::ProjectInstance, OK},
                             {Cmd::SequenceResetup, DAMAGED, refuseResize, internalErrorShown},
                             {Cmd::UpdateParamsUi, DAMAGED},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceSetdown, OK, nullptr, noRecord}}),
         std::vector<uint8_t>(1000, 0xA5)},
        {"EmptyRecord",
         AE,
         with(upToParams(),
              {{Cmd::ProjectInstance, OK},
               {Cmd::UpdateParamsUi, DAMAGED},
               {Cmd::SequenceResetup, OK, nullptr, both(fullSizeRecord, recordCleared)},
               {Cmd::SequenceSetdown, OK}}),
         {}},

        // Commands in unusual order.
        {"SetdownTwice", AE,
         with(upToParams(), {{Cmd::SequenceSetup, OK},
                             {Cmd::SequenceSetdown, OK, nullptr, noRecord},
                             {Cmd::SequenceSetdown, OK, nullptr, noRecord}})},
        {"SetupTwiceKeepsOneHandle", AE,
         with(upToParams(),
              {{Cmd::SequenceSetup, OK}, {Cmd::SequenceSetup, OK, nullptr, fullSizeRecord}})},
        {"FlattenWithoutSetup", AE,
         with(upToParams(), {{Cmd::SequenceFlatten, OK, nullptr, noRecord}})},
        {"FlattenBeforeGlobalSetup", AE, {{Cmd::SequenceFlatten, OK}}},
        {"ResetupWithoutHandleIsSetup", PR,
         with(upToParams(),
              {{Cmd::SequenceResetup, OK, nullptr, both(fullSizeRecord, recordCleared)}})},
        {"UpdateParamsUiWithoutRecord", AE, {{Cmd::UpdateParamsUi, DAMAGED}}},
        {"SetdownAfterFlatten", AE,
         with(upToParams(), {{Cmd::SequenceSetup, OK},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceSetdown, OK, nullptr, noRecord}})},
        {"SequenceCommandsAfterGlobalSetdown", AE,
         with(upToParams(), {{Cmd::SequenceSetup, OK},
                             {Cmd::GlobalSetdown, OK, nullptr, noGlobalData},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceSetdown, OK}})},
        {"GlobalSetdownTwice",
         PR,
         {{Cmd::GlobalSetup, OK},
          {Cmd::GlobalSetdown, OK, nullptr, noGlobalData},
          {Cmd::GlobalSetdown, OK}}},
        {"TwoInstancesSetDownInEitherOrder", AE,
         with(upToParams(), {{Cmd::SequenceSetup, OK},
                             {Cmd::NewInstance, OK},
                             {Cmd::SequenceSetup, OK},
                             {Cmd::SequenceFlatten, OK},
                             {Cmd::SequenceSetdown, OK}})},
    };
    return cases;
}

PF_Err run(Host& host, Instance*& instance, PF_Cmd cmd, const FaultCase& c) {
    if (cmd == Cmd::NewInstance || cmd == Cmd::ProjectInstance) {
        instance = cmd == Cmd::NewInstance ? &host.addInstance() : &host.addInstance(c.record);
        return PF_Err_NONE;
    }
    return host.command(cmd, cmd < PF_Cmd_SEQUENCE_SETUP ? nullptr : instance);
}

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class FaultInjection : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInjection, ReturnsTheExpectedCodeAndLeaksNothing) {
    const FaultCase& c = GetParam();
    CheckedHost host(shellTestLibrary(), c.app);
    Instance* instance = &host.addInstance();
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1));
        if (step.fault) step.fault(host);
        EXPECT_EQ(run(host, instance, step.cmd, c), step.expected);
        host.inject = Host::Injection{};
        host.suites().allowAll();
        if (step.check) step.check(host, *instance);
        ASSERT_THAT(host.problems(), ::testing::IsEmpty());
    }
    // CheckedHost sets everything down and expects no live handle and no problem.
}

INSTANTIATE_TEST_SUITE_P(Shell, FaultInjection, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
