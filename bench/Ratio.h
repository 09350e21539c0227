#pragma once
// Runs the registered benchmarks and then prints, for each named pair, the
// measured time per iteration as a ratio to its baseline from the same run,
// so that a figure means something on a loaded machine.

#include <benchmark/benchmark.h>

#include <cstdio>
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

} // namespace bench
