// What temporal feedback costs at 1920x1080: frames drawn (the frame asked for and the earlier
// frames caught up through) for frames in order, a cold far frame, and frames near a checkpoint,
// and the memory the checkpoints take. The gallery's comet trail (an 8-bit kept pass) and the same
// effect keeping floats, through the plug-in's dispatch in-process, where its checkpoint store can
// be read. Prints a Markdown table; exits 1 when a frame fails or a count passes its bound.
//
//   feedback_bench [FRAMES]      (default 120)
#include "effect/Parser.h"
#include "hostsim/Host.h"
#include "records/GlobalState.h"
#include "render/Checkpoints.h"
#include "resources/PropertyResource.h"
#include "shell/Dispatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace glfx;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 1920, kHeight = 1080;

PF_Err entry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamList params,
             PF_LayerDef* output, void* extra) {
    return dispatchCommand(cmd, in_data, out_data, params, output, extra);
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Run {
    hostsim::Host host;
    hostsim::Instance* instance = nullptr;
    hostsim::Clip clip;
    bool failed = false;

    explicit Run(const std::string& effect)
        : host(hostsim::PluginLibrary::inProcess(entry, resource()),
               hostsim::HostApp::AfterEffects) {
        host.globalSetup();
        parseDescription(loadedEffect().description, effect);
        host.paramsSetup();
        instance = &host.addInstance();
        host.sequenceSetup(*instance);
        std::vector<float> grey(size_t(kWidth) * kHeight * 4, 0.25f);
        clip = hostsim::Clip(hostsim::Image::fromRgba(grey.data(), kWidth, kHeight, 8));
    }
    static std::string resource() {
        const auto bytes = buildPropertyResource(kDefaultEffectName, kDefaultCategory);
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    // Frames drawn for frame `time`, and the seconds it took.
    int draw(A_long time, double* seconds = nullptr) {
        const int before = host.abortChecks();
        const auto start = Clock::now();
        hostsim::Image out;
        if (host.render(*instance, clip, time, out) != PF_Err_NONE) failed = true;
        if (seconds != nullptr)
            *seconds = std::chrono::duration<double>(Clock::now() - start).count();
        return host.abortChecks() - before + 1;
    }
    size_t checkpointBytes() const {
        const auto store = existingCheckpointsOf(instance->sequenceData());
        return store != nullptr ? store->bytes() : 0;
    }
    size_t checkpointCount() const {
        const auto store = existingCheckpointsOf(instance->sequenceData());
        return store != nullptr ? store->count() : 0;
    }
};

} // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::atoi(argv[1]) : 120;
    const int every = 30;
    const std::string comet = readText(GLFX_SOURCE_DIR "/effects/comet_trail.glfx");
    std::string floats = comet;
    floats.replace(floats.find("ps0_persistent=1"), 16, "ps0_persistent=1\nps0_float=1");
    bool ok = true;
    std::printf("| 1920x1080, %d frames | in order: frames drawn | ms a frame | cold frame %d: "
                "drawn | s | then frames within %d of a checkpoint: most drawn | checkpoints | "
                "MiB |\n|---|---:|---:|---:|---:|---:|---:|---:|\n",
                frames, frames - 1, every);
    for (const auto& [name, text] : {std::pair{"comet trail, 8-bit kept pass", comet},
                                     std::pair{"comet trail, float kept pass", floats}}) {
        Run inOrder(text);
        int drawn = 0;
        double total = 0, seconds = 0;
        for (int t = 0; t < frames; ++t) {
            drawn += inOrder.draw(t, &seconds);
            total += seconds;
        }
        Run cold(text);
        const int coldDrawn = cold.draw(frames - 1, &seconds);
        const double coldSeconds = seconds;
        int most = 0;
        for (int t : {frames - 2, frames - 1 - every / 2, frames / 2 + 1, 1, frames / 3})
            most = std::max(most, cold.draw(t));
        std::printf("| %s | %d | %.1f | %d | %.2f | %d | %zu | %.1f |\n", name, drawn,
                    1000.0 * total / frames, coldDrawn, coldSeconds, most,
                    cold.checkpointCount(), double(cold.checkpointBytes()) / 1048576.0);
        ok = ok && !inOrder.failed && !cold.failed && drawn == frames && coldDrawn <= frames &&
             most <= every;
    }
    if (!ok) std::fprintf(stderr, "feedback_bench: a frame failed or drew more than its bound\n");
    return ok ? 0 : 1;
}
