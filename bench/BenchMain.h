// What every benchmark program shares. It runs in a private folder made under $TMPDIR (so two runs
// at once, from any working folder, never meet), prints after its rows the ratio of each pair it
// declares (the engine's time over its plain baseline's, per iteration), and exits non-zero when
// it could not measure: a benchmark stopped with an error, nothing run, or an exit asked for in
// the middle of a measurement.
//
//   BENCH_PAIR(BM_Engine, BM_Baseline);   rows of the same arguments are paired
//   VELDRANE_BENCH_MAIN();
//
// A benchmark that times both sides in one run reports its own "ratio" counter; it is listed too.
#pragma once

#include "platform/testing.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace bench {

// A new folder of its own under the temporary folder ($TMPDIR, else /tmp), named after what uses
// it; empty when it cannot be made, with the system's reason in why.
inline std::filesystem::path uniqueFolder(const char* name, std::string* why = nullptr)
{
    std::error_code failed;
    const std::filesystem::path root = std::filesystem::temp_directory_path(failed);
    std::string pattern = (root / (std::string("veldrane-") + name + "-XXXXXX")).string();
    if (!failed && mkdtemp(pattern.data())) return pattern;
    if (why) *why = failed ? failed.message() : std::generic_category().message(errno);
    return {};
}

struct Pair {
    std::string engine, baseline;
};

inline std::vector<Pair>& pairs()
{
    static std::vector<Pair> all;
    return all;
}

inline bool pair(const char* engine, const char* baseline)
{
    pairs().push_back({engine, baseline});
    return true;
}

inline std::filesystem::path& privateFolder()
{
    static std::filesystem::path folder;
    return folder;
}

inline void removePrivateFolder()
{
    if (privateFolder().empty()) return;
    std::error_code ignored;
    std::filesystem::current_path(privateFolder().parent_path(), ignored);
    std::filesystem::remove_all(privateFolder(), ignored);
    privateFolder().clear();
}

// The console rows as usual; errors and times kept for the ratios and the exit status.
class Reporter : public benchmark::ConsoleReporter {
public:
    Reporter() : benchmark::ConsoleReporter(isatty(1) ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ++errors;
                continue;
            }
            if (run.run_type != Run::RT_Iteration || run.iterations == 0) continue;
            ++measured;
            // Renderer benchmarks run on the wall clock (the driver has threads); the rest on the CPU's.
            const double seconds = run.run_name.time_type.empty() ? run.cpu_accumulated_time : run.real_accumulated_time;
            times[run.benchmark_name()] = seconds / static_cast<double>(run.iterations);
            const auto ratio = run.counters.find("ratio");
            if (ratio != run.counters.end()) inRun.emplace_back(run.benchmark_name(), ratio->second.value);
        }
        benchmark::ConsoleReporter::ReportRuns(runs);
    }

    void Finalize() override
    {
        std::vector<std::pair<std::string, double>> lines;
        for (const Pair& p : pairs()) {
            // Rows of the engine's name and of the baseline's with the same arguments; a baseline
            // without arguments stands beside every row of the engine's.
            for (const auto& [name, seconds] : times) {
                if (name.compare(0, p.engine.size(), p.engine) != 0) continue;
                const std::string suffix = name.substr(p.engine.size());
                if (!suffix.empty() && suffix[0] != '/') continue;
                auto other = times.find(p.baseline + suffix);
                if (other == times.end()) other = times.find(p.baseline);
                if (other == times.end() || other->second <= 0.0) continue;
                lines.emplace_back(name + " / " + other->first, seconds / other->second);
            }
        }
        for (const auto& [name, ratio] : inRun) lines.emplace_back(name + " (both sides in one run)", ratio);
        if (lines.empty()) return;
        size_t width = 0;
        for (const auto& line : lines) width = std::max(width, line.first.size());
        std::FILE* out = stdout;
        std::fprintf(out, "\nRatio of time per iteration, engine over baseline:\n");
        for (const auto& [name, ratio] : lines) std::fprintf(out, "  %-*s %8.3f\n", static_cast<int>(width), name.c_str(), ratio);
        std::fflush(out);
    }

    int errors = 0;
    int measured = 0;

private:
    std::map<std::string, double> times;
    std::vector<std::pair<std::string, double>> inRun;
};

inline int main(int argc, char** argv, const char* name)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    std::string why;
    const std::filesystem::path folder = uniqueFolder(name, &why);
    std::error_code failed;
    if (!folder.empty()) std::filesystem::current_path(folder, failed);
    if (folder.empty() || failed) {
        const char* tmpdir = std::getenv("TMPDIR");
        std::fprintf(stderr, "%s: cannot make a folder of its own under %s: %s\n", name,
                     tmpdir && *tmpdir ? tmpdir : "/tmp", failed ? failed.message().c_str() : why.c_str());
        return 1;
    }
    privateFolder() = folder;
    // At exit, after the objects the benchmarks made on their first use have gone.
    std::atexit(removePrivateFolder);
    // Code under measurement that ends the process (a run log full of reports, a fatal error)
    // leaves a benchmark without its figure: that is a failure, whatever code it asked for.
    platform::testing::setExitHook([name](int code) {
        std::fprintf(stderr, "%s: the code under measurement asked to exit (%d); no figure\n", name, code);
        std::fflush(nullptr);
        removePrivateFolder();
        std::_Exit(3);
    });
    Reporter reporter;
    const size_t run = benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    platform::testing::setExitHook(nullptr);
    if (reporter.errors > 0) {
        std::fprintf(stderr, "%s: %d benchmark(s) could not measure\n", name, reporter.errors);
        return 1;
    }
    if (run == 0 || reporter.measured == 0) {
        std::fprintf(stderr, "%s: no benchmark ran\n", name);
        return 1;
    }
    return 0;
}

}  // namespace bench

#define BENCH_CONCAT_INNER(a, b) a##b
#define BENCH_CONCAT(a, b) BENCH_CONCAT_INNER(a, b)
#define BENCH_PAIR(engine, baseline) \
    [[maybe_unused]] static const bool BENCH_CONCAT(benchPair_, __LINE__) = bench::pair(#engine, #baseline)

#define VELDRANE_BENCH_MAIN(name) \
    int main(int argc, char** argv) { return bench::main(argc, argv, name); }
