#include "shell/GlobalSetup.h"

#include "effect/CodeContainer.h"
#include "effect/Parser.h"
#include "host/HostHandle.h"
#include "host/HostSuites.h"
#include "platform/UserFolder.h"
#include "resources/PropertyResource.h"
#include "resources/Slots.h"
#include "records/GlobalState.h"
#include "records/HostApp.h"
#include "render/Feedback.h"

namespace glfx {
namespace {

// Premiere Pro renders this effect in 8-bit BGRA only. A host without the suite keeps its
// default format; that is not an error.
void declarePixelFormats(PF_InData* in_data) {
    ScopedSuite suite(in_data->pica_basicP, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
    const auto* formats = suite.get<PF_PixelFormatSuite1>();
    if (formats == nullptr) return;
    formats->ClearSupportedPixelFormats(in_data->effect_ref);
    formats->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
}

// A handle the host hands out but cannot lock is treated like a refused one: it goes back to
// the host and nothing is stored. So does the handle when registration fails, which would
// otherwise be lost.
PF_Err createGlobalState(PF_InData* in_data, PF_OutData* out_data) {
    HostSuites suites(in_data);
    const PF_HandleSuite1& handles = suites.handle();
    OwnedHandle handle(handles.host_new_handle(sizeof(GlobalState)), handles.host_dispose_handle);
    if (handle.get() == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    HandleLock lock(handle.get(), handles.host_lock_handle, handles.host_unlock_handle);
    auto* state = static_cast<GlobalState*>(lock.data());
    if (state == nullptr) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    *state = GlobalState{};
    state->initialized = 1;
    if (!isPremiere(in_data)) {
        const std::string name = nameSlotText(nameSlotBytes());
        const PF_Err err =
            suites.utility().AEGP_RegisterWithAEGP(nullptr, name.c_str(), &state->pluginId);
        if (err != PF_Err_NONE) return err;
    }
    lock.unlock();
    out_data->global_data = handle.release();
    return PF_Err_NONE;
}

void loadEffect() {
    LoadedEffect& effect = loadedEffect();
    const std::string nameSlot = nameSlotBytes();
    effect.folder = platform::effectFolder(nameSlotText(nameSlot), true);
    effect.name = effectNameFromSlot(nameSlot);
    parseDescription(effect.description, effectCode(codeSlotBytes(), effect.folder, effect.name));
}

} // namespace

PF_Err globalSetup(PF_InData* in_data, PF_OutData* out_data) {
    const bool premiere = isPremiere(in_data);
    out_data->my_version = kPluginVersionWord;
    out_data->out_flags = static_cast<PF_OutFlags>(premiere ? kPremiereOutFlags : kAeOutFlags);
    out_data->out_flags2 = static_cast<PF_OutFlags2>(premiere ? kPremiereOutFlags2 : kAeOutFlags2);
    if (premiere) declarePixelFormats(in_data);
    const PF_Err result = createGlobalState(in_data, out_data);
    loadEffect();
    // A packed effect with persistent passes asks the host to track its checkouts over time, as
    // its property resource says; the template's resource cannot, so it keeps its flags.
    if (!premiere && codeSlotForm(codeSlotBytes()) != CodeForm::Template &&
        usesFeedback(loadedEffect().description))
        out_data->out_flags2 |= kFeedbackOutFlags2;
    return result;
}

PF_Err globalSetdown(PF_InData* in_data) {
    HostSuites suites(in_data);
    if (in_data->global_data != nullptr) suites.handle().host_dispose_handle(in_data->global_data);
    return PF_Err_NONE;
}

} // namespace glfx
