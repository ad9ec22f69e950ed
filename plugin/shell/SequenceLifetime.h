// The four sequence commands and the record they manage. The record is the whole content of the
// host's sequence-data handle, reached through one indirection.
#pragma once

#include "AE_Effect.h"
#include "records/SequenceState.h"
#include "records/SequenceRecord.h"

namespace glfx {

// Forgets, without freeing, everything a stored or copied record may hold from another process:
// renderer, defines, staging buffers and their sizes. Marks the programs for rebuilding and
// records the host. Parameter values, layer worlds and frame facts stay.
void initializeRecord(const PF_InData* in_data, SequenceState& record);

// Frees what the record owns outside itself (renderer with its context, defines, staging
// buffers) and leaves it flat. `releaseGl` also releases the renderer's GL objects first; a
// failure there is swallowed so that the record is freed regardless.
void dropRecordResources(SequenceState& record, bool releaseGl);

PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data);
PF_Err sequenceFlatten(PF_InData* in_data);
PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data);
// PF_Cmd_UPDATE_PARAMS_UI changes nothing; it only checks that the record is there.
PF_Err updateParamsUi(PF_InData* in_data);

} // namespace glfx
