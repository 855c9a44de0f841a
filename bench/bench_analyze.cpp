// Speed of ravlon-analyze's work on a 10-minute recording (48000 Hz, the
// default 1 s / 1 s / 1 s cycle, 200 cycles; the noise decays exponentially
// after it stops, T60 0.8 s): opening it as the main window does
// (OpenRecordingAnalysis: set-up, reading, every block through the FFT, one
// noise reference update per cycle), the per-bin EvaluateT60 and the octave and
// third-octave band evaluation. Output formatting is left out.
//
// Counter x_realtime: seconds of recording analysed per second of wall-clock
// time (file reading included). Goal: at least 200.
#include "core/bands/band_evaluation.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"
#include "ten_minute_recording.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>

namespace {

using namespace ravlon::bench;
double gRealtime = 0.0;

void BM_AnalyzeTenMinuteRecording(benchmark::State& state) {
    static TenMinuteRecording rec;
    if (!rec.ok) {
        state.SkipWithError("cannot write the benchmark recording");
        return;
    }
    std::vector<double> t60, start, end;
    int64_t cycles = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        ravlon::TSMPfile f;
        if (!f.open_file(rec.name, true)) {
            state.SkipWithError("cannot open the benchmark recording");
            return;
        }
        ravlon::TFFT fft;
        ravlon::TSpectrogram store(fft);
        cycles = ravlon::OpenRecordingAnalysis(f, store, 3, 500.0).Cycles;
        f.close_file();
        ravlon::EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), 5, 30, t60, start, end);
        auto octaves = ravlon::EvaluateBands(store, ravlon::TBandSet::Octave, t60);
        auto thirds = ravlon::EvaluateBands(store, ravlon::TBandSet::ThirdOctave, t60);
        benchmark::DoNotOptimize(octaves.data());
        benchmark::DoNotOptimize(thirds.data());
    }
    state.counters["cycles"] = static_cast<double>(cycles);
    state.counters["x_realtime"] = benchmark::Counter(
        kSeconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - t0;
    if (wall.count() > 0)
        gRealtime = kSeconds * static_cast<double>(state.iterations()) / wall.count();
}
BENCHMARK(BM_AnalyzeTenMinuteRecording)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("ravlon-analyze on a 10-minute recording: %.0f x real time (goal: at least 200)\n",
                gRealtime);
    return 0;
}
