// Throughput of the spectrogram analysis at the default settings (48000 Hz,
// 500 Hz, Hanning, 1 s / 1 s / 1 s: FFT 256, 564 frames x 128 bins):
// - BM_AddSamples: AddSamples in chunks of 4096 samples (the input buffer size
//   of the sound component) of the noise generator's cycle. Counters:
//   samples/s, and x_realtime = seconds of 48 kHz audio analysed per second
//   of CPU time (goal: at least 500). new_calls counts global operator new calls during
//   the timed loop (expected 0: no allocation per block).
// - BM_EvaluateT60: one evaluation of the default store (what the reverberation
//   time and radius views run on every repaint).
#include "../tests/support/alloc_counter.h"
#include "core/measure/noise_generator.h"
#include "core/measure/spectrogram.h"
#include "core/views/t60_evaluation.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <vector>

namespace {

constexpr int kChunk = 4096;
double gRealtime = 0.0;

// Two cycles of the default measurement as the noise generator plays it, so
// the blocks see silence and full-scale noise in their real proportions.
std::vector<int16_t> DefaultCycles(ravlon::TSpectrogram& s) {
    ravlon::TNoiseRandom rng;
    std::vector<int16_t> x(static_cast<size_t>(s.Pos3()) * 2);
    s.FillNoise(rng, x.data(), static_cast<int32_t>(x.size()));
    return x;
}

void BM_AddSamples(benchmark::State& state) {
    ravlon::TFFT fft;
    ravlon::TSpectrogram s(fft);
    s.SetupRun({});
    const std::vector<int16_t> x = DefaultCycles(s);
    s.ResetCounters();
    size_t pos = 0;
    s.AddSamples(x.data(), kChunk); // the first block settles the FFT's sizes
    const long newBefore = gNewCalls.load();
    for (auto _ : state) {
        if (pos + kChunk > x.size()) pos = 0;
        s.AddSamples(x.data() + pos, kChunk);
        pos += kChunk;
    }
    const long newCalls = gNewCalls.load() - newBefore;
    const double samples = static_cast<double>(state.iterations()) * kChunk;
    state.counters["samples/s"] = benchmark::Counter(samples, benchmark::Counter::kIsRate);
    state.counters["x_realtime"] =
        benchmark::Counter(samples / 48000.0, benchmark::Counter::kIsRate);
    state.counters["new_calls"] = static_cast<double>(newCalls);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}
BENCHMARK(BM_AddSamples)->Unit(benchmark::kMicrosecond);

void BM_EvaluateT60(benchmark::State& state) {
    ravlon::TFFT fft;
    ravlon::TSpectrogram s(fft);
    s.SetupRun({});
    const std::vector<int16_t> x = DefaultCycles(s);
    s.AddSamples(x.data(), static_cast<int32_t>(x.size()));
    s.UpdateNoiseReference();
    std::vector<double> t60, start, end;
    for (auto _ : state) {
        ravlon::EvaluateT60(s, fft.FFTSize(), fft.WindowSize(), 5, 30, t60, start, end);
        benchmark::DoNotOptimize(t60.data());
    }
}
BENCHMARK(BM_EvaluateT60)->Unit(benchmark::kMicrosecond);

// Console output plus a closing line with the real-time multiple of AddSamples.
class RealtimeReporter : public benchmark::ConsoleReporter {
public:
    RealtimeReporter() : benchmark::ConsoleReporter(OO_Tabular) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        benchmark::ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type != Run::RT_Iteration || r.error_occurred) continue;
            if (r.benchmark_name().rfind("BM_AddSamples", 0) != 0) continue;
            const auto it = r.counters.find("x_realtime");
            if (it != r.counters.end() && it->second.value > gRealtime)
                gRealtime = it->second.value;
        }
    }
    void Finalize() override {
        benchmark::ConsoleReporter::Finalize();
        if (gRealtime > 0)
            std::printf("\nAddSamples at the default settings: %.0f samples/s, %.0fx real time "
                        "at 48 kHz (goal >= 500x: %s)\n",
                        gRealtime * 48000.0, gRealtime, gRealtime >= 500 ? "met" : "NOT met");
        std::fflush(stdout);
    }
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    RealtimeReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
