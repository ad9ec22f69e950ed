// A sequence record read back from any bytes, as a damaged or foreign project brings it: the
// emulated host loads the plug-in library (built instrumented with the fuzz targets), re-sets the
// record up, renders a frame, flattens, re-sets up and renders again, then sets everything down.
// The plug-in must not crash, must answer every command, and the host must find nothing left
// over: no suite, handle or checkout, no padding written.
//
// Input: byte 0 picks the host (After Effects or Premiere Pro) and the render path, byte 1 the
// Mode popup's value as the host hands it out; the rest is the record, any length.
#include "FuzzCheck.h"
#include "hostsim/Host.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using glfx::fuzz::require;
using namespace glfx::hostsim;

namespace {

std::string privateFolder;

void removePrivateFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(privateFolder, ignored);
}

std::shared_ptr<PluginLibrary> library() {
    static const std::shared_ptr<PluginLibrary> lib = PluginLibrary::load(GLFX_FUZZ_PLUGIN);
    return lib;
}

std::vector<float> picture(int w, int h) {
    std::vector<float> rgba(size_t(w) * size_t(h) * 4);
    for (size_t i = 0; i < rgba.size(); ++i)
        rgba[i] = float((i * 37) % 256) / 255.0f;
    return rgba;
}

void noProblems(const Host& host) {
    for (const std::string& p : host.problems())
        std::fprintf(stderr, "host: %s\n", p.c_str());
    require(host.problems().empty(), "the host finds nothing wrong");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Global set-up makes the per-user folders; keep them out of the real home.
    char pattern[] = "/tmp/glfx-fuzz-record-XXXXXX";
    require(mkdtemp(pattern) != nullptr, "a private folder can be made");
    privateFolder = pattern;
    setenv("XDG_CONFIG_HOME", privateFolder.c_str(), 1);
    std::atexit(removePrivateFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const HostApp app = (data[0] & 1) != 0 ? HostApp::PremierePro : HostApp::AfterEffects;
    const RenderOptions options{(data[0] & 2) != 0 ? RenderPath::Classic : RenderPath::Smart,
                                (data[0] & 4) != 0 ? 8 : 0};
    const std::vector<uint8_t> record(data + 2, data + size);

    Host host(library(), app);
    require(host.start() == PF_Err_NONE, "global and parameter set-up work");
    Instance& fx = host.addInstance(record);
    PF_ParamDefUnion mode;
    std::memset(&mode, 0, sizeof mode);
    mode.pd.value = A_long(data[1] % 5); // 0 and 4 lie outside the three choices
    fx.values[2] = mode;

    const int w = 12 + (data[1] >> 5), h = 8;
    const Clip input(Image::fromRgba(picture(w, h).data(), w, h, 8));
    Image output;
    require(host.sequenceResetup(fx) == PF_Err_NONE, "re-set-up of any record works");
    require(host.render(fx, input, 0, output, options) == PF_Err_NONE, "the first frame renders");
    const std::vector<uint8_t> flat = host.flatten(fx);
    require(flat.size() == sizeof(glfx::SequenceState), "the record has its full size");
    glfx::SequenceState saved;
    std::memcpy(&saved, flat.data(), sizeof saved);
    bool heapFree =
        saved.renderer == nullptr && saved.defines == nullptr && saved.resultBuffer == nullptr;
    for (const float* buffer : saved.layerBuffers)
        heapFree = heapFree && buffer == nullptr;
    require(heapFree, "a flattened record points at nothing on the heap");
    require(host.sequenceResetup(fx) == PF_Err_NONE, "re-set-up after flatten works");
    require(host.render(fx, input, 1, output, options) == PF_Err_NONE, "the next frame renders");
    require(host.finish() == PF_Err_NONE, "set-down works");
    noProblems(host);
    require(host.liveHandles().empty(), "no handle outlives set-down");
    return 0;
}
