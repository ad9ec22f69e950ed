#include "hostsim/PluginLibrary.h"

#include "resources/BinaryImage.h"
#include "resources/PropertyResource.h"

#include <dlfcn.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace glfx::hostsim {
namespace {

// The named section that carries the property resource in an ELF plug-in.
constexpr char kResourceSection[] = ".glfx_pipl";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open plug-in library " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::load(const std::string& path) {
    std::shared_ptr<PluginLibrary> lib(new PluginLibrary);
    lib->path_ = path;
    const std::string image = readFile(path);
    uint64_t size = 0;
    const char* resource = findSection(image, kResourceSection, &size);
    if (resource == nullptr)
        throw std::runtime_error(path + " has no " + kResourceSection +
                                 " section: not a glfx plug-in library");
    if (size < kPropertyResourceSize)
        throw std::runtime_error(path + ": the property resource has " + std::to_string(size) +
                                 " bytes, expected " + std::to_string(kPropertyResourceSize));
    lib->resource_.assign(resource, kPropertyResourceSize);
    lib->properties_ = parsePropertyList(lib->resource_);

    lib->module_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib->module_ == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load " + path + ": " + (why != nullptr ? why : "?"));
    }
    void* symbol = dlsym(lib->module_, lib->properties_.entryPoint.c_str());
    if (symbol == nullptr)
        throw std::runtime_error(path + " does not export the entry point \"" +
                                 lib->properties_.entryPoint + "\" its resource names");
    lib->entry_ = reinterpret_cast<PF_FilterProc>(symbol);
    return lib;
}

std::shared_ptr<PluginLibrary> PluginLibrary::inProcess(PF_FilterProc entry,
                                                        const std::string& resource) {
    std::shared_ptr<PluginLibrary> lib(new PluginLibrary);
    lib->path_ = "(in process)";
    lib->resource_ = resource;
    lib->properties_ = parsePropertyList(resource);
    lib->entry_ = entry;
    return lib;
}

PluginLibrary::~PluginLibrary() {
    if (module_ != nullptr) dlclose(module_);
}

} // namespace glfx::hostsim
