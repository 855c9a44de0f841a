// Test recordings: the program's noise cycle played through the simulated room
// (no Qt, no sound card) and written as a recording file, as a run would
// record it: header items "pos1".."pos3" and the sampling rate, then the
// microphone samples of whole cycles.
#pragma once

#include "core/measure/noise_generator.h"
#include "core/measure/spectrogram.h"
#include "core/recording/recording_file.h"
#include "core/room/room_model.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ravlon::test {

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

// Writes the recording; returns false when the file cannot be written.
inline bool WriteRoomRecording(const std::string& path, const RoomRecordingSetup& setup) {
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    const int rate = setup.Run.SampFreq;
    RoomSimulator room(setup.Room, rate, SynthesizeRoomImpulse(setup.Room, rate));
    TSMPfile f;
    if (!f.new_file(path)) return false;
    f.insert_nonpresent_defaults();
    f.set_sftot(rate);
    f.set_item("pos1", std::to_string(plan.Pos1));
    f.set_item("pos2", std::to_string(plan.Pos2));
    f.set_item("pos3", std::to_string(plan.Pos3));
    if (!f.save_file("")) return false;
    TNoiseRandom rng;
    int32_t playPos = 0;
    std::vector<int16_t> out(RoomSimulator::kBlock), mic(RoomSimulator::kBlock);
    std::vector<double> speaker(RoomSimulator::kBlock);
    auto block = std::make_unique<TSMPBlock>();
    block->Count = 0;
    const int64_t total = static_cast<int64_t>(plan.Pos3) * setup.Cycles;
    for (int64_t done = 0; done < total;) {
        FillNoise(rng, out.data(), static_cast<int32_t>(out.size()), playPos, plan.Pos1, plan.Pos2,
                  plan.Pos3);
        std::copy(out.begin(), out.end(), speaker.begin());
        room.process(speaker.data(), mic.data());
        const auto n =
            static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(mic.size()), total - done));
        for (int32_t i = 0; i < n; ++i) {
            block->Samples[block->Count++] = mic[static_cast<size_t>(i)];
            if (block->Count == TSMPfile::BlockSamples) {
                f.write_block(0, *block);
                block->Count = 0;
            }
        }
        done += n;
    }
    if (block->Count > 0) f.write_block(0, *block);
    return f.save_file("") && f.close_file();
}

} // namespace ravlon::test
