// glfx import's own work for each sample source: read, import, write the effect text. The target
// is well under 50 ms a file.
#include "import/Import.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const std::string kSamples = std::string(GLFX_SOURCE_DIR) + "/tests/data/import/";

void importFile(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const auto effect = glfx::import::importSource(path, bytes.str());
        benchmark::DoNotOptimize(glfx::import::importedEffectText(effect, path));
    }
}

const bool registered = [] {
    for (const auto& e : std::filesystem::directory_iterator(kSamples)) {
        if (e.path().extension() == ".vs") continue;
        const std::string path = e.path().string();
        benchmark::RegisterBenchmark(("import/" + e.path().filename().string()).c_str(),
                                     [path](benchmark::State& s) { importFile(s, path); })
            ->Unit(benchmark::kMillisecond);
    }
    return true;
}();

} // namespace

BENCHMARK_MAIN();
