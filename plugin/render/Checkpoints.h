// Checkpoints of the results persistent passes keep: what frame N of a layer reads from them,
// copied off the GPU, with what it was computed from. Each is immutable once made and handed out
// as a shared pointer, so render threads could one day share a store.
//
// A store belongs to one instance (its sequence handle) and outlives its renderer: flatten frees
// the GPU but a save and reopen keeps the history. It holds at most its budget of pixel bytes; when
// a new checkpoint would pass it, the one whose loss leaves the smallest gap between frames goes
// (never the newest), so the checkpoints thin out evenly instead of forgetting a whole stretch.
#pragma once

#include "AE_Effect.h"
#include "AE_EffectSuites.h"
#include "gl/FrameInput.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace glfx {

struct Checkpoint {
    int64_t frame = 0;  // the kept results frame `frame` reads: what frames 0 ... frame-1 left
    uint64_t shape = 0; // hash of the frame geometry, pixel format and timing they were drawn at
    PF_State inputs{};  // the host's state of every input over frames 0 ... frame-1
    std::vector<KeptImage> images;
    size_t bytes() const;
};

class CheckpointStore {
public:
    explicit CheckpointStore(size_t budgetBytes) : budget_(budgetBytes) {}

    // The checkpoint of `shape` with the latest frame at or before `frame` that `valid` accepts;
    // the ones it rejects on the way are dropped. Null when none.
    std::shared_ptr<const Checkpoint> latest(int64_t frame, uint64_t shape,
                                             const std::function<bool(const Checkpoint&)>& valid);
    bool has(int64_t frame, uint64_t shape) const;
    // Replaces one of the same frame and shape; then thins the store down to its budget. One
    // larger than the whole budget is not kept.
    void add(std::shared_ptr<const Checkpoint> checkpoint);

    void setBudget(size_t bytes);
    size_t budget() const;
    size_t bytes() const;
    size_t count() const;
    std::vector<int64_t> frames() const;

private:
    void thin();

    mutable std::mutex lock_;
    size_t budget_;
    size_t bytes_ = 0;
    // By shape, then frame.
    std::map<std::pair<uint64_t, int64_t>, std::shared_ptr<const Checkpoint>> entries_;
    std::pair<uint64_t, int64_t> newest_{0, -1};
};

// The store of the instance whose sequence handle is `owner`, made with `budgetBytes` on first use
// (a later call sets the budget). Never null.
std::shared_ptr<CheckpointStore> checkpointsOf(PF_Handle owner, size_t budgetBytes);
// The store, when there is one; null otherwise.
std::shared_ptr<CheckpointStore> existingCheckpointsOf(PF_Handle owner);
// The instance is gone: its store with it.
void forgetCheckpoints(PF_Handle owner);

} // namespace glfx
