// The simulated room as a wave device: what the output plays comes back at
// the input through the room (core/room/room_model.h), on one sample clock.
// A clock thread advances the room one block at a time, in real time or, with
// pace=fast, whenever every open stream is running and has a buffer queued.
// UI thread only, like every WaveBackend.
#pragma once

#include "core/room/room_model.h"
#include "platform/audio/wave_device.h"

#include <atomic>
#include <memory>
#include <thread>

namespace ravlon::audio {

class RoomStream;

class RoomBackend : public WaveBackend {
public:
    // settings: the text after "room:"; a bad setting makes every open fail
    // with the reason.
    explicit RoomBackend(const std::string& settings);
    ~RoomBackend() override;

    std::vector<std::string> deviceNames(Direction dir) override;
    std::unique_ptr<WaveStream> open(Direction dir, const WaveFormat& format, MessageWindow& target,
                                     std::string& error) override;

    // The room of the open streams (null when none is open): for tests.
    const RoomSimulator* simulator() const { return room_.get(); }
    const RoomConfig& config() const { return config_; }

    // Called by a closing stream.
    void detach(RoomStream* s);
    // Blocks until the clock thread is outside a block (UI thread).
    void waitBlockBoundary() const;

private:
    std::string buildRoom(int rate);
    void clockLoop();
    void tick();
    void stopClock();

    RoomConfig config_;
    std::string configError_;
    int rate_ = 0;
    std::unique_ptr<RoomSimulator> room_;
    std::atomic<RoomStream*> out_{nullptr};
    std::atomic<RoomStream*> in_{nullptr};
    std::atomic<bool> inTick_{false};
    std::atomic<bool> quit_{false};
    std::thread clock_;
    std::vector<double> speaker_;
    std::vector<std::int16_t> mic_;
};

// Reads a mono WAV impulse response as samples of full scale 1.0; raises
// ravlon::Exception with the reason when it cannot.
std::vector<double> LoadImpulseResponse(const std::string& path, int expectedRate);

} // namespace ravlon::audio
