// Speed of the band decays from band-filtered signals (third-octave bands,
// 24 filters of three sections, at 48 kHz):
// - BM_BandDecaysAddSamples: TBandDecays::AddSamples in chunks of 4096 samples
//   (the input buffer of the sound component), as a live run feeds it.
//   Counters: x_realtime = seconds of 48 kHz audio taken in per second of CPU
//   time (goal: at least 500); new_calls = global operator new calls during
//   the timed loop (expected 0: no allocation per block).
// - BM_OpenTenMinuteRecording/0 and /1: EvaluateRecordingBands on a 10-minute
//   recording (the default 1 s / 1 s / 1 s cycle, 200 cycles) with forward and
//   with time-reversed filtering, file reading included. Goal: under a second.
#include "bands/banddecays.h"
#include "measure/noisegen.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <new>
#include <unistd.h>
#include <vector>

namespace {
std::atomic<long> gNewCalls{0};
}

[[gnu::noinline]] void* operator new(std::size_t size) {
    gNewCalls.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
    return ::operator new(size);
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kPos1 = 48000, kPos2 = 96000, kPos3 = 144000; // 1 s / 1 s / 1 s
constexpr int kChunk = 4096;
constexpr double kSeconds = 600.0;
double gRealtime = 0.0;
double gOpenSeconds[2] = {0.0, 0.0};

// Cycles of the program's noise decaying after it stops (T60 0.8 s).
std::vector<int16_t> NoiseCycles(int64_t samples) {
    ravlon::TNoiseRandom rng;
    std::vector<int16_t> x(static_cast<size_t>(samples));
    const double fall = std::pow(10.0, -3.0 / (0.8 * kRate)); // amplitude per sample
    double level = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const auto pos = static_cast<int32_t>(static_cast<int64_t>(i) % kPos3);
        level = pos >= kPos1 && pos < kPos2 ? 0.5 : level * fall;
        x[i] = static_cast<int16_t>(std::lround(level * (rng.Random(65535) - 32768.0)));
    }
    return x;
}

ravlon::TBandDecayOptions Thirds(ravlon::TFilterDirection direction) {
    ravlon::TBandDecayOptions o;
    o.Set = ravlon::TBandSet::ThirdOctave;
    o.Direction = direction;
    return o;
}

void BM_BandDecaysAddSamples(benchmark::State& state) {
    const std::vector<int16_t> x = NoiseCycles(2 * kPos3);
    ravlon::TBandDecays d;
    d.Setup(kRate, kPos1, kPos2, kPos3, Thirds(ravlon::TFilterDirection::Forward));
    size_t pos = 0;
    const long newBefore = gNewCalls.load();
    for (auto _ : state) {
        if (pos + kChunk > x.size()) pos = 0;
        d.AddSamples(x.data() + pos, kChunk);
        pos += kChunk;
    }
    const long newCalls = gNewCalls.load() - newBefore;
    const double samples = static_cast<double>(state.iterations()) * kChunk;
    state.counters["x_realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
    state.counters["new_calls"] = static_cast<double>(newCalls);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}
BENCHMARK(BM_BandDecaysAddSamples)->Unit(benchmark::kMicrosecond);

// The 10-minute recording, written once per process and removed at exit.
struct Recording {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("ravlon-bench-bands-" + std::to_string(::getpid()) + ".ravlon"))
                           .string();
    bool ok = false;
    Recording() {
        ravlon::TSMPfile f;
        if (!f.new_file(name)) return;
        f.insert_nonpresent_defaults();
        f.set_sftot(kRate);
        f.set_item("pos1", std::to_string(kPos1));
        f.set_item("pos2", std::to_string(kPos2));
        f.set_item("pos3", std::to_string(kPos3));
        if (!f.save_file("")) return;
        const std::vector<int16_t> x = NoiseCycles(static_cast<int64_t>(kSeconds * kRate));
        auto block = std::make_unique<ravlon::TSMPBlock>();
        for (size_t i = 0; i < x.size(); i += ravlon::TSMPfile::BlockSamples) {
            block->Count = static_cast<int32_t>(
                std::min<size_t>(ravlon::TSMPfile::BlockSamples, x.size() - i));
            std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(i), block->Count, block->Samples);
            f.write_block(0, *block);
        }
        ok = f.save_file("") && f.close_file();
    }
    ~Recording() { std::filesystem::remove(name); }
};

void BM_OpenTenMinuteRecording(benchmark::State& state) {
    static Recording rec;
    if (!rec.ok) {
        state.SkipWithError("cannot write the benchmark recording");
        return;
    }
    const auto direction = static_cast<ravlon::TFilterDirection>(state.range(0));
    int64_t cycles = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ravlon::TSMPfile f;
        if (!f.open_file(rec.name, true)) {
            state.SkipWithError("cannot open the benchmark recording");
            return;
        }
        const ravlon::TBandDecayResult r = ravlon::EvaluateRecordingBands(f, Thirds(direction));
        cycles = r.Cycles;
        benchmark::DoNotOptimize(r.Bands.data());
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - t0;
    state.counters["cycles"] = static_cast<double>(cycles);
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    gOpenSeconds[state.range(0)] = wall.count() / static_cast<double>(state.iterations());
}
BENCHMARK(BM_OpenTenMinuteRecording)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// Console output plus closing lines with the goals.
class GoalReporter : public benchmark::ConsoleReporter {
public:
    GoalReporter() : benchmark::ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            if (r.benchmark_name().rfind("BM_BandDecaysAddSamples", 0) != 0) continue;
            const auto it = r.counters.find("x_realtime");
            if (it != r.counters.end() && it->second.value > gRealtime)
                gRealtime = it->second.value;
        }
    }
    void Finalize() override {
        benchmark::ConsoleReporter::Finalize();
        if (gRealtime > 0)
            std::printf(
                "\nThird-octave band decays at 48 kHz: %.0fx real time (goal >= 500x: %s)\n",
                gRealtime, gRealtime >= 500 ? "met" : "NOT met");
        const char* names[2] = {"forward", "reversed"};
        for (int i = 0; i < 2; ++i)
            if (gOpenSeconds[i] > 0)
                std::printf(
                    "10-minute recording, third octaves, %s filter: %.3f s (goal < 1 s: %s)\n",
                    names[i], gOpenSeconds[i], gOpenSeconds[i] < 1.0 ? "met" : "NOT met");
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    GoalReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
