#include "hostsim/HandleTable.h"

#include <cstdlib>
#include <cstring>

namespace glfx::hostsim {

HandleTable::~HandleTable() {
    disposeAll();
}

PF_Handle HandleTable::allocate(uint64_t size) {
    void* block = std::malloc(size != 0 ? size_t(size) : 1);
    if (block == nullptr) return nullptr;
    std::memset(block, 0xCD, size_t(size));
    records_.emplace_back();
    Record& r = records_.back();
    r.block = block;
    r.size = size;
    r.serial = records_.size();
    PF_Handle handle = &r.block;
    byHandle_[handle] = &r;
    return handle;
}

HandleTable::Record* HandleTable::find(PF_Handle handle, const char* operation) {
    auto it = byHandle_.find(handle);
    if (it == byHandle_.end()) {
        sink_(std::string(operation) + " of a handle the host never handed out");
        return nullptr;
    }
    if (it->second->disposed) {
        sink_(std::string(operation) + " of handle #" + std::to_string(it->second->serial) +
              " after it was disposed of");
        return nullptr;
    }
    return it->second;
}

const HandleTable::Record* HandleTable::peek(PF_Handle handle) const {
    auto it = byHandle_.find(handle);
    return it != byHandle_.end() && !it->second->disposed ? it->second : nullptr;
}

void* HandleTable::lock(PF_Handle handle) {
    Record* r = find(handle, "lock");
    if (r == nullptr) return nullptr;
    ++r->locks;
    return r->block;
}

void HandleTable::unlock(PF_Handle handle) {
    Record* r = find(handle, "unlock");
    if (r == nullptr) return;
    if (r->locks == 0) {
        sink_("unlock of handle #" + std::to_string(r->serial) + ", which is not locked");
        return;
    }
    --r->locks;
}

void HandleTable::dispose(PF_Handle handle) {
    Record* r = find(handle, "dispose");
    if (r == nullptr) return;
    if (r->locks != 0)
        sink_("dispose of handle #" + std::to_string(r->serial) + " while it is locked");
    std::free(r->block);
    r->block = nullptr;
    r->disposed = true;
    ++disposals_;
}

uint64_t HandleTable::size(PF_Handle handle) {
    Record* r = find(handle, "size query");
    return r != nullptr ? r->size : 0;
}

PF_Err HandleTable::resize(uint64_t size, PF_Handle* handle, bool move) {
    if (handle == nullptr) {
        sink_("resize with no handle pointer");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    Record* r = find(*handle, "resize");
    if (r == nullptr) return PF_Err_BAD_CALLBACK_PARAM;
    if (r->locks != 0) {
        sink_("resize of handle #" + std::to_string(r->serial) + " while it is locked");
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (move) {
        PF_Handle moved = allocate(size);
        if (moved == nullptr) return PF_Err_OUT_OF_MEMORY;
        Record* old = byHandle_[*handle];
        std::memcpy(*moved, old->block, size_t(size < old->size ? size : old->size));
        std::free(old->block);
        old->block = nullptr;
        old->disposed = true;
        ++disposals_;
        *handle = moved;
        return PF_Err_NONE;
    }
    void* block = std::realloc(r->block, size != 0 ? size_t(size) : 1);
    if (block == nullptr) return PF_Err_OUT_OF_MEMORY;
    if (size > r->size)
        std::memset(static_cast<char*>(block) + r->size, 0xCD, size_t(size - r->size));
    r->block = block;
    r->size = size;
    return PF_Err_NONE;
}

bool HandleTable::isLive(PF_Handle handle) const {
    return peek(handle) != nullptr;
}

bool HandleTable::isLocked(PF_Handle handle) const {
    const Record* r = peek(handle);
    return r != nullptr && r->locks != 0;
}

std::vector<PF_Handle> HandleTable::live() const {
    std::vector<PF_Handle> out;
    for (const Record& r : records_)
        if (!r.disposed) out.push_back(const_cast<PF_Handle>(&r.block));
    return out;
}

std::vector<uint8_t> HandleTable::bytes(PF_Handle handle) const {
    const Record* r = peek(handle);
    if (r == nullptr) return {};
    const auto* p = static_cast<const uint8_t*>(r->block);
    return std::vector<uint8_t>(p, p + r->size);
}

void HandleTable::disposeAll() {
    for (Record& r : records_) {
        if (r.disposed) continue;
        std::free(r.block);
        r.block = nullptr;
        r.disposed = true;
    }
}

} // namespace glfx::hostsim
