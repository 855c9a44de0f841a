// Speed of the main window's two heavy jobs, as ratios:
// - painting the spectrogram of the default store (48 kHz, 500 Hz, Hanning,
//   1 s / 1 s / 1 s) into a 1920 x 1080 paint box, against one frame period of
//   a 30 Hz display (dragging an axis repaints the image on every mouse move);
// - re-analysing a 10-minute recording when it is opened, against the
//   recording's duration.
#include "core/base/numtext.h"
#include "core/measure/reanalysis.h"
#include "core/measure/spectrogram_image.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <vector>

using namespace ravlon;

namespace {

void SetUpDefault(TSpectrogram& s) {
    TSpectrogram::RunSettings settings;
    s.SetupRun(settings);
}

// A store after a few cycles of noise in a room with a 0.8 s decay.
void FillStore(TSpectrogram& s) {
    std::vector<double> power(static_cast<size_t>(s.Bins()));
    for (int cycle = 0; cycle < 3; ++cycle) {
        for (int32_t f = 0; f < s.Frames(); ++f) {
            double t = f * 256.0 / 48000;
            double level = t < 1.0027 ? 1e-6 : t < 2.0053 ? 1.0 : std::pow(10, -7.5 * (t - 2.0053));
            for (int32_t b = 0; b < s.Bins(); ++b)
                power[static_cast<size_t>(b)] = level * (1 + 0.1 * ((b * 7 + f) % 5));
            s.AddSpectrum(f, power);
        }
    }
    s.UpdateNoiseReference();
}

void BM_PaintSpectrogram1920x1080(benchmark::State& state) {
    TFFT fft;
    TSpectrogram s(fft);
    SetUpDefault(s);
    FillStore(s);
    const int w = 1920, h = 1080;
    std::vector<uint32_t> pixels(static_cast<size_t>(w) * h, 0xFFFFFFFFu);
    std::vector<double> rowFreq(h), colTime(w);
    // A logarithmic frequency axis 20 .. 20000 Hz (top = high) and a linear time axis.
    for (int y = 0; y < h; ++y)
        rowFreq[static_cast<size_t>(y)] = 20 * std::pow(1000.0, (h - 1.0 - y) / (h - 1));
    for (int x = 0; x < w; ++x) colTime[static_cast<size_t>(x)] = 3.008 * x / (w - 1);
    int64_t drawn = 0;
    for (auto _ : state) {
        drawn = RenderSpectrogram(s, rowFreq, colTime, -40, 40, pixels.data(), w);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["pixels"] = static_cast<double>(drawn);
    state.counters["x_faster_than_30Hz_frame"] = benchmark::Counter(
        1.0 / 30.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PaintSpectrogram1920x1080)->Unit(benchmark::kMillisecond);

void BM_Reanalyse10Minutes(benchmark::State& state) {
    const int64_t samples = 600LL * 48000;
    const int32_t pos3 = 144384;
    std::string name =
        (std::filesystem::temp_directory_path() / "ravlon-bench-10min.ravlon").string();
    {
        TSMPfile f;
        f.new_file(name);
        f.insert_nonpresent_defaults();
        f.set_sftot(48000);
        f.set_item("pos1", "48128");
        f.set_item("pos2", "96256");
        f.set_item("pos3", std::to_string(pos3));
        f.save_file("");
        auto block = std::make_unique<TSMPBlock>();
        uint32_t seed = 1;
        for (int64_t i = 0; i < samples;) {
            int32_t n = static_cast<int32_t>(std::min<int64_t>(16384, samples - i));
            for (int32_t j = 0; j < n; ++j) {
                seed = seed * 1664525u + 1013904223u;
                block->Samples[j] = static_cast<int16_t>(seed >> 16);
            }
            block->Count = n;
            f.write_block(0, *block);
            i += n;
        }
        f.close_file();
    }
    for (auto _ : state) {
        TFFT fft;
        TSpectrogram s(fft);
        TSMPfile f;
        f.open_file(name, true);
        s.SetSampFreq(48000);
        s.SetupWindow(3);
        s.SetupFFTSize();
        s.SetupWindowSize(500);
        s.SetPositions(48128, 96256, pos3);
        s.ClearStore();
        s.ResetCounters();
        ReanalyseRecording(
            f, s,
            [&](const TSMPBlock& b, bool analyse) {
                if (analyse) s.AddSamples(b.Samples, b.Count);
            },
            [&] { s.UpdateNoiseReference(); });
        f.close_file();
        benchmark::DoNotOptimize(s.SpecSumData().data());
    }
    std::filesystem::remove(name);
    // Multiple of the recording's duration (600 s) analysed per second.
    state.counters["x_realtime"] = benchmark::Counter(
        600.0 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Reanalyse10Minutes)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
