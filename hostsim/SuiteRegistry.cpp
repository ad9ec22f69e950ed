#include "hostsim/SuiteRegistry.h"

#include "SPErrorCodes.h"

namespace glfx::hostsim {

std::string SuiteRegistry::describe(const Key& key) {
    return "\"" + key.first + "\" version " + std::to_string(key.second);
}

void SuiteRegistry::provide(const std::string& name, int version, const void* table) {
    tables_[{name, version}] = table;
}

void SuiteRegistry::withdraw(const std::string& name, int version) {
    tables_.erase({name, version});
}

void SuiteRegistry::refuse(const std::string& name, int version) {
    refused_.insert({name, version});
}

void SuiteRegistry::allow(const std::string& name, int version) {
    refused_.erase({name, version});
}

void SuiteRegistry::allowAll() {
    refused_.clear();
}

SPErr SuiteRegistry::acquire(const char* name, int version, const void** table) {
    if (name == nullptr || table == nullptr) {
        sink_("AcquireSuite called with a null name or result pointer");
        return kSPBadParameterError;
    }
    *table = nullptr;
    const Key key{name, version};
    auto it = tables_.find(key);
    const int attempt = attempts_++;
    if (it == tables_.end() || refused_.count(key) != 0 || attempt == refusedAttempt_)
        return kSPSuiteNotFoundError;
    *table = it->second;
    ++loans_[key];
    acquisitions_.push_back(key);
    return kSPNoError;
}

SPErr SuiteRegistry::release(const char* name, int version) {
    if (name == nullptr) {
        sink_("ReleaseSuite called with a null name");
        return kSPBadParameterError;
    }
    const Key key{name, version};
    auto it = loans_.find(key);
    if (it == loans_.end() || it->second == 0) {
        sink_("ReleaseSuite of " + describe(key) + ", which is not acquired");
        return kSPBadParameterError;
    }
    if (--it->second == 0) loans_.erase(it);
    releases_.push_back(key);
    return kSPNoError;
}

std::map<SuiteRegistry::Key, int> SuiteRegistry::outstanding() const {
    return loans_;
}

void SuiteRegistry::clearLog() {
    acquisitions_.clear();
    releases_.clear();
}

} // namespace glfx::hostsim
