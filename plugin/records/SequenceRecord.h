// The record behind in_data->sequence_data, and which record owns what a record points to.
//
// A record's bytes alone cannot say whether the renderer, defines and staging buffers they point to
// are its own: hosts copy the bytes (a duplicated layer) and send re-set-up to the original and the
// copy alike, and to the same record again when its layer changes. A process-wide table can: each
// renderer belongs to the host handle whose record made it, and the other resources go with the
// renderer. Only the owner keeps or frees them; any other record forgets them.
//
// The table is locked: hosts may run commands of different instances on different threads.
#pragma once

#include "AE_Effect.h"
#include "records/SequenceState.h"

namespace glfx {

// The record behind in_data->sequence_data, or null when there is no handle, it holds no memory,
// or it is smaller than a record (a re-set-up that could not resize it): such a block is never
// read as a record.
SequenceState* sequenceRecord(const PF_InData* in_data);

// `owner` made `record`'s renderer (and so its defines and staging buffers).
void claimRecordResources(PF_Handle owner, const SequenceState& record);
// True when `owner` made the renderer `record` points to. False for a record without one.
bool ownsRecordResources(PF_Handle owner, const SequenceState& record);
// `owner` no longer owns anything (its resources were freed, or it is going away).
void releaseRecordResources(PF_Handle owner);

// Nulls every pointer the record holds to renderer, defines and staging buffers, and their sizes,
// without freeing anything: they belong to another record, or to no one in this process.
void forgetRecordResources(SequenceState& record);

// The record, with whatever it points to that `in_data`'s handle does not own forgotten first; null
// as sequenceRecord.
SequenceState* ownedSequenceRecord(const PF_InData* in_data);

} // namespace glfx
