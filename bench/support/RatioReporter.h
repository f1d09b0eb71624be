#pragma once

// The console report of a benchmark run, followed by the ratio of two of its
// benchmarks' real times against a target: what a helper-process decoder
// costs over the bare library loop. With repetitions, the medians count.
// Header-only.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace vessa::bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (single || median)
                m_realTimes[run.run_name.str()] = run.GetAdjustedRealTime();
        }
    }

    // "label: 1.07 times the bare loop (target <= 1.10)", when both ran.
    void printRatio(const std::string& label, const std::string& measured, const std::string& reference,
                    double target) const
    {
        const auto m = m_realTimes.find(measured);
        const auto r = m_realTimes.find(reference);
        if (m == m_realTimes.end() || r == m_realTimes.end() || r->second <= 0)
            return;
        printRatio(label, m->second / r->second, target);
    }

    // The same line for a ratio measured otherwise.
    static void printRatio(const std::string& label, double ratio, double target)
    {
        std::printf("%s: %.3f times the bare loop (target <= %.2f)   %s\n", label.c_str(), ratio, target,
                    ratio <= target ? "met" : "NOT MET");
    }

private:
    std::map<std::string, double> m_realTimes;
};

} // namespace vessa::bench

// A benchmark program's main: every benchmark, then `ratios(reporter)`.
#define VESSA_BENCHMARK_MAIN_WITH_RATIOS(ratios)                                                                       \
    int main(int argc, char** argv)                                                                                    \
    {                                                                                                                  \
        benchmark::Initialize(&argc, argv);                                                                            \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))                                                        \
            return 1;                                                                                                  \
        vessa::bench::RatioReporter reporter;                                                                          \
        benchmark::RunSpecifiedBenchmarks(&reporter);                                                                  \
        ratios(reporter);                                                                                              \
        benchmark::Shutdown();                                                                                         \
        return 0;                                                                                                      \
    }
