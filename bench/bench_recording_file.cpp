// Reading a recording back: a 10-minute one-channel recording at 48 kHz read
// in blocks of 256 samples, as the re-analysis of an opened recording does.
// The counter "x_realtime" is seconds of recording read per second of wall
// time (goal: at least 100).
#include "core/recording/recording_file.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

constexpr int kRate = 48000;
constexpr int kSeconds = 600;

class Recording {
public:
    Recording() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ravlon-bench-smp-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        Dir = pattern;
        Name = (Dir / "ten-minutes.ravlon").string();
        ravlon::TSMPfile f;
        if (!f.new_file(Name)) std::abort();
        f.insert_nonpresent_defaults();
        f.set_sftot(kRate);
        if (!f.save_file("")) std::abort();
        auto block = std::make_unique<ravlon::TSMPBlock>();
        uint32_t state = 1;
        for (int64_t left = int64_t{kRate} * kSeconds; left > 0; left -= block->Count) {
            block->Count = static_cast<int32_t>(std::min<int64_t>(left, 16384));
            for (int32_t i = 0; i < block->Count; ++i) {
                state = state * 1664525u + 1013904223u;
                block->Samples[i] = static_cast<int16_t>(state >> 16);
            }
            f.write_block(0, *block);
        }
        f.close_file();
    }
    ~Recording() {
        std::error_code ec;
        std::filesystem::remove_all(Dir, ec);
    }
    const std::string& name() const { return Name; }

private:
    std::filesystem::path Dir;
    std::string Name;
};

void BM_ReadTenMinutesInBlocksOf256(benchmark::State& state) {
    static Recording recording;
    auto block = std::make_unique<ravlon::TSMPBlock>();
    int64_t samples = 0;
    for (auto _ : state) {
        ravlon::TSMPfile f;
        if (!f.open_file(recording.name(), true)) {
            state.SkipWithError("cannot open the recording");
            return;
        }
        f.setChunknSamples(256);
        int64_t n = 0;
        do {
            f.read_block(0, *block);
            n += block->Count;
            benchmark::DoNotOptimize(block->Samples[0]);
        } while (block->Count > 0);
        if (n != int64_t{kRate} * kSeconds) {
            state.SkipWithError("short read");
            return;
        }
        samples += n;
    }
    state.counters["x_realtime"] =
        benchmark::Counter(static_cast<double>(samples) / kRate, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(samples * 2);
}
BENCHMARK(BM_ReadTenMinutesInBlocksOf256)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
