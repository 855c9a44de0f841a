// The 10-minute recording of the analysis benchmarks: 48000 Hz, the default
// 1 s / 1 s / 1 s cycle (positions on whole blocks of 256 samples), 200 cycles
// of the program's noise at half scale, decaying exponentially after it stops
// (T60 0.8 s). Written once into the temporary folder, removed at exit.
#pragma once

#include "core/measure/noise_generator.h"
#include "core/recording/recording_file.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ravlon::bench {

constexpr int32_t kRate = 48000;
constexpr int32_t kPos1 = 48128, kPos2 = 96256, kPos3 = 144384;
constexpr double kSeconds = 600.0;

// The first samples of the recording.
inline std::vector<int16_t> NoiseCycles(int64_t samples) {
    TNoiseRandom rng;
    std::vector<int16_t> x(static_cast<size_t>(samples));
    const double fall = std::exp(-std::log(1000.0) / (0.8 * kRate)); // amplitude per sample
    double level = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        const auto pos = static_cast<int32_t>(static_cast<int64_t>(i) % kPos3);
        level = pos >= kPos1 && pos < kPos2 ? 0.5 : level * fall;
        x[i] = static_cast<int16_t>(std::lround(level * (rng.Random(65535) - 32768.0)));
    }
    return x;
}

struct TenMinuteRecording {
    std::string name = (std::filesystem::temp_directory_path() /
                        ("ravlon-bench-" + std::to_string(::getpid()) + ".ravlon"))
                           .string();
    bool ok = false;
    TenMinuteRecording() {
        TSMPfile f;
        if (!f.new_file(name)) return;
        f.insert_nonpresent_defaults();
        f.set_sftot(kRate);
        f.set_item("pos1", std::to_string(kPos1));
        f.set_item("pos2", std::to_string(kPos2));
        f.set_item("pos3", std::to_string(kPos3));
        if (!f.save_file("")) return;
        const std::vector<int16_t> x = NoiseCycles(static_cast<int64_t>(kSeconds * kRate));
        auto block = std::make_unique<TSMPBlock>();
        for (size_t i = 0; i < x.size(); i += TSMPfile::BlockSamples) {
            block->Count =
                static_cast<int32_t>(std::min<size_t>(TSMPfile::BlockSamples, x.size() - i));
            std::copy_n(x.begin() + static_cast<std::ptrdiff_t>(i), block->Count, block->Samples);
            f.write_block(0, *block);
        }
        ok = f.save_file("") && f.close_file();
    }
    ~TenMinuteRecording() { std::filesystem::remove(name); }
};

} // namespace ravlon::bench
