#include "services/audio_settings_store.h"

#include "core/base/numtext.h"
#include "core/measure/noise_generator.h"

#include <algorithm>

namespace ravlon {

audio::AudioSettings LoadAudioSettings(const TSetting& store) {
    audio::AudioSettings s;
    const char* sec = kAudioSection;
    s.system = store.ReadString(sec, "System", "");
    s.outputDevice = store.ReadString(sec, "OutputDevice", "");
    s.outputChannel = std::max(1, store.ReadInteger(sec, "OutputChannel", 1));
    s.inputDevice = store.ReadString(sec, "InputDevice", "");
    s.inputChannel = std::max(1, store.ReadInteger(sec, "InputChannel", 1));
    s.roomSettings = store.ReadString(sec, "Room", "");
    try {
        const double a = StrToFloatDot(store.ReadString(sec, "OutputAttenuation", "0"));
        if (a >= 0 && a <= MaxNoiseAttenuation) s.outputAttenuation = a;
    } catch (const EConvertError&) {
        // An unreadable level is full scale, like a missing one.
    }
    return s;
}

void SaveAudioSettings(TSetting& store, const audio::AudioSettings& s) {
    const char* sec = kAudioSection;
    store.WriteString(sec, "System", s.system);
    store.WriteString(sec, "OutputDevice", s.outputDevice);
    store.WriteInteger(sec, "OutputChannel", s.outputChannel);
    store.WriteString(sec, "InputDevice", s.inputDevice);
    store.WriteInteger(sec, "InputChannel", s.inputChannel);
    store.WriteString(sec, "Room", s.roomSettings);
    store.WriteString(sec, "OutputAttenuation", FloatToStrDot(s.outputAttenuation));
}

} // namespace ravlon
