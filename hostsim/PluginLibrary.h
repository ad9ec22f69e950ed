// A plug-in library as the host loads it: the property resource read from the file first, then
// the library mapped privately (RTLD_LOCAL) and its entry point looked up by the resource's name.
#pragma once

#include "AE_Effect.h"
#include "hostsim/PropertyList.h"

#include <memory>
#include <string>

namespace glfx::hostsim {

class PluginLibrary {
public:
    // Throws std::runtime_error saying which step failed (file, resource, loader, entry point).
    static std::shared_ptr<PluginLibrary> load(const std::string& path);

    // An entry point linked into the calling program, with the resource it would carry; lets
    // tests drive the dispatch in-process, where they can reach the plug-in's internals.
    static std::shared_ptr<PluginLibrary> inProcess(PF_FilterProc entry,
                                                    const std::string& resource);

    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    PF_FilterProc entry() const { return entry_; }
    const PropertyList& properties() const { return properties_; }
    const std::string& resource() const { return resource_; }
    const std::string& path() const { return path_; }

private:
    PluginLibrary() = default;

    std::string path_;
    std::string resource_;
    PropertyList properties_;
    void* module_ = nullptr;
    PF_FilterProc entry_ = nullptr;
};

} // namespace glfx::hostsim
