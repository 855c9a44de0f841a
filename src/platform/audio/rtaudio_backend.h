// The sound card through RtAudio, 16-bit interleaved. Without a choice: the
// default device of the default API (PulseAudio where a server runs, else
// what RtAudio finds first: JACK with a running server, ALSA), channel 1.
// With a choice (AudioSettings: system, devices, channels): that API, the
// devices of those names and the channel; PulseAudio takes no channel offset,
// so there the device's channels are opened and the stream's channel is
// placed in the callback. Open errors name the device ("Scarlett 2i2 USB:
// device busy"), and so do failures while streaming.
// UI thread only, like every WaveBackend.
#pragma once

#include "platform/audio/audio_settings.h"
#include "platform/audio/wave_device.h"

namespace ravlon::audio {

class RtAudioBackend : public WaveBackend {
public:
    RtAudioBackend() = default;
    // The system, device and channel fields of `choice` are used; "" and 1
    // are the defaults.
    explicit RtAudioBackend(const AudioSettings& choice) : choice_(choice) {}

    std::vector<std::string> deviceNames(Direction dir) override;
    std::unique_ptr<WaveStream> open(Direction dir, const WaveFormat& format, MessageWindow& target,
                                     std::string& error) override;

private:
    AudioSettings choice_;
};

// Every audio system RtAudio was built with, in RtAudio's order, with its
// devices as they are now (probing may take a moment: ALSA opens each device).
// UI thread (or a program without one).
std::vector<AudioSystemInfo> EnumerateAudioSystems();

} // namespace ravlon::audio
