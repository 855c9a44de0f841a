#include "platform/audio/chosen_backend.h"
#include "platform/audio/room_backend.h"
#include "platform/audio/rtaudio_backend.h"
#include "platform/audio/wave_device.h"

#include <cstdlib>

namespace ravlon::audio {

namespace {

// Opens always fail with the reason: a mistyped RAVLON_AUDIO must not fall
// back to the sound card silently.
class UnknownBackend : public WaveBackend {
public:
    explicit UnknownBackend(std::string reason) : reason_(std::move(reason)) {}
    std::vector<std::string> deviceNames(Direction) override { return {}; }
    std::unique_ptr<WaveStream> open(Direction, const WaveFormat&, MessageWindow&,
                                     std::string& error) override {
        error = reason_;
        return nullptr;
    }

private:
    std::string reason_;
};

} // namespace

std::shared_ptr<WaveBackend> MakeWaveBackend(const std::string& setting) {
    if (setting.empty() || setting == "card") return std::make_shared<RtAudioBackend>();
    if (setting == "room") return std::make_shared<RoomBackend>(std::string());
    if (setting.rfind("room:", 0) == 0) return std::make_shared<RoomBackend>(setting.substr(5));
    return std::make_shared<UnknownBackend>("RAVLON_AUDIO=" + setting +
                                            " is neither card nor room:<settings>");
}

std::shared_ptr<WaveBackend> MakeWaveBackend(const AudioSettings& choice) {
    if (choice.IsRoom()) return std::make_shared<RoomBackend>(choice.roomSettings);
    return std::make_shared<RtAudioBackend>(choice);
}

std::optional<std::string> EnvironmentAudioSetting() {
    const char* v = std::getenv("RAVLON_AUDIO");
    return v ? std::optional<std::string>(v) : std::nullopt;
}

std::shared_ptr<WaveBackend> DefaultWaveBackend() {
    static std::shared_ptr<WaveBackend> backend =
        MakeWaveBackend(EnvironmentAudioSetting().value_or(std::string()));
    return backend;
}

} // namespace ravlon::audio
