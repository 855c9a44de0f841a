// The user's choice of sound devices and output level, the devices an audio
// system offers, and the check of a stored choice against the devices
// present. Plain data and pure functions: the enumeration itself is
// EnumerateAudioSystems (rtaudio_backend.h), the back end that opens the
// choice is ChosenWaveBackend (chosen_backend.h), storing it is
// LoadAudioSettings / SaveAudioSettings (services/audio_settings_store.h).
//
// The default-constructed choice is the program's behaviour without any
// choice: the default devices of the default audio system, channel 1, the
// noise at full scale.
#pragma once

#include <string>
#include <vector>

namespace ravlon::audio {

// The system name of the simulated room in AudioSettings::system.
inline constexpr const char* kRoomSystem = "room";

struct AudioSettings {
    // "" = the default audio system (PulseAudio where a server runs, else what
    // RtAudio finds); an RtAudio API name as RtAudio::getApiName gives it
    // ("pulse", "alsa", "jack"); or kRoomSystem.
    std::string system;
    // Device names as the audio system reports them; "" = its default device.
    std::string outputDevice;
    int outputChannel = 1; // 1 .. the device's channels
    std::string inputDevice;
    int inputChannel = 1;
    // The simulated room's settings: RAVLON_AUDIO's text after "room:".
    std::string roomSettings;
    // Attenuation of the played noise in dB, 0 (full scale) ... 90.
    double outputAttenuation = 0.0;

    bool IsRoom() const { return system == kRoomSystem; }
    bool operator==(const AudioSettings&) const = default;
};

struct AudioDeviceInfo {
    std::string name;
    int outputChannels = 0;
    int inputChannels = 0;
    bool defaultOutput = false;
    bool defaultInput = false;
    std::vector<int> rates; // supported sampling rates, ascending
};

struct AudioSystemInfo {
    std::string id;          // RtAudio API name: "pulse", "alsa", "jack"
    std::string displayName; // "Pulse", "ALSA", "Jack"
    bool usable = false;     // has devices (and, for PulseAudio, a server)
    bool isDefault = false;  // the system used when none is chosen
    std::vector<AudioDeviceInfo> devices;
};

// A choice checked against the devices present.
struct AudioChoice {
    // What the back end opens: the wanted choice, with the default (device "",
    // channel 1, system "") wherever the wanted one is not present.
    AudioSettings settings;
    // The devices that will be opened, by name ("" when not known: no such
    // device, or the simulated room).
    std::string outputName, inputName;
    // One message naming everything that could not be used, lines joined by
    // "\n"; "" when the wanted choice is present as it is.
    std::string message;
};

// Checks `wanted` against `systems` (as EnumerateAudioSystems gives them).
// A system that is not usable, a device that is not present, or a channel
// beyond the device's channels falls back to the default and is named in the
// message. The simulated room is taken as it is.
AudioChoice CheckAudioChoice(const AudioSettings& wanted,
                             const std::vector<AudioSystemInfo>& systems);

// The status bar's text for a checked choice: "Out: <device> / In: <device>",
// each followed by " ch <n>" when the channel is not 1; "Simulated room" (and
// ": <settings>" when there are any) for the room. environment: the value of
// RAVLON_AUDIO, which decides instead when set ("RAVLON_AUDIO=<value>").
std::string AudioStatusText(const AudioChoice& choice, const std::string* environment = nullptr);

// The rates both devices support, ascending (for the sampling-rate edit).
std::vector<int> CommonRates(const AudioDeviceInfo& output, const AudioDeviceInfo& input);

// The sampling rates the simulated room offers (it takes any rate).
inline constexpr int kRoomRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000};

// The rates to offer for a checked choice: kRoomRates for the simulated room,
// else the rates both devices to be opened support (in `systems`, as
// EnumerateAudioSystems gives them); none when a device is not known.
std::vector<int> OfferedRates(const AudioChoice& choice,
                              const std::vector<AudioSystemInfo>& systems);

// The listing of `ravlon --list-devices`: per system a heading line, then
// one line per device with its channel counts and rates.
std::string AudioSystemsText(const std::vector<AudioSystemInfo>& systems);

} // namespace ravlon::audio
