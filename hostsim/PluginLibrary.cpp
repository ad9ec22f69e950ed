#include "hostsim/PluginLibrary.h"

#include "platform/SystemError.h"
#include "resources/BinaryImage.h"
#include "resources/PropertyResource.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace glfx::hostsim {
namespace {

#ifdef _WIN32
using platform::windowsErrorText;

// As a Windows host does before it runs any of the library's code: the "PiPL" resource 16000 from
// the file mapped as data.
std::string readResource(const std::string& path) {
    HMODULE data = LoadLibraryExA(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (data == nullptr)
        throw std::runtime_error("cannot open plug-in library " + path + ": " +
                                 windowsErrorText(GetLastError()));
    std::string resource;
    HRSRC info = FindResourceA(data, MAKEINTRESOURCEA(16000), "PiPL");
    HGLOBAL loaded = info != nullptr ? LoadResource(data, info) : nullptr;
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    const DWORD size = info != nullptr ? SizeofResource(data, info) : 0;
    if (bytes != nullptr) resource.assign(static_cast<const char*>(bytes), size);
    FreeLibrary(data);
    if (info == nullptr)
        throw std::runtime_error(path + " has no PiPL resource 16000: not a glfx plug-in library");
    return resource;
}
#else
// The named section that carries the property resource in an ELF plug-in.
constexpr char kResourceSection[] = ".glfx_pipl";

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open plug-in library " + path);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string readResource(const std::string& path) {
    const std::string image = readFile(path);
    uint64_t size = 0;
    const char* resource = findSection(image, kResourceSection, &size);
    if (resource == nullptr)
        throw std::runtime_error(path + " has no " + kResourceSection +
                                 " section: not a glfx plug-in library");
    return std::string(resource, size);
}
#endif

} // namespace

std::shared_ptr<PluginLibrary> PluginLibrary::load(const std::string& path) {
    std::shared_ptr<PluginLibrary> lib(new PluginLibrary);
    lib->path_ = path;
    const std::string resource = readResource(path);
    if (resource.size() < kPropertyResourceSize)
        throw std::runtime_error(path + ": the property resource has " +
                                 std::to_string(resource.size()) + " bytes, expected " +
                                 std::to_string(kPropertyResourceSize));
    lib->resource_ = resource.substr(0, kPropertyResourceSize);
    lib->properties_ = parsePropertyList(lib->resource_);

#ifdef _WIN32
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr)
        throw std::runtime_error("cannot load " + path + ": " + windowsErrorText(GetLastError()));
    lib->module_ = module;
    FARPROC symbol = GetProcAddress(module, lib->properties_.entryPoint.c_str());
    if (symbol == nullptr)
        throw std::runtime_error(path + " does not export the entry point \"" +
                                 lib->properties_.entryPoint + "\" its resource names");
    lib->entry_ = reinterpret_cast<PF_FilterProc>(reinterpret_cast<void (*)()>(symbol));
    return lib;
#else
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
#endif
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
#ifdef _WIN32
    if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
#else
    if (module_ != nullptr) dlclose(module_);
#endif
}

} // namespace glfx::hostsim
