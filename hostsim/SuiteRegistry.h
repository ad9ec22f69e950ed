// The host's named, versioned suites behind the basic suite: which tables exist, which are
// refused on request, and how many loans of each are outstanding.
#pragma once

#include "SPBasic.h"

#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace glfx::hostsim {

class SuiteRegistry {
public:
    using Key = std::pair<std::string, int>; // name, numeric version
    using ProblemSink = std::function<void(const std::string&)>;

    explicit SuiteRegistry(ProblemSink sink) : sink_(std::move(sink)) {}

    void provide(const std::string& name, int version, const void* table);
    void withdraw(const std::string& name, int version);
    // A refused suite answers kSPSuiteNotFoundError as if the host had none.
    void refuse(const std::string& name, int version);
    void allow(const std::string& name, int version);
    void allowAll();
    // The acquisition attempt of this number (0-based, counted over the registry's life, refused
    // ones included) is refused; -1 refuses none.
    void refuseAttempt(int attempt) { refusedAttempt_ = attempt; }
    int attempts() const { return attempts_; }

    SPErr acquire(const char* name, int version, const void** table);
    SPErr release(const char* name, int version);

    // Loans not yet given back, per suite.
    std::map<Key, int> outstanding() const;
    // Every successful acquisition since the last clearLog, in order.
    const std::vector<Key>& acquisitions() const { return acquisitions_; }
    const std::vector<Key>& releases() const { return releases_; }
    void clearLog();
    // Forgets outstanding loans (after they were reported).
    void forgive() { loans_.clear(); }

private:
    static std::string describe(const Key& key);

    ProblemSink sink_;
    std::map<Key, const void*> tables_;
    std::set<Key> refused_;
    std::map<Key, int> loans_;
    std::vector<Key> acquisitions_;
    std::vector<Key> releases_;
    int attempts_ = 0;
    int refusedAttempt_ = -1;
};

} // namespace glfx::hostsim
