#include "render/Checkpoints.h"

#include <iterator>
#include <limits>

namespace glfx {

size_t Checkpoint::bytes() const {
    size_t total = 0;
    for (const KeptImage& image : images)
        total += image.pixels.size();
    return total;
}

std::shared_ptr<const Checkpoint>
CheckpointStore::latest(int64_t frame, uint64_t shape,
                        const std::function<bool(const Checkpoint&)>& valid) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.upper_bound({shape, frame});
    while (it != entries_.begin()) {
        --it;
        if (it->first.first != shape) break;
        if (valid(*it->second)) return it->second;
        // Computed from inputs that have changed since: of no use to any frame.
        bytes_ -= it->second->bytes();
        it = entries_.erase(it);
    }
    return nullptr;
}

bool CheckpointStore::has(int64_t frame, uint64_t shape) const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.count({shape, frame}) != 0;
}

void CheckpointStore::add(std::shared_ptr<const Checkpoint> checkpoint) {
    if (checkpoint == nullptr) return;
    std::lock_guard<std::mutex> guard(lock_);
    if (checkpoint->bytes() > budget_) return;
    const std::pair<uint64_t, int64_t> key{checkpoint->shape, checkpoint->frame};
    auto found = entries_.find(key);
    if (found != entries_.end()) {
        bytes_ -= found->second->bytes();
        entries_.erase(found);
    }
    bytes_ += checkpoint->bytes();
    entries_.emplace(key, std::move(checkpoint));
    newest_ = key;
    thin();
}

void CheckpointStore::thin() {
    while (bytes_ > budget_ && entries_.size() > 1) {
        // The entry whose neighbours are closest together; other shapes (an old frame size)
        // count as the farthest apart, so they go first.
        auto victim = entries_.end();
        int64_t smallest = std::numeric_limits<int64_t>::max();
        for (auto it = entries_.begin(); it != entries_.end(); ++it) {
            if (it->first == newest_) continue;
            int64_t gap = std::numeric_limits<int64_t>::min();
            if (it->first.first == newest_.first) {
                const auto next = std::next(it);
                const int64_t after = next != entries_.end() && next->first.first == it->first.first
                                          ? next->first.second
                                          : it->first.second;
                const int64_t before =
                    it != entries_.begin() && std::prev(it)->first.first == it->first.first
                        ? std::prev(it)->first.second
                        : 0;
                gap = after - before;
            }
            if (gap < smallest) {
                smallest = gap;
                victim = it;
            }
        }
        if (victim == entries_.end()) break;
        bytes_ -= victim->second->bytes();
        entries_.erase(victim);
    }
}

void CheckpointStore::setBudget(size_t bytes) {
    std::lock_guard<std::mutex> guard(lock_);
    budget_ = bytes;
    thin();
}

size_t CheckpointStore::budget() const {
    std::lock_guard<std::mutex> guard(lock_);
    return budget_;
}

size_t CheckpointStore::bytes() const {
    std::lock_guard<std::mutex> guard(lock_);
    return bytes_;
}

size_t CheckpointStore::count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
}

std::vector<int64_t> CheckpointStore::frames() const {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<int64_t> list;
    for (const auto& entry : entries_)
        list.push_back(entry.first.second);
    return list;
}

namespace {

struct Stores {
    std::mutex lock;
    std::map<PF_Handle, std::shared_ptr<CheckpointStore>> byOwner;
};

Stores& stores() {
    static Stores all;
    return all;
}

} // namespace

std::shared_ptr<CheckpointStore> checkpointsOf(PF_Handle owner, size_t budgetBytes) {
    Stores& all = stores();
    std::shared_ptr<CheckpointStore> store;
    {
        std::lock_guard<std::mutex> guard(all.lock);
        auto& slot = all.byOwner[owner];
        if (slot == nullptr) slot = std::make_shared<CheckpointStore>(budgetBytes);
        store = slot;
    }
    if (store->budget() != budgetBytes) store->setBudget(budgetBytes);
    return store;
}

std::shared_ptr<CheckpointStore> existingCheckpointsOf(PF_Handle owner) {
    Stores& all = stores();
    std::lock_guard<std::mutex> guard(all.lock);
    const auto found = all.byOwner.find(owner);
    return found != all.byOwner.end() ? found->second : nullptr;
}

void forgetCheckpoints(PF_Handle owner) {
    Stores& all = stores();
    std::lock_guard<std::mutex> guard(all.lock);
    all.byOwner.erase(owner);
}

} // namespace glfx
