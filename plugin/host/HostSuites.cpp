#include "host/HostSuites.h"

namespace glfx {
namespace {

const HostSuites::SuiteKey kKeys[HostSuites::SlotCount] = {
    {kPFHandleSuite, kPFHandleSuiteVersion1},
    {kPFANSISuite, kPFANSISuiteVersion1},
    {kAEGPUtilitySuite, kAEGPUtilitySuiteVersion3},
    {kAEGPPFInterfaceSuite, kAEGPPFInterfaceSuiteVersion1},
    {kAEGPStreamSuite, kAEGPStreamSuiteVersion2},
    {kAEGPDynamicStreamSuite, kAEGPDynamicStreamSuiteVersion2},
    {kAEGPEffectSuite, kAEGPEffectSuiteVersion2},
    {kPFParamUtilsSuite, kPFParamUtilsSuiteVersion1},
    {kPFWorldSuite, kPFWorldSuiteVersion2},
};

SPBasicSuite* requireBasic(const PF_InData* in_data) {
    if (in_data == nullptr || in_data->pica_basicP == nullptr)
        throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    return in_data->pica_basicP;
}

} // namespace

HostSuites::HostSuites(const PF_InData* in_data) : basic_(requireBasic(in_data)) {}

HostSuites::~HostSuites() {
    for (size_t slot = 0; slot < SlotCount; ++slot)
        if (tables_[slot] != nullptr) basic_->ReleaseSuite(kKeys[slot].name, kKeys[slot].version);
}

const HostSuites::SuiteKey& HostSuites::key(Slot slot) {
    return kKeys[slot];
}

const void* HostSuites::get(Slot slot) {
    if (tables_[slot] != nullptr) return tables_[slot];
    const void* table = nullptr;
    const SPErr err = basic_->AcquireSuite(kKeys[slot].name, kKeys[slot].version, &table);
    if (err != kSPNoError || table == nullptr) {
        // A host that reports an error may still have counted the loan: give it back.
        if (err == kSPNoError) basic_->ReleaseSuite(kKeys[slot].name, kKeys[slot].version);
        throw PF_Err(PF_Err_BAD_CALLBACK_PARAM);
    }
    tables_[slot] = table;
    return table;
}

const PF_HandleSuite1& HostSuites::handle() {
    return *static_cast<const PF_HandleSuite1*>(get(Handle));
}
const PF_ANSICallbacksSuite1& HostSuites::ansi() {
    return *static_cast<const PF_ANSICallbacksSuite1*>(get(Ansi));
}
const AEGP_UtilitySuite3& HostSuites::utility() {
    return *static_cast<const AEGP_UtilitySuite3*>(get(Utility));
}
const AEGP_PFInterfaceSuite1& HostSuites::pfInterface() {
    return *static_cast<const AEGP_PFInterfaceSuite1*>(get(PfInterface));
}
const AEGP_StreamSuite2& HostSuites::stream() {
    return *static_cast<const AEGP_StreamSuite2*>(get(Stream));
}
const AEGP_DynamicStreamSuite2& HostSuites::dynamicStream() {
    return *static_cast<const AEGP_DynamicStreamSuite2*>(get(DynamicStream));
}
const AEGP_EffectSuite2& HostSuites::effect() {
    return *static_cast<const AEGP_EffectSuite2*>(get(Effect));
}
const PF_ParamUtilsSuite1& HostSuites::paramUtils() {
    return *static_cast<const PF_ParamUtilsSuite1*>(get(ParamUtils));
}
const PF_WorldSuite2& HostSuites::world() {
    return *static_cast<const PF_WorldSuite2*>(get(World));
}

ScopedSuite::ScopedSuite(SPBasicSuite* basic, const char* name, int version)
    : basic_(basic), name_(name), version_(version) {
    if (basic_ == nullptr) return;
    const void* table = nullptr;
    const SPErr err = basic_->AcquireSuite(name_, version_, &table);
    if (err == kSPNoError && table != nullptr)
        table_ = table;
    else if (err == kSPNoError)
        basic_->ReleaseSuite(name_, version_);
}

ScopedSuite::~ScopedSuite() {
    if (table_ != nullptr) basic_->ReleaseSuite(name_, version_);
}

} // namespace glfx
