// What the plug-in holds: one instance of the built-in effect after a 1920x1080 frame at 8 and at
// 32 bits, through EntryPointFunc in the emulated host, and 16 instances after one 8-bit frame
// each. The staging and result buffers are read from the instance's sequence record (their
// allocated sizes, and with mincore how much of them is resident); the GL textures and the
// driver's share are the rest of the growth of the resident size. The first instance's first
// frame loads the driver and is not counted; the host's own input and output images are made
// before each measurement. Prints Markdown tables; exits 1 when a frame fails.
//
//   memory_bench
#include "BenchSupport.h"
#include "hostsim/Host.h"
#include "records/SequenceState.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using glfx::bench::picture;
using glfx::bench::point;

using namespace glfx::hostsim;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kInstances = 16;
const double kMiB = 1024.0 * 1024.0;

struct Buffers {
    double allocated = 0; // bytes
    double resident = 0;
};

// Bytes of [data, data + size) that are in memory.
double residentBytes(const void* data, size_t size) {
    if (data == nullptr || size == 0) return 0;
    const size_t page = size_t(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<uintptr_t>(data) / page * page;
    const auto end = reinterpret_cast<uintptr_t>(data) + size;
    std::vector<unsigned char> pages((end - start + page - 1) / page);
    if (::mincore(reinterpret_cast<void*>(start), end - start, pages.data()) != 0) return -1;
    double bytes = 0;
    for (unsigned char p : pages)
        bytes += (p & 1) ? double(page) : 0.0;
    return std::min(bytes, double(size));
}

Buffers staging(const glfx::SequenceState& r) {
    Buffers b;
    for (int k = 0; k < glfx::kMaxLayers; ++k) {
        if (r.layerBuffers[k] == nullptr) continue;
        const size_t size = size_t(r.layerAllocWidth[k]) * size_t(r.layerAllocHeight[k]) * 16;
        b.allocated += double(size);
        b.resident += residentBytes(r.layerBuffers[k], size);
    }
    return b;
}

Buffers result(const glfx::SequenceState& r) {
    const size_t size = size_t(r.resultAllocWidth) * size_t(r.resultAllocHeight) * 16;
    return {double(size), r.resultBuffer != nullptr ? residentBytes(r.resultBuffer, size) : 0.0};
}

double rss() {
    return double(glfx::bench::statusKiB("VmRSS")) * 1024.0;
}

struct Figures {
    double context = 0; // growth over the small first frame: context, programs
    double frame = 0;   // growth over the 1080p frame
    Buffers staging, result;
};

class Bench {
public:
    bool start() {
        try {
            host_ = std::make_unique<Host>(GLFX_PLUGIN_LIBRARY);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "memory_bench: %s\n", e.what());
            return false;
        }
        return host_->start() == PF_Err_NONE;
    }

    Instance* instance() {
        Instance& fx = host_->addInstance();
        if (host_->sequenceSetup(fx) != PF_Err_NONE) return nullptr;
        fx.values[1] = point(160, 90);
        fx.values[2] = point(1800, 40);
        fx.values[3] = point(1700, 1000);
        fx.values[4] = point(250, 1050);
        return &fx;
    }

    bool render(Instance& fx, const Clip& input, Image& output) {
        const PF_Err err = host_->render(fx, input, 0, output);
        if (err != PF_Err_NONE || !host_->returnMessage().empty()) {
            std::fprintf(stderr, "memory_bench: a frame failed: %d %s\n", int(err),
                         host_->returnMessage().c_str());
            return false;
        }
        return true;
    }

    bool finish() {
        const PF_Err err = host_->finish();
        for (const std::string& p : host_->problems())
            std::fprintf(stderr, "host: %s\n", p.c_str());
        return err == PF_Err_NONE && host_->problems().empty();
    }

private:
    std::unique_ptr<Host> host_;
};

} // namespace

int main() {
    glfx::bench::PrivateUserFolder folder("glfx-memory");
    Bench bench;
    if (!bench.start()) return 1;
    const std::vector<float> small = picture(16, 16);
    const std::vector<float> large = picture(kWidth, kHeight);

    // The driver loads with the first context of the process.
    Image warmOutput;
    Instance* warm = bench.instance();
    if (warm == nullptr ||
        !bench.render(*warm, Clip(Image::fromRgba(small.data(), 16, 16, 8)), warmOutput))
        return 1;

    Figures one[2];
    const int depths[2] = {8, 32};
    for (int d = 0; d < 2; ++d) {
        const Clip tiny(Image::fromRgba(small.data(), 16, 16, depths[d]));
        const Clip frame(Image::fromRgba(large.data(), kWidth, kHeight, depths[d]));
        Image output = Image::make(kWidth, kHeight, depths[d]);
        Instance* fx = bench.instance();
        if (fx == nullptr) return 1;
        const double before = rss();
        Image tinyOutput;
        if (!bench.render(*fx, tiny, tinyOutput)) return 1;
        const double afterTiny = rss();
        if (!bench.render(*fx, frame, output)) return 1;
        const double afterFrame = rss();
        one[d] = {afterTiny - before, afterFrame - afterTiny, staging(*fx->record()),
                  result(*fx->record())};
    }

    // Many instances, each after one 8-bit frame.
    const Clip frame(Image::fromRgba(large.data(), kWidth, kHeight, 8));
    Image output = Image::make(kWidth, kHeight, 8);
    const double before = rss();
    Buffers stagingAll, resultAll;
    for (int i = 0; i < kInstances; ++i) {
        Instance* fx = bench.instance();
        if (fx == nullptr || !bench.render(*fx, frame, output)) return 1;
        const Buffers s = staging(*fx->record()), r = result(*fx->record());
        stagingAll.allocated += s.allocated;
        stagingAll.resident += s.resident;
        resultAll.allocated += r.allocated;
        resultAll.resident += r.resident;
    }
    const double many = rss() - before;

    auto mib = [](double bytes) { return bytes / kMiB; };
    std::printf("| one instance after a %dx%d frame, MiB | 8-bit | 32-bit |\n|---|---:|---:|\n",
                kWidth, kHeight);
    std::printf("| context and programs (growth over a first 16x16 frame) | %.1f | %.1f |\n",
                mib(one[0].context), mib(one[1].context));
    std::printf("| staging buffers: allocated / resident | %.1f / %.1f | %.1f / %.1f |\n",
                mib(one[0].staging.allocated), mib(one[0].staging.resident),
                mib(one[1].staging.allocated), mib(one[1].staging.resident));
    std::printf("| result buffer: allocated / resident | %.1f / %.1f | %.1f / %.1f |\n",
                mib(one[0].result.allocated), mib(one[0].result.resident),
                mib(one[1].result.allocated), mib(one[1].result.resident));
    for (int d = 0; d < 2; ++d)
        one[d].frame -= one[d].staging.resident + one[d].result.resident;
    std::printf("| GL textures and driver (the rest of the frame's growth) | %.1f | %.1f |\n",
                mib(one[0].frame), mib(one[1].frame));
    std::printf(
        "| resident growth in all | %.1f | %.1f |\n",
        mib(one[0].context + one[0].frame + one[0].staging.resident + one[0].result.resident),
        mib(one[1].context + one[1].frame + one[1].staging.resident + one[1].result.resident));
    std::printf("\n| %d instances after one %dx%d 8-bit frame each, MiB | all | each |\n"
                "|---|---:|---:|\n",
                kInstances, kWidth, kHeight);
    std::printf("| resident growth | %.1f | %.1f |\n", mib(many), mib(many) / kInstances);
    std::printf("| staging buffers: allocated / resident | %.1f / %.1f | %.1f / %.1f |\n",
                mib(stagingAll.allocated), mib(stagingAll.resident),
                mib(stagingAll.allocated) / kInstances, mib(stagingAll.resident) / kInstances);
    std::printf("| result buffers: allocated / resident | %.1f / %.1f | %.1f / %.1f |\n",
                mib(resultAll.allocated), mib(resultAll.resident),
                mib(resultAll.allocated) / kInstances, mib(resultAll.resident) / kInstances);
    return bench.finish() ? 0 : 1;
}
