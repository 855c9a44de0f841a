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
#include "core/measure/noise_generator.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

constexpr int32_t kRate = 48000;
constexpr int32_t kPos1 = 48128, kPos2 = 96256, kPos3 = 144384; // 1 s / 1 s / 1 s at FFT 256
constexpr double kSeconds = 600.0;
double gRealtime = 0.0;

// The 10-minute recording, written once per process and removed at exit.
struct Recording {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("ravlon-bench-analyze-" + std::to_string(::getpid()) + ".ravlon"))
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
        ravlon::TNoiseRandom rng;
        auto block = std::make_unique<ravlon::TSMPBlock>();
        const auto total = static_cast<int64_t>(kSeconds * kRate);
        const double perSample = std::log(1000.0) / (0.8 * kRate); // amplitude, 60 dB in 0.8 s
        double level = 0;
        for (int64_t i = 0; i < total;) {
            const auto n = static_cast<int32_t>(std::min<int64_t>(16384, total - i));
            for (int32_t j = 0; j < n; ++j) {
                const auto pos = static_cast<int32_t>((i + j) % kPos3);
                if (pos >= kPos1 && pos < kPos2)
                    level = 0.5;
                else
                    level *= std::exp(-perSample);
                const double r = static_cast<double>(rng.Random(65535)) - 32768.0;
                block->Samples[j] = static_cast<int16_t>(std::lround(r * level));
            }
            block->Count = n;
            f.write_block(0, *block);
            i += n;
        }
        ok = f.save_file("") && f.close_file();
    }
    ~Recording() { std::remove(name.c_str()); }
};

void BM_AnalyzeTenMinuteRecording(benchmark::State& state) {
    static Recording rec;
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
