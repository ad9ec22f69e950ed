// The one way the plug-in obtains the host's named suites. A HostSuites lives for one command:
// each suite is acquired on first use and released, with the name and version it was acquired
// with, when the cache goes out of scope, also when an exception leaves the command.
//
// Error policy of this layer: a missing basic suite or a refused suite is thrown as the host code
// PF_Err_BAD_CALLBACK_PARAM (516); the entry point returns a thrown code unchanged.
#pragma once

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "AE_GeneralPlug.h"
#include "PrSDKAESupport.h"
#include "SPBasic.h"

#include <cstddef>

namespace glfx {

class HostSuites {
public:
    // Keeps in_data->pica_basicP; throws 516 when there is none.
    explicit HostSuites(const PF_InData* in_data);
    // Releases every suite this cache acquired; never throws.
    ~HostSuites();

    HostSuites(const HostSuites&) = delete;
    HostSuites& operator=(const HostSuites&) = delete;

    // Each throws 516 when the host refuses the suite or hands out a null table.
    const PF_HandleSuite1& handle();
    const PF_ANSICallbacksSuite1& ansi();
    const AEGP_UtilitySuite3& utility();
    const AEGP_PFInterfaceSuite1& pfInterface();
    const AEGP_StreamSuite2& stream();
    const AEGP_DynamicStreamSuite2& dynamicStream();
    const AEGP_EffectSuite2& effect();
    const PF_ParamUtilsSuite1& paramUtils();
    const PF_WorldSuite2& world();

    SPBasicSuite* basic() const { return basic_; }

    enum Slot : size_t {
        Handle,
        Ansi,
        Utility,
        PfInterface,
        Stream,
        DynamicStream,
        Effect,
        ParamUtils,
        World,
        SlotCount
    };
    struct SuiteKey {
        const char* name;
        int version;
    };
    // The (name, version) pair behind each slot.
    static const SuiteKey& key(Slot slot);

private:
    const void* get(Slot slot);

    SPBasicSuite* basic_;
    const void* tables_[SlotCount] = {};
};

// A suite acquired straight from the basic suite for one step and released when the step's scope
// ends. A refusal is not an error here: `get` is then null and the caller skips the step.
class ScopedSuite {
public:
    ScopedSuite(SPBasicSuite* basic, const char* name, int version);
    ~ScopedSuite();

    ScopedSuite(const ScopedSuite&) = delete;
    ScopedSuite& operator=(const ScopedSuite&) = delete;

    template <typename T> const T* get() const { return static_cast<const T*>(table_); }

private:
    SPBasicSuite* basic_;
    const char* name_;
    int version_;
    const void* table_ = nullptr;
};

} // namespace glfx
