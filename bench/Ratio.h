#pragma once
// Runs the registered benchmarks and then prints, for each named pair, the
// measured time per iteration as a ratio to its baseline from the same run,
// so that a figure means something on a loaded machine.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class RecordingReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                seconds[r.benchmark_name()] = r.real_accumulated_time / double(r.iterations);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;
};

// pairs: (benchmark name, baseline benchmark name)
inline int runWithRatios(int argc, char** argv,
                         const std::vector<std::pair<std::string, std::string>>& pairs)
{
    benchmark::Initialize(&argc, argv);
    RecordingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n");
    for (const auto& p : pairs) {
        auto a = reporter.seconds.find(p.first);
        auto b = reporter.seconds.find(p.second);
        if (a == reporter.seconds.end() || b == reporter.seconds.end() || b->second <= 0)
            continue;
        std::printf("ratio %s / %s = %.2f  (%.3f ms vs %.3f ms)\n", p.first.c_str(), p.second.c_str(),
                    a->second / b->second, a->second * 1e3, b->second * 1e3);
    }
    benchmark::Shutdown();
    return 0;
}

// The engine's baseline: n multiply-adds over contiguous arrays, summed in
// the extended precision the engine uses.
inline void dotProduct(benchmark::State& state, int64_t n)
{
    std::vector<float> a(static_cast<size_t>(n)), b(static_cast<size_t>(n));
    std::mt19937 gen(1);
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = float(gen() % 1000) / 500.0f - 1.0f;
        b[i] = float(gen() % 1000) / 500.0f - 1.0f;
    }
    for (auto _ : state) {
        long double sum = 0;
        for (size_t i = 0; i < a.size(); ++i)
            sum += (long double)a[i] * b[i];
        benchmark::DoNotOptimize(sum);
    }
}

} // namespace bench
