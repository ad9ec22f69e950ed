#include "shell/Dispatch.h"

#include "params/ParamSetup.h"
#include "params/ParamValues.h"
#include "host/HostSuites.h"
#include "records/SequenceRecord.h"
#include "render/Feedback.h"
#include "render/RenderHandlers.h"
#include "shell/About.h"
#include "shell/GlobalSetup.h"
#include "records/GlobalState.h"
#include "shell/SequenceLifetime.h"

#include <array>

namespace glfx {
namespace {

PF_Err onAbout(const CommandArgs& a) {
    return about(a.in_data, a.out_data);
}
PF_Err onGlobalSetup(const CommandArgs& a) {
    return globalSetup(a.in_data, a.out_data);
}
PF_Err onGlobalSetdown(const CommandArgs& a) {
    return globalSetdown(a.in_data);
}
PF_Err onParamsSetup(const CommandArgs& a) {
    return paramsSetup(a.in_data, a.out_data, loadedEffect().description);
}
PF_Err onSequenceSetup(const CommandArgs& a) {
    return sequenceSetup(a.in_data, a.out_data);
}
PF_Err onSequenceResetup(const CommandArgs& a) {
    return sequenceResetup(a.in_data, a.out_data);
}
PF_Err onSequenceFlatten(const CommandArgs& a) {
    return sequenceFlatten(a.in_data);
}
PF_Err onSequenceSetdown(const CommandArgs& a) {
    return sequenceSetdown(a.in_data, a.out_data);
}
PF_Err onUpdateParamsUi(const CommandArgs& a) {
    return updateParamsUi(a.in_data);
}
PF_Err onRender(const CommandArgs& a) {
    return renderCommand(a.in_data, a.out_data, a.params, a.output, loadedEffect().description);
}
PF_Err onUserChangedParam(const CommandArgs& a) {
    const EffectDescription& description = loadedEffect().description;
    // A host that cannot say what changed over time (no PF_GetCurrentState): any change may
    // touch the history of persistent passes.
    if (usesFeedback(description)) {
        ScopedSuite states(a.in_data->pica_basicP, kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
        SequenceState* record = ownedSequenceRecord(a.in_data);
        if (states.get<PF_ParamUtilsSuite3>() == nullptr && record != nullptr)
            forgetHistory(a.in_data->sequence_data, record->renderer);
    }
    return userChangedParam(a.in_data, a.out_data, a.params,
                            static_cast<const PF_UserChangedParamExtra*>(a.extra), description);
}
PF_Err onSmartPreRender(const CommandArgs& a) {
    return smartPreRenderCommand(a.in_data, static_cast<PF_PreRenderExtra*>(a.extra),
                                 loadedEffect().description);
}
PF_Err onSmartRender(const CommandArgs& a) {
    return smartRenderCommand(a.in_data, a.out_data, static_cast<PF_SmartRenderExtra*>(a.extra),
                              loadedEffect().description);
}

constexpr std::array<CommandHandler, kSelectorCount> makeTable() {
    std::array<CommandHandler, kSelectorCount> t{};
    t[PF_Cmd_ABOUT] = onAbout;
    t[PF_Cmd_GLOBAL_SETUP] = onGlobalSetup;
    t[PF_Cmd_GLOBAL_SETDOWN] = onGlobalSetdown;
    t[PF_Cmd_PARAMS_SETUP] = onParamsSetup;
    t[PF_Cmd_SEQUENCE_SETUP] = onSequenceSetup;
    t[PF_Cmd_SEQUENCE_RESETUP] = onSequenceResetup;
    t[PF_Cmd_SEQUENCE_FLATTEN] = onSequenceFlatten;
    t[PF_Cmd_SEQUENCE_SETDOWN] = onSequenceSetdown;
    t[PF_Cmd_RENDER] = onRender;
    t[PF_Cmd_USER_CHANGED_PARAM] = onUserChangedParam;
    t[PF_Cmd_UPDATE_PARAMS_UI] = onUpdateParamsUi;
    t[PF_Cmd_SMART_PRE_RENDER] = onSmartPreRender;
    t[PF_Cmd_SMART_RENDER] = onSmartRender;
    return t;
}

constexpr std::array<CommandHandler, kSelectorCount> kHandlers = makeTable();

} // namespace

CommandHandler commandHandler(PF_Cmd cmd) {
    const auto selector = static_cast<A_u_long>(cmd);
    return selector < kSelectorCount ? kHandlers[selector] : nullptr;
}

PF_Err dispatchCommand(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef** params,
                       PF_LayerDef* output, void* extra) noexcept {
    const CommandHandler handler = commandHandler(cmd);
    if (handler == nullptr) return PF_Err_NONE;
    try {
        return handler(CommandArgs{in_data, out_data, params, output, extra});
    } catch (PF_Err err) {
        return err;
    } catch (...) {
        return PF_Err_INTERNAL_STRUCT_DAMAGED;
    }
}

} // namespace glfx
