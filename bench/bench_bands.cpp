// Speed of the band decays from band-filtered signals (third-octave bands,
// 24 filters of three sections, at 48 kHz):
// - BM_BandDecaysAddSamples: TBandDecays::AddSamples in chunks of 4096 samples
//   (the input buffer of the sound component), as a live run feeds it.
//   Counters: x_realtime = seconds of 48 kHz audio taken in per second of CPU
//   time (goal: at least 500); new_calls = global operator new calls during
//   the timed loop (expected 0: no allocation per block).
// - BM_OpenTenMinuteRecording/0 and /1: EvaluateRecordingBands on the
//   10-minute recording (ten_minute_recording.h) with forward and with
//   time-reversed filtering, file reading included. Goal: under a second.
// - BM_BandsViewRepaint: what the bands view computes on the UI thread at
//   every repaint of a run showing third octaves: the per-bin T60 of a 50 Hz
//   analysis (FFT 2048) and the band monitor's evaluation (thirds and octaves,
//   the per-bin medians, the table) of a 5 s cycle at 48 kHz. Goal: under 5 ms.
#include "../tests/support/alloc_counter.h"
#include "core/bands/band_decays.h"
#include "core/bands/band_monitor.h"
#include "core/views/t60_evaluation.h"
#include "ten_minute_recording.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

using namespace ravlon::bench;
constexpr int kChunk = 4096;
double gRealtime = 0.0;
double gOpenSeconds[2] = {0.0, 0.0};
double gRepaintMs = 0.0;

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
    const std::clock_t cpu0 = std::clock();
    for (auto _ : state) {
        if (pos + kChunk > x.size()) pos = 0;
        d.AddSamples(x.data() + pos, kChunk);
        pos += kChunk;
    }
    const double cpu = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    const long newCalls = gNewCalls.load() - newBefore;
    const double samples = static_cast<double>(state.iterations()) * kChunk;
    if (cpu > 0) gRealtime = samples / kRate / cpu; // the last call is the measured run
    state.counters["x_realtime"] = benchmark::Counter(samples / kRate, benchmark::Counter::kIsRate);
    state.counters["new_calls"] = static_cast<double>(newCalls);
    state.SetItemsProcessed(static_cast<int64_t>(samples));
}
BENCHMARK(BM_BandDecaysAddSamples)->Unit(benchmark::kMicrosecond);

void BM_OpenTenMinuteRecording(benchmark::State& state) {
    static TenMinuteRecording rec;
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

void BM_BandsViewRepaint(benchmark::State& state) {
    ravlon::TFFT fft;
    ravlon::TSpectrogram store(fft);
    ravlon::TSpectrogram::RunSettings run;
    run.SampFreq = kRate;
    run.Bandwidth = 50;
    run.PreNoise = 1;
    run.Noise = 2;
    run.PostNoise = 2;
    store.SetupRun(run);
    store.ClearStore();
    store.ResetCounters();
    ravlon::TBandMonitor monitor;
    monitor.Setup(kRate, store.Pos1(), store.Pos2(), store.Pos3());
    // Three cycles of noise that decays at 0.8 s after it stops.
    ravlon::TNoiseRandom rng;
    const double fall = std::exp(-std::log(1000.0) / (0.8 * kRate));
    std::vector<int16_t> cycle(static_cast<size_t>(store.Pos3()));
    for (int c = 0; c < 3; ++c) {
        double level = 0;
        for (int32_t i = 0; i < store.Pos3(); ++i) {
            level = i >= store.Pos1() && i < store.Pos2() ? 0.5 : level * fall;
            cycle[static_cast<size_t>(i)] =
                static_cast<int16_t>(std::lround(level * (rng.Random(65535) - 32768.0)));
        }
        store.AddSamples(cycle);
        store.UpdateNoiseReference();
        monitor.AddSamples(cycle.data(), store.Pos3());
    }
    ravlon::TBandMonitor::TOptions thirds;
    thirds.Set = ravlon::TBandSet::ThirdOctave;
    std::vector<double> t60, start, end;
    // CPU time: what the UI thread spends, whatever else the machine runs.
    const std::clock_t cpu0 = std::clock();
    for (auto _ : state) {
        ravlon::EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), 5, 30, t60, start, end);
        monitor.Evaluate(store, t60, thirds);
        benchmark::DoNotOptimize(monitor.Table().Rows.data());
    }
    gRepaintMs = 1000.0 * static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC /
                 static_cast<double>(state.iterations());
    state.counters["bands"] = static_cast<double>(monitor.Table().Rows.size());
    state.counters["fft_size"] = fft.FFTSize();
}
BENCHMARK(BM_BandsViewRepaint)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gRealtime > 0)
        std::printf("\nThird-octave band decays at 48 kHz: %.0fx real time (goal >= 500x: %s)\n",
                    gRealtime, gRealtime >= 500 ? "met" : "NOT met");
    const char* names[2] = {"forward", "reversed"};
    for (int i = 0; i < 2; ++i)
        if (gOpenSeconds[i] > 0)
            std::printf("10-minute recording, third octaves, %s filter: %.3f s (goal < 1 s: %s)\n",
                        names[i], gOpenSeconds[i], gOpenSeconds[i] < 1.0 ? "met" : "NOT met");
    if (gRepaintMs > 0)
        std::printf("Bands view at a repaint, third octaves, 50 Hz, 5 s cycle: %.2f ms of CPU "
                    "time (goal < 5 ms: %s)\n",
                    gRepaintMs, gRepaintMs < 5 ? "met" : "NOT met");
    return 0;
}
