// Each pixel transfer on a 1920x1080 host world, upload and download, beside a memcpy of the bytes
// the transfer writes (the staging buffer for an upload, the host world for a download) in the same
// binary. The share of memcpy's rate is what the conversion costs over writing those bytes at all;
// the target is 0.8 for every converting transfer.
#include "render/PixelTransfer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace glfx;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;

struct Case {
    const char* name;
    Transfer transfer;
    int hostPixelBytes;
};

const Case kCases[] = {
    {"converting8", Transfer::Converting8, 4},
    {"converting8_premiere", Transfer::Converting8Premiere, 4},
    {"converting8_premiere_fast", Transfer::Converting8PremiereFast, 4},
    {"raw8", Transfer::Raw8, 4},
    {"converting16", Transfer::Converting16, 8},
    {"raw16", Transfer::Raw16, 8},
    {"converting32", Transfer::Converting32, 16},
    {"raw32", Transfer::Raw32, 16},
};

// A host world over its own bytes, filled with values inside each depth's range.
struct HostFrame {
    explicit HostFrame(int pixelBytes) : bytes(size_t(kWidth) * kHeight * size_t(pixelBytes)) {
        std::memset(&world, 0, sizeof world);
        world.width = kWidth;
        world.height = kHeight;
        world.rowbytes = kWidth * pixelBytes;
        world.data = reinterpret_cast<PF_PixelPtr>(bytes.data());
        for (size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = uint8_t((i * 2654435761u) >> 24);
        if (pixelBytes == 8)
            for (size_t i = 0; i < bytes.size(); i += 2)
                bytes[i + 1] &= 0x7F; // 16-bit channels stay below 32768
        if (pixelBytes == 16) {
            auto* f = reinterpret_cast<float*>(bytes.data());
            for (size_t i = 0; i < bytes.size() / 4; ++i)
                f[i] = float(i % 1000) / 999.0f;
        }
    }
    std::vector<uint8_t> bytes;
    PF_EffectWorld world;
};

void upload(benchmark::State& state, Case c) {
    HostFrame host(c.hostPixelBytes);
    std::vector<float> staging(size_t(kWidth) * kHeight * 4);
    for (auto _ : state) {
        uploadWorld(c.transfer, &host.world, kWidth, kHeight, staging.data());
        benchmark::DoNotOptimize(staging.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kWidth) * kHeight *
                            stagingPixelBytes(c.transfer));
}

void download(benchmark::State& state, Case c) {
    HostFrame host(c.hostPixelBytes);
    std::vector<float> staging(size_t(kWidth) * kHeight * 4);
    uploadWorld(c.transfer, &host.world, kWidth, kHeight, staging.data());
    for (auto _ : state) {
        downloadWorld(c.transfer, staging.data(), &host.world);
        benchmark::DoNotOptimize(host.bytes.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(host.bytes.size()));
}

void copy(benchmark::State& state) {
    const size_t bytes = size_t(kWidth) * kHeight * size_t(state.range(0));
    std::vector<uint8_t> from(bytes, 1), to(bytes, 0);
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), bytes);
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// Reading a float staging buffer of a frame and nothing else: the floor under a download that
// reads 16 bytes for every 4 or 8 it writes.
void readStaging(benchmark::State& state) {
    std::vector<float> staging(size_t(kWidth) * kHeight * 4, 0.5f);
    for (auto _ : state) {
        float sum[8] = {};
        for (size_t i = 0; i < staging.size(); i += 8)
            for (size_t j = 0; j < 8; ++j)
                sum[j] += staging[i + j];
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(staging.size() * 4));
}

double fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

// Keeps the fastest repetition's time of each benchmark for the table at the end (the "min"
// of the rate counter would be the slowest repetition's).
class TableReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "min")
                seconds[run.run_name.function_name +
                        (run.run_name.args.empty() ? "" : "/" + run.run_name.args)] =
                    run.GetAdjustedRealTime() * 1e-9;
    }
    // Bytes per second of the fastest repetition, or 0.
    double rate(const std::string& name, double bytes) const {
        const auto found = seconds.find(name);
        return found == seconds.end() || found->second <= 0 ? 0.0 : bytes / found->second;
    }
    std::map<std::string, double> seconds;
};

} // namespace

int main(int argc, char** argv) {
    for (const Case& c : kCases) {
        benchmark::RegisterBenchmark((std::string("upload_") + c.name).c_str(), upload, c)
            ->Repetitions(5)
            ->ComputeStatistics("min", fastest, benchmark::StatisticUnit::kTime)
            ->DisplayAggregatesOnly(true)
            ->UseRealTime();
        benchmark::RegisterBenchmark((std::string("download_") + c.name).c_str(), download, c)
            ->Repetitions(5)
            ->ComputeStatistics("min", fastest, benchmark::StatisticUnit::kTime)
            ->DisplayAggregatesOnly(true)
            ->UseRealTime();
    }
    benchmark::RegisterBenchmark("memcpy", copy)
        ->ArgName("bytes_per_pixel")
        ->Arg(4)
        ->Arg(8)
        ->Arg(16)
        ->Repetitions(5)
        ->ComputeStatistics("min", fastest, benchmark::StatisticUnit::kTime)
        ->DisplayAggregatesOnly(true)
        ->UseRealTime();

    benchmark::RegisterBenchmark("read_staging", readStaging)
        ->Repetitions(5)
        ->ComputeStatistics("min", fastest, benchmark::StatisticUnit::kTime)
        ->DisplayAggregatesOnly(true)
        ->UseRealTime();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // Rates from the fastest repetition's time. Bytes written: an upload writes the staging
    // buffer, a download the host world.
    std::printf("\n| 1920x1080 transfer | GB/s written | memcpy GB/s, same bytes | share |\n"
                "|---|---:|---:|---:|\n");
    for (const Case& c : kCases) {
        for (const bool up : {true, false}) {
            const int written = up ? stagingPixelBytes(c.transfer) : c.hostPixelBytes;
            const double bytes = double(kWidth) * kHeight * written;
            const std::string name = std::string(up ? "upload_" : "download_") + c.name;
            const double rate = reporter.rate(name, bytes);
            const double mem =
                reporter.rate("memcpy/bytes_per_pixel:" + std::to_string(written), bytes);
            if (rate <= 0 || mem <= 0) continue;
            std::printf("| %s %s | %.2f | %.2f | %.2f |\n", up ? "upload" : "download", c.name,
                        rate / 1e9, mem / 1e9, rate / mem);
        }
    }
    const double staging = double(kWidth) * kHeight * 16;
    const double read = reporter.rate("read_staging", staging);
    if (read > 0)
        std::printf("| reading a float staging frame alone (a download's floor) | %.2f | | "
                    "%.2f ms |\n",
                    read / 1e9, staging / read * 1e3);
    benchmark::Shutdown();
    return 0;
}
