// The emulated host must notice what a real host would suffer from; otherwise the plug-in tests
// that lean on it prove nothing. Each case here is a plug-in fault the host has to report.
#include "hostsim/Host.h"
#include "resources/PropertyResource.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

using namespace glfx;
using namespace glfx::hostsim;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace {

std::string defaultResource() {
    const auto bytes = buildPropertyResource("Faulty_fx", "Tests");
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A plug-in with one fault per selector.
PF_Err faultyEntry(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamList, PF_LayerDef*, void*) {
    switch (cmd) {
    case PF_Cmd_ABOUT: { // acquires a suite and never releases it
        const void* table = nullptr;
        in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &table);
        return PF_Err_NONE;
    }
    case PF_Cmd_GLOBAL_SETUP: // loses a handle
        in->utils->host_new_handle(16);
        return PF_Err_NONE;
    case PF_Cmd_PARAMS_SETUP: { // a name without terminator, and a wrong count
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        std::memset(def.name, 'x', sizeof def.name);
        def.param_type = PF_Param_CHECKBOX;
        in->inter.add_param(in->effect_ref, -1, &def);
        out->num_params = 5;
        return PF_Err_NONE;
    }
    case PF_Cmd_SEQUENCE_SETUP: { // a message longer than return_msg
        const std::string text(300, 'm');
        in->utils->ansi.sprintf(out->return_msg, "%s", text.c_str());
        return PF_Err_NONE;
    }
    case PF_Cmd_SEQUENCE_RESETUP: { // a handle left locked, then disposed of twice
        PF_Handle h = in->utils->host_new_handle(8);
        in->utils->host_lock_handle(h);
        in->utils->host_unlock_handle(h);
        in->utils->host_unlock_handle(h);
        in->utils->host_dispose_handle(h);
        in->utils->host_dispose_handle(h);
        return PF_Err_NONE;
    }
    case PF_Cmd_SEQUENCE_FLATTEN: { // a released suite that was never acquired
        in->pica_basicP->ReleaseSuite(kPFHandleSuite, kPFHandleSuiteVersion1);
        return PF_Err_NONE;
    }
    case PF_Cmd_SEQUENCE_SETDOWN: { // a locked handle kept, and a checkout never checked in
        PF_Handle h = in->utils->host_new_handle(8);
        in->utils->host_lock_handle(h);
        out->sequence_data = h;
        PF_ParamDef def;
        in->inter.checkout_param(in->effect_ref, 0, 0, 1, 24, &def);
        return PF_Err_NONE;
    }
    case PF_Cmd_UPDATE_PARAMS_UI: { // add_param outside parameter set-up
        PF_ParamDef def;
        std::memset(&def, 0, sizeof def);
        in->inter.add_param(in->effect_ref, 0, &def);
        return PF_Err_NONE;
    }
    default:
        return PF_Err_NONE;
    }
}

struct FaultyCase {
    PF_Cmd cmd;
    std::vector<const char*> reports;
};

void PrintTo(const FaultyCase& c, std::ostream* os) {
    *os << selectorName(c.cmd);
}

class EmulatedHostReports : public ::testing::TestWithParam<FaultyCase> {};

const FaultyCase kFaults[] = {
    {PF_Cmd_ABOUT, {"\"PF ANSI Suite\" version 1 acquired 1 more time(s)"}},
    {PF_Cmd_GLOBAL_SETUP, {"16 bytes was neither disposed of nor handed"}},
    {PF_Cmd_PARAMS_SETUP, {"name has no terminator", "num_params is 5 but 1 parameters"}},
    {PF_Cmd_SEQUENCE_SETUP, {"sprintf of 300 bytes"}},
    {PF_Cmd_SEQUENCE_RESETUP,
     {"which is not locked", "dispose of handle #1 after it was disposed of"}},
    {PF_Cmd_SEQUENCE_FLATTEN, {"ReleaseSuite of \"PF Handle Suite\" version 2"}},
    {PF_Cmd_SEQUENCE_SETDOWN,
     {"still locked", "parameter 0 checked out and never checked in",
      "neither disposed of nor handed"}},
    {PF_Cmd_UPDATE_PARAMS_UI, {"add_param outside parameter set-up", "instead of -1"}},
};
INSTANTIATE_TEST_SUITE_P(Hostsim, EmulatedHostReports, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return std::to_string(info.param.cmd); });

TEST_P(EmulatedHostReports, EachFaultOfThePlugin) {
    Host host(PluginLibrary::inProcess(faultyEntry, defaultResource()), HostApp::AfterEffects);
    Instance& instance = host.addInstance();
    host.command(GetParam().cmd, &instance);
    ASSERT_FALSE(host.problems().empty());
    std::string all;
    for (const std::string& p : host.problems())
        all += p + "\n";
    for (const char* report : GetParam().reports)
        EXPECT_THAT(all, HasSubstr(report));
    EXPECT_THAT(all, HasSubstr(selectorName(GetParam().cmd) + ": "));
}

TEST(EmulatedHost, ReturnMessageIsNeverWrittenPastItsEnd) {
    Host host(PluginLibrary::inProcess(faultyEntry, defaultResource()), HostApp::AfterEffects);
    Instance& instance = host.addInstance();
    host.sequenceSetup(instance);
    EXPECT_EQ(host.returnMessage(), std::string(255, 'm'));
}

TEST(EmulatedHost, HandleMisuseIsReportedNotFatal) {
    std::vector<std::string> reports;
    HandleTable table([&](const std::string& r) { reports.push_back(r); });
    PF_Handle h = table.allocate(4);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(table.size(h), 4u);
    PF_Handle moved = h;
    EXPECT_EQ(table.resize(64, &moved, true), PF_Err_NONE);
    EXPECT_NE(moved, h) << "a moving resize hands out a new handle";
    EXPECT_FALSE(table.isLive(h));
    EXPECT_EQ(table.size(moved), 64u);
    EXPECT_THAT(reports, IsEmpty());

    table.lock(h); // the old value
    int stray = 0;
    table.dispose(reinterpret_cast<PF_Handle>(&stray));
    table.lock(moved);
    table.dispose(moved); // while locked
    EXPECT_EQ(reports.size(), 3u);
    EXPECT_THAT(table.live(), IsEmpty());
}

TEST(PropertyList, DamagedResourcesAreRefused) {
    const std::string resource = defaultResource();
    EXPECT_EQ(parsePropertyList(resource).name, "Faulty_fx");
    std::string badVendor = resource, badVersion = resource;
    badVendor[10] = 'X';
    badVersion[0] = 2;
    for (const std::string& damaged : {badVendor, resource.substr(0, 100), badVersion})
        EXPECT_THROW(parsePropertyList(damaged), std::runtime_error);
}

} // namespace
