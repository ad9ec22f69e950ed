#include "records/SequenceRecord.h"

#include "AE_EffectCB.h"

#include <map>
#include <mutex>

namespace glfx {
namespace {

struct Owners {
    std::mutex lock;
    std::map<PF_Handle, const void*> renderers;
};

Owners& owners() {
    static Owners table;
    return table;
}

} // namespace

SequenceState* sequenceRecord(const PF_InData* in_data) {
    PF_Handle handle = in_data->sequence_data;
    if (handle == nullptr || *handle == nullptr) return nullptr;
    if (in_data->utils->host_get_handle_size(handle) < sizeof(SequenceState)) return nullptr;
    return static_cast<SequenceState*>(*handle);
}

void claimRecordResources(PF_Handle owner, const SequenceState& record) {
    Owners& table = owners();
    std::lock_guard<std::mutex> guard(table.lock);
    table.renderers[owner] = record.renderer;
}

bool ownsRecordResources(PF_Handle owner, const SequenceState& record) {
    if (record.renderer == nullptr) return false;
    Owners& table = owners();
    std::lock_guard<std::mutex> guard(table.lock);
    const auto found = table.renderers.find(owner);
    return found != table.renderers.end() && found->second == record.renderer;
}

void releaseRecordResources(PF_Handle owner) {
    Owners& table = owners();
    std::lock_guard<std::mutex> guard(table.lock);
    table.renderers.erase(owner);
}

void forgetRecordResources(SequenceState& record) {
    record.renderer = nullptr;
    record.defines = nullptr;
    for (int32_t slot = 0; slot < kMaxLayers; ++slot) {
        record.layerBuffers[slot] = nullptr;
        record.layerAllocWidth[slot] = 0;
        record.layerAllocHeight[slot] = 0;
    }
    record.resultBuffer = nullptr;
    record.resultAllocWidth = 0;
    record.resultAllocHeight = 0;
}

SequenceState* ownedSequenceRecord(const PF_InData* in_data) {
    SequenceState* record = sequenceRecord(in_data);
    if (record != nullptr && !ownsRecordResources(in_data->sequence_data, *record))
        forgetRecordResources(*record);
    return record;
}

} // namespace glfx
