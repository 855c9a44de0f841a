// The audio choice in the settings store: section "Audio" of the store the
// caller gives (the program keeps it in the roaming INI file of its ProgId,
// like the recent files). What cannot be read (a missing, empty or bad value)
// reads as the default, so a store without the section gives the program's
// behaviour without any choice. UI thread only.
#pragma once

#include "platform/audio/audio_settings.h"
#include "services/settings.h"

namespace ravlon {

inline constexpr const char* kAudioSection = "Audio";

audio::AudioSettings LoadAudioSettings(const TSetting& store);
// Raises what the store raises when it cannot be written.
void SaveAudioSettings(TSetting& store, const audio::AudioSettings& settings);

} // namespace ravlon
