// Host memory handles as the emulated host hands them out: one indirection to a block, tracked
// from allocation to disposal. Misuse (unknown or disposed handles, unbalanced locks, double
// disposal) is reported through the sink and never crashes the host.
#pragma once

#include "AE_Effect.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace glfx::hostsim {

class HandleTable {
public:
    using ProblemSink = std::function<void(const std::string&)>;

    explicit HandleTable(ProblemSink sink) : sink_(std::move(sink)) {}
    ~HandleTable();
    HandleTable(const HandleTable&) = delete;
    HandleTable& operator=(const HandleTable&) = delete;

    // New memory is filled with 0xCD, not zero: a plug-in must initialise what it reads.
    PF_Handle allocate(uint64_t size);
    void* lock(PF_Handle handle);
    void unlock(PF_Handle handle);
    void dispose(PF_Handle handle);
    uint64_t size(PF_Handle handle);
    // Grows or shrinks the block, keeping its leading bytes. With `move` set the handle's value
    // changes (the old one is disposed), as the SDK allows, so callers must store the new one.
    PF_Err resize(uint64_t size, PF_Handle* handle, bool move);

    bool isLive(PF_Handle handle) const;
    bool isLocked(PF_Handle handle) const;
    // Live handles, in allocation order.
    std::vector<PF_Handle> live() const;
    size_t allocations() const { return records_.size(); }
    size_t disposals() const { return disposals_; }
    // Bytes of a live handle (empty for anything else).
    std::vector<uint8_t> bytes(PF_Handle handle) const;
    // Frees every live handle without reporting anything: the host's own clean-up.
    void disposeAll();

private:
    struct Record {
        void* block = nullptr; // first: the handle points here
        uint64_t size = 0;
        int32_t locks = 0;
        bool disposed = false;
        size_t serial = 0;
    };
    Record* find(PF_Handle handle, const char* operation);
    const Record* peek(PF_Handle handle) const;

    ProblemSink sink_;
    std::deque<Record> records_; // never shrinks, so a stale handle is still recognised
    std::map<PF_Handle, Record*> byHandle_;
    size_t disposals_ = 0;
};

} // namespace glfx::hostsim
