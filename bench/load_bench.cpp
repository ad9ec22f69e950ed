// Load: 16 instances of the built-in effect, each rendering frames of different sizes and depths
// in turn, flattened and re-set-up every few frames (as a host does when it saves or duplicates)
// and re-set-up alone every few others (as when a layer changes),
// for a few thousand frames through EntryPointFunc in the emulated host. Memory must stay flat:
// the peak resident size over the last rounds may not exceed the peak over the first rounds by
// more than 10% (plus 16 MiB of slack for the allocator's own rounding). Prints both peaks, and
// exits 1 when memory grew or anything failed.
//
//   load_bench [ROUNDS]     default 216 rounds of 16 frames
#include "BenchSupport.h"
#include "hostsim/Host.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using glfx::bench::picture;
using glfx::bench::point;

using namespace glfx::hostsim;

constexpr int kInstances = 16;
constexpr int kFlattenEvery = 8; // frames of an instance between flatten and re-set-up
// Frames between re-set-ups without a flatten before them (a layer change): the record keeps its
// renderer, which must not leak.
constexpr int kResetupEvery = 7;
// Rounds at the start and at the end whose peaks are compared: one whole period of the sizes (9),
// depths (3 x 3 rounds) and flattening (8), so both windows see the same states.
constexpr int kWindow = 72;

struct Size {
    int w, h;
};
const Size kSizes[] = {{64, 36},   {320, 180}, {97, 61},   {640, 360}, {1280, 720},
                       {800, 600}, {33, 17},   {1024, 64}, {400, 400}};
constexpr int kSizeCount = int(sizeof kSizes / sizeof kSizes[0]);
const int kDepths[] = {8, 16, 32};

// Starts a new peak: the kernel resets VmHWM to the current resident size.
bool resetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    return bool(clear);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 3 * kWindow;
    if (rounds < 2 * kWindow) {
        std::fprintf(stderr, "load_bench: at least %d rounds\n", 2 * kWindow);
        return 2;
    }
    glfx::bench::PrivateUserFolder folder("glfx-load");
    std::unique_ptr<Host> host;
    try {
        host = std::make_unique<Host>(GLFX_PLUGIN_LIBRARY);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "load_bench: %s\n", e.what());
        return 1;
    }
    if (host->start() != PF_Err_NONE) {
        std::fprintf(stderr, "load_bench: global or parameter set-up failed\n");
        return 1;
    }

    // Every picture once, at every depth: the host's images are not what is measured.
    std::vector<Clip> clips;
    for (int s = 0; s < kSizeCount; ++s)
        for (int depth : kDepths)
            clips.emplace_back(Image::fromRgba(picture(kSizes[s].w, kSizes[s].h, s).data(),
                                               kSizes[s].w, kSizes[s].h, depth));
    std::vector<Instance*> instances;
    for (int i = 0; i < kInstances; ++i) {
        Instance& fx = host->addInstance();
        if (host->sequenceSetup(fx) != PF_Err_NONE) {
            std::fprintf(stderr, "load_bench: sequence set-up failed\n");
            return 1;
        }
        // Corner points in percent of the layer are turned into pixels by the host; these stay
        // inside every size.
        fx.values[1] = point(4, 3);
        fx.values[2] = point(30, 2);
        fx.values[3] = point(28, 16);
        fx.values[4] = point(2, 15);
        instances.push_back(&fx);
    }

    long startPeak = -1, startRss = -1;
    int frames = 0, failures = 0;
    Image output;
    const auto begin = std::chrono::steady_clock::now();
    for (int round = 0; round < rounds; ++round) {
        if (round == rounds - kWindow && !resetPeak()) {
            std::fprintf(stderr, "load_bench: /proc/self/clear_refs cannot reset the peak\n");
            return 1;
        }
        for (int i = 0; i < kInstances; ++i) {
            Instance& fx = *instances[size_t(i)];
            const int clip = ((round + i * 5) % kSizeCount) * 3 + (round / 3 + i) % 3;
            const PF_Err err =
                host->render(fx, clips[size_t(clip)], round, output,
                             {(round + i) % 2 == 0 ? RenderPath::Smart : RenderPath::Classic});
            ++frames;
            if (err != PF_Err_NONE || !host->returnMessage().empty()) ++failures;
            if ((round + i) % kFlattenEvery == kFlattenEvery - 1) {
                host->flatten(fx);
                if (host->sequenceResetup(fx) != PF_Err_NONE) ++failures;
            } else if ((round + i) % kResetupEvery == kResetupEvery - 1) {
                if (host->sequenceResetup(fx) != PF_Err_NONE) ++failures;
            }
        }
        if (round == kWindow - 1) {
            startPeak = glfx::bench::statusKiB("VmHWM");
            startRss = glfx::bench::statusKiB("VmRSS");
        }
    }
    const long endPeak = glfx::bench::statusKiB("VmHWM");
    const long endRss = glfx::bench::statusKiB("VmRSS");
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    const PF_Err finished = host->finish();
    const size_t problems = host->problems().size();
    for (const std::string& p : host->problems())
        std::fprintf(stderr, "host: %s\n", p.c_str());

    const bool flat = endPeak <= startPeak + startPeak / 10 + 16 * 1024;
    std::printf("| load: %d instances, %d frames of %d sizes at 8/16/32 bits, flatten and "
                "re-set-up every %d frames, re-set-up alone every %d | |\n|---|---:|\n",
                kInstances, frames, kSizeCount, kFlattenEvery, kResetupEvery);
    std::printf("| peak resident size, first %d rounds | %.1f MiB |\n", kWindow,
                double(startPeak) / 1024.0);
    std::printf("| peak resident size, last %d rounds | %.1f MiB |\n", kWindow,
                double(endPeak) / 1024.0);
    std::printf("| resident size after round %d / at the end | %.1f / %.1f MiB |\n", kWindow,
                double(startRss) / 1024.0, double(endRss) / 1024.0);
    std::printf("| time | %.1f s (%.1f ms a frame) |\n", seconds, 1e3 * seconds / frames);
    if (failures != 0 || finished != PF_Err_NONE || problems != 0) {
        std::fprintf(stderr, "load_bench: %d frames or re-set-ups failed, %zu host problems\n",
                     failures, problems);
        return 1;
    }
    if (!flat) {
        std::fprintf(stderr, "load_bench: memory grew from a peak of %ld KiB to %ld KiB\n",
                     startPeak, endPeak);
        return 1;
    }
    return 0;
}
