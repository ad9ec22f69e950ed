#include "shell/SequenceLifetime.h"

#include "AE_EffectCB.h"
#include "gl/GlRenderer.h"
#include "shaders/DefineMap.h"
#include "records/HostApp.h"
#include "records/GlobalState.h"
#include "records/SequenceRecord.h"
#include "render/Checkpoints.h"
#include "render/Feedback.h"

#include <cstring>

namespace glfx {
namespace {

constexpr A_u_longlong kRecordBytes = sizeof(SequenceState);

PF_Err reportRefusal(PF_InData* in_data, PF_OutData* out_data) {
    in_data->utils->ansi.strcpy(out_data->return_msg, "Internal Error");
    out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
}

// Brings an incoming handle that is shorter than a record (an older or damaged project) to the
// record's size; bytes it gains are zero. Initialising a short one in place would write past its
// end, so a refused resize fails the command instead. A longer one (a later version's record) is
// initialised in place and keeps its tail.
PF_Err fitIncomingHandle(PF_InData* in_data, PF_OutData* out_data) {
    PF_UtilCallbacks* utils = in_data->utils;
    PF_Handle handle = in_data->sequence_data;
    const A_u_longlong size = utils->host_get_handle_size(handle);
    if (size < kRecordBytes) {
        if (utils->host_resize_handle(kRecordBytes, &handle) != PF_Err_NONE || handle == nullptr)
            return reportRefusal(in_data, out_data);
        // The handle's value may have changed.
        in_data->sequence_data = handle;
        out_data->sequence_data = handle;
        if (*handle != nullptr)
            std::memset(static_cast<char*>(*handle) + size, 0, size_t(kRecordBytes - size));
    }
    if (*handle == nullptr) return reportRefusal(in_data, out_data);
    return PF_Err_NONE;
}

PF_Err newRecordHandle(PF_InData* in_data, PF_OutData* out_data) {
    PF_UtilCallbacks* utils = in_data->utils;
    PF_Handle handle = utils->host_new_handle(kRecordBytes);
    if (handle != nullptr && *handle == nullptr) {
        // Handed out without memory: as good as refused.
        utils->host_dispose_handle(handle);
        handle = nullptr;
    }
    if (handle == nullptr) return reportRefusal(in_data, out_data);
    out_data->sequence_data = handle;
    out_data->flat_sdata_size = static_cast<A_long>(kRecordBytes);
    std::memset(*handle, 0, size_t(kRecordBytes));
    return PF_Err_NONE;
}

void freeStagingBuffers(SequenceState& record) {
    for (int32_t slot = 0; slot < kMaxLayers; ++slot) {
        if (record.layerBuffers[slot] == nullptr) continue;
        delete[] record.layerBuffers[slot];
        record.layerBuffers[slot] = nullptr;
        record.layerWidth[slot] = 0;
        record.layerHeight[slot] = 0;
        record.layerAllocWidth[slot] = 0;
        record.layerAllocHeight[slot] = 0;
    }
    if (record.resultBuffer != nullptr) {
        delete[] record.resultBuffer;
        record.resultBuffer = nullptr;
        record.resultAllocWidth = 0;
        record.resultAllocHeight = 0;
    }
}

} // namespace

void initializeRecord(const PF_InData* in_data, SequenceState& record) {
    forgetRecordResources(record);
    record.needsRebuild = 1;
    record.hostIsPremiere = isPremiere(in_data) ? 1 : 0;
}

void dropRecordResources(SequenceState& record, bool releaseGl) {
    if (record.renderer != nullptr) {
        if (releaseGl) {
            try {
                record.renderer->releaseResources();
            } catch (...) {
            }
            try {
                record.renderer->context.close();
            } catch (...) {
            }
        } else {
            record.renderer->context.close();
        }
        // With the context closed the renderer's destructor makes no GL call.
        delete record.renderer;
        record.renderer = nullptr;
    }
    delete record.defines;
    record.defines = nullptr;
    // Every slot, not only those below the description's layer count: a later global set-up may
    // have lowered the count, and slots above it are null anyway.
    freeStagingBuffers(record);
}

PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data) {
    const PF_Err result = in_data->sequence_data != nullptr ? fitIncomingHandle(in_data, out_data)
                                                            : newRecordHandle(in_data, out_data);
    if (result != PF_Err_NONE) return result;
    // After set-up made a new handle the record is in out_data's.
    PF_Handle handle =
        in_data->sequence_data != nullptr ? in_data->sequence_data : out_data->sequence_data;
    auto& record = *static_cast<SequenceState*>(*handle);
    if (ownsRecordResources(handle, record)) {
        // The same record again (its layer changed): what it made stays, built as it is.
        record.hostIsPremiere = isPremiere(in_data) ? 1 : 0;
        return PF_Err_NONE;
    }
    initializeRecord(in_data, record);
    return PF_Err_NONE;
}

PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data) {
    // Without a handle this is set-up; with one, set-up's path fits it to the record's size and
    // initialises it unless it is the owner of what it points to. Nothing is rebuilt now: a record
    // that forgot its renderer finds none at the next render, and needsRebuild set.
    return sequenceSetup(in_data, out_data);
}

PF_Err sequenceFlatten(PF_InData* in_data) {
    if (SequenceState* record = sequenceRecord(in_data)) {
        if (ownsRecordResources(in_data->sequence_data, *record)) {
            // What persistent passes keep outlives the GPU, so a save costs no history.
            if (record->renderer->resourcesAllocated && usesFeedback(loadedEffect().description))
                keepHistory(in_data->sequence_data, *record->renderer,
                            loadedEffect().description.settings);
            dropRecordResources(*record, false);
            releaseRecordResources(in_data->sequence_data);
        } else {
            forgetRecordResources(*record);
        }
    }
    return PF_Err_NONE;
}

PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data) {
    if (in_data->sequence_data == nullptr) return PF_Err_NONE;
    if (SequenceState* record = sequenceRecord(in_data)) {
        if (ownsRecordResources(in_data->sequence_data, *record))
            dropRecordResources(*record, true);
        else
            forgetRecordResources(*record);
    }
    releaseRecordResources(in_data->sequence_data);
    forgetCheckpoints(in_data->sequence_data);
    in_data->utils->host_dispose_handle(in_data->sequence_data);
    out_data->sequence_data = nullptr;
    in_data->sequence_data = nullptr;
    return PF_Err_NONE;
}

PF_Err updateParamsUi(PF_InData* in_data) {
    return sequenceRecord(in_data) != nullptr ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED;
}

} // namespace glfx
