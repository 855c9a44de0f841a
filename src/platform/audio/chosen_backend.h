// The back end of the user's audio choice, for the program's sound
// components: it opens the devices the audio settings name (or the simulated
// room), unless RAVLON_AUDIO is set, which then decides as before.
//
// The choice can change while the components keep the same back end: each
// open uses the choice of that moment, and a stream already open keeps its
// device (and its back end, which lives as long as the stream).
//
// Typical use (UI thread, at start and after the audio dialog):
//   auto backend = std::make_shared<ChosenWaveBackend>();
//   std::string msg = backend->choose(LoadAudioSettings(store)); // show msg once if not ""
//   statusBar->showMessage(backend->statusText());
// UI thread only, like every WaveBackend.
#pragma once

#include "platform/audio/audio_settings.h"
#include "platform/audio/rtaudio_backend.h"
#include "platform/audio/wave_device.h"

#include <functional>
#include <optional>

namespace ravlon::audio {

// The back end for a choice, without looking at RAVLON_AUDIO: the simulated
// room with its settings, or the sound card with the chosen devices.
std::shared_ptr<WaveBackend> MakeWaveBackend(const AudioSettings& choice);

// The value of RAVLON_AUDIO, or nothing when it is unset.
std::optional<std::string> EnvironmentAudioSetting();

class ChosenWaveBackend : public WaveBackend {
public:
    using Enumerator = std::function<std::vector<AudioSystemInfo>()>;

    // Starts without a choice (the default devices, as without settings).
    // environment: RAVLON_AUDIO's value, deciding when set; enumerate: how
    // the devices present are found (tests give their own).
    explicit ChosenWaveBackend(std::optional<std::string> environment = EnvironmentAudioSetting(),
                               Enumerator enumerate = EnumerateAudioSystems);

    // Checks `wanted` against the devices present (CheckAudioChoice) and
    // opens that from now on. Returns the one message about what could not
    // be used, "" when everything was found (the caller shows it once).
    // With RAVLON_AUDIO set the devices are not checked: "" is returned.
    std::string choose(const AudioSettings& wanted);

    // The checked choice (its settings are what the next open uses).
    const AudioChoice& choice() const { return choice_; }
    // RAVLON_AUDIO decides instead of the choice.
    bool overridden() const { return environment_.has_value(); }
    const std::optional<std::string>& environment() const { return environment_; }
    // The status bar's text (AudioStatusText).
    std::string statusText() const;
    // The devices present as choose or enumerate last found them (with
    // RAVLON_AUDIO set, choose does not look: empty until enumerate).
    const std::vector<AudioSystemInfo>& systems() const { return systems_; }
    // Looks again which devices are present (for the audio dialog).
    const std::vector<AudioSystemInfo>& enumerate();

    std::vector<std::string> deviceNames(Direction dir) override;
    std::unique_ptr<WaveStream> open(Direction dir, const WaveFormat& format, MessageWindow& target,
                                     std::string& error) override;

private:
    std::optional<std::string> environment_;
    Enumerator enumerate_;
    AudioChoice choice_;
    std::vector<AudioSystemInfo> systems_;
    std::shared_ptr<WaveBackend> current_;
};

} // namespace ravlon::audio
