// Test recordings: the program's noise cycle played through the simulated room
// (no Qt, no sound card) and written as a recording file, as a run would
// record it: header items "pos1".."pos3" and the sampling rate, then the
// microphone samples of whole cycles.
#pragma once

#include "core/measure/noise_generator.h"
#include "core/measure/spectrogram.h"
#include "core/recording/recording_file.h"
#include "core/room/room_model.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace ravlon::test {

// A file name in the temporary folder, removed at the end of the scope.
struct TempFile {
    std::string name;
    explicit TempFile(const std::string& tag)
        : name((std::filesystem::temp_directory_path() /
                ("ravlon-" + tag + "-" + std::to_string(::getpid()) + ".ravlon"))
                   .string()) {}
    ~TempFile() { std::filesystem::remove(name); }
};

struct RoomRecordingSetup {
    RoomConfig Room;
    TSpectrogram::RunSettings Run;
    int Cycles = 20;
};

// The room of the band tests, as RAVLON_AUDIO=room:... would configure it: 0.4 s
// at 125 Hz rising to 1.0 s at 1 kHz and falling to 0.6 s at 8 kHz, background
// -70 dBFS; 10 dB of gain below unity so the full-scale noise never clips the
// 16-bit microphone.
inline constexpr const char* kBandTestRoom =
    "t60=125:0.4/1000:1.0/8000:0.6,noise=-70,latency=10,gain=-10,seed=7,pace=fast";
inline RoomConfig BandTestRoom() {
    return RoomConfig::parse(kBandTestRoom);
}

// The microphone samples of setup.Cycles whole cycles, as a run records them.
inline std::vector<int16_t> RoomRecordingSamples(const RoomRecordingSetup& setup) {
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    const int rate = setup.Run.SampFreq;
    RoomSimulator room(setup.Room, rate, SynthesizeRoomImpulse(setup.Room, rate));
    TNoiseRandom rng;
    int32_t playPos = 0;
    std::vector<int16_t> out(RoomSimulator::kBlock), mic(RoomSimulator::kBlock), samples;
    std::vector<double> speaker(RoomSimulator::kBlock);
    const size_t total = static_cast<size_t>(plan.Pos3) * static_cast<size_t>(setup.Cycles);
    samples.reserve(total);
    while (samples.size() < total) {
        FillNoise(rng, out.data(), static_cast<int32_t>(out.size()), playPos, plan.Pos1, plan.Pos2,
                  plan.Pos3);
        std::copy(out.begin(), out.end(), speaker.begin());
        room.process(speaker.data(), mic.data());
        const size_t n = std::min(mic.size(), total - samples.size());
        samples.insert(samples.end(), mic.begin(), mic.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return samples;
}

// Writes samples as a recording with the given rate and cycle positions;
// returns false when the file cannot be written.
inline bool WriteRecording(const std::string& path, int32_t rate, int32_t pos1, int32_t pos2,
                           int32_t pos3, const std::vector<int16_t>& samples) {
    TSMPfile f;
    if (!f.new_file(path)) return false;
    f.insert_nonpresent_defaults();
    f.set_sftot(rate);
    f.set_item("pos1", std::to_string(pos1));
    f.set_item("pos2", std::to_string(pos2));
    f.set_item("pos3", std::to_string(pos3));
    if (!f.save_file("")) return false;
    auto block = std::make_unique<TSMPBlock>();
    for (size_t done = 0; done < samples.size();) {
        block->Count =
            static_cast<int32_t>(std::min<size_t>(TSMPfile::BlockSamples, samples.size() - done));
        std::copy_n(samples.begin() + static_cast<std::ptrdiff_t>(done), block->Count,
                    block->Samples);
        f.write_block(0, *block);
        done += static_cast<size_t>(block->Count);
    }
    return f.save_file("") && f.close_file();
}

// Writes the room's recording; returns false when the file cannot be written.
inline bool WriteRoomRecording(const std::string& path, const RoomRecordingSetup& setup) {
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    return WriteRecording(path, setup.Run.SampFreq, plan.Pos1, plan.Pos2, plan.Pos3,
                          RoomRecordingSamples(setup));
}

} // namespace ravlon::test
