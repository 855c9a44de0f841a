#include "platform/audio/audio_settings.h"

#include <algorithm>
#include <iterator>

namespace ravlon::audio {

namespace {

std::string Plural(int n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// Checks one direction's device and channel of `sys`, falling back to the
// default device and channel 1; returns the name of the device to be opened.
std::string CheckSide(const AudioSystemInfo* sys, bool output, std::string& device, int& channel,
                      std::vector<std::string>& problems) {
    const char* side = output ? "output" : "input";
    auto channelsOf = [output](const AudioDeviceInfo& d) {
        return output ? d.outputChannels : d.inputChannels;
    };
    const AudioDeviceInfo* found = nullptr;
    if (sys)
        for (const AudioDeviceInfo& d : sys->devices)
            if (channelsOf(d) > 0 &&
                (device.empty() ? (output ? d.defaultOutput : d.defaultInput) : d.name == device))
                found = &d;
    if (!device.empty() && !found) {
        problems.push_back("The " + std::string(side) + " device \"" + device +
                           "\" is no longer present; the default " + side + " device is used.");
        device.clear();
        channel = 1;
        return CheckSide(sys, output, device, channel, problems);
    }
    if (channel < 1) channel = 1;
    if (found && channel > channelsOf(*found)) {
        problems.push_back("The " + std::string(side) + " device \"" + found->name + "\" has " +
                           Plural(channelsOf(*found), "channel") +
                           "; channel 1 is used instead of channel " + std::to_string(channel) +
                           ".");
        channel = 1;
    }
    return found ? found->name : std::string();
}

} // namespace

AudioChoice CheckAudioChoice(const AudioSettings& wanted,
                             const std::vector<AudioSystemInfo>& systems) {
    AudioChoice c;
    c.settings = wanted;
    if (wanted.IsRoom()) return c;
    std::vector<std::string> problems;
    const AudioSystemInfo* sys = nullptr;
    for (const AudioSystemInfo& s : systems)
        if (wanted.system.empty() ? s.isDefault : s.id == wanted.system) sys = &s;
    if (!wanted.system.empty() && (!sys || !sys->usable)) {
        problems.push_back("The audio system \"" + (sys ? sys->displayName : wanted.system) +
                           "\" is not available; the default audio system is used.");
        c.settings = AudioSettings();
        c.settings.outputAttenuation = wanted.outputAttenuation;
        c.settings.roomSettings = wanted.roomSettings;
        sys = nullptr;
        for (const AudioSystemInfo& s : systems)
            if (s.isDefault) sys = &s;
    }
    c.outputName =
        CheckSide(sys, true, c.settings.outputDevice, c.settings.outputChannel, problems);
    c.inputName = CheckSide(sys, false, c.settings.inputDevice, c.settings.inputChannel, problems);
    for (const std::string& p : problems) c.message += (c.message.empty() ? "" : "\n") + p;
    return c;
}

std::string AudioStatusText(const AudioChoice& choice, const std::string* environment) {
    if (environment) return "RAVLON_AUDIO=" + *environment;
    const AudioSettings& s = choice.settings;
    if (s.IsRoom())
        return s.roomSettings.empty() ? "Simulated room" : "Simulated room: " + s.roomSettings;
    auto side = [](const std::string& name, int channel) {
        return (name.empty() ? std::string("default device") : name) +
               (channel != 1 ? " ch " + std::to_string(channel) : std::string());
    };
    return "Out: " + side(choice.outputName, s.outputChannel) +
           " / In: " + side(choice.inputName, s.inputChannel);
}

std::vector<int> CommonRates(const AudioDeviceInfo& output, const AudioDeviceInfo& input) {
    std::vector<int> a = output.rates, b = input.rates, both;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
    return both;
}

std::vector<int> OfferedRates(const AudioChoice& choice,
                              const std::vector<AudioSystemInfo>& systems) {
    if (choice.settings.IsRoom()) return {std::begin(kRoomRates), std::end(kRoomRates)};
    const AudioSystemInfo* sys = nullptr;
    for (const AudioSystemInfo& s : systems)
        if (choice.settings.system.empty() ? s.isDefault : s.id == choice.settings.system) sys = &s;
    if (!sys) return {};
    const AudioDeviceInfo *out = nullptr, *in = nullptr;
    for (const AudioDeviceInfo& d : sys->devices) {
        if (d.outputChannels > 0 && d.name == choice.outputName) out = &d;
        if (d.inputChannels > 0 && d.name == choice.inputName) in = &d;
    }
    return out && in ? CommonRates(*out, *in) : std::vector<int>();
}

std::string AudioSystemsText(const std::vector<AudioSystemInfo>& systems) {
    std::string text;
    for (const AudioSystemInfo& s : systems) {
        text += s.displayName + " (" + s.id + ")";
        if (!s.usable)
            text += ": not available";
        else if (s.isDefault)
            text += ": the default audio system";
        text += "\n";
        if (!s.usable) continue;
        for (const AudioDeviceInfo& d : s.devices) {
            text += "  " + d.name + ": " + Plural(d.outputChannels, "output channel") + ", " +
                    Plural(d.inputChannels, "input channel") + "; rates";
            for (int r : d.rates) text += " " + std::to_string(r);
            text += " Hz";
            if (d.defaultOutput) text += "; default output";
            if (d.defaultInput) text += "; default input";
            text += "\n";
        }
    }
    text += "Simulated room (room): a loudspeaker and a microphone in a simulated room, "
            "set up as RAVLON_AUDIO=room:<settings>\n";
    return text;
}

} // namespace ravlon::audio
