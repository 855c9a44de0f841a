// The sound card through RtAudio: default device of the default API
// (JACK if a server runs, else PulseAudio, else ALSA), 16-bit interleaved.
// UI thread only, like every WaveBackend.
#pragma once

#include "platform/audio/wave_device.h"

namespace ravlon::audio {

class RtAudioBackend : public WaveBackend {
public:
    std::vector<std::string> deviceNames(Direction dir) override;
    std::unique_ptr<WaveStream> open(Direction dir, const WaveFormat& format, MessageWindow& target,
                                     std::string& error) override;
};

} // namespace ravlon::audio
