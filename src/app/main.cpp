// Ravlon: measures the reverberation of a room with the sound card by the
// interrupted-noise method.
//
// Command line: `ravlon [--list-devices] [--help] [FILE]`; FILE is a recording
// to open once the windows are shown (the desktop opens recordings this way).
// The options Qt takes for itself (-platform, -style, -geometry ...) are
// handed on to it untouched.
#include "app/application.h"
#include "platform/audio/chosen_backend.h"
#include "platform/audio/rtaudio_backend.h"

#include <CLI/CLI.hpp>

#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

// Qt's own command-line options, and whether a value follows them.
struct QtOption {
    const char* name;
    bool value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},        {"platformpluginpath", true},
    {"platformtheme", true},   {"plugin", true},
    {"qwindowgeometry", true}, {"qwindowicon", true},
    {"qwindowtitle", true},    {"style", true},
    {"stylesheet", true},      {"session", true},
    {"display", true},         {"geometry", true},
    {"title", true},           {"name", true},
    {"visual", true},          {"qmljsdebugger", false},
    {"reverse", false},        {"widgetcount", false},
    {"nograb", false},         {"dograb", false},
    {"sync", false},
};

// The Qt option an argument starts ("-style", "--style", "-style=fusion"), or null.
const QtOption* QtOptionOf(const char* arg) {
    if (arg[0] != '-') return nullptr;
    std::string name = arg + (arg[1] == '-' ? 2 : 1);
    name = name.substr(0, name.find('='));
    for (const QtOption& o : kQtOptions)
        if (name == o.name) return &o;
    return nullptr;
}

} // namespace

int main(int argc, char** argv) {
    // Qt's options go to Qt, everything else to the parser; "--" ends options.
    std::vector<char*> qtArgs{argv[0]}, ownArgs{argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            ownArgs.insert(ownArgs.end(), argv + i, argv + argc);
            break;
        }
        const QtOption* qt = QtOptionOf(argv[i]);
        if (!qt) {
            ownArgs.push_back(argv[i]);
            continue;
        }
        qtArgs.push_back(argv[i]);
        if (qt->value && !std::strchr(argv[i], '=') && i + 1 < argc) qtArgs.push_back(argv[++i]);
    }

    CLI::App cli("Ravlon measures the reverberation of a room with the sound card by the "
                 "interrupted-noise method.",
                 "ravlon");
    bool listDevices = false;
    std::string recording;
    cli.add_flag("--list-devices", listDevices,
                 "Print the audio systems and their devices with channel counts and sampling "
                 "rates, then exit");
    cli.add_option("FILE", recording, "A recording (.ravlon) to open at start");
    cli.footer("Environment: RAVLON_AUDIO=room:<settings> measures a simulated room instead of "
               "the sound card; RAVLON_AUDIO=card uses the sound card.");
    try {
        cli.parse(int(ownArgs.size()), ownArgs.data());
    } catch (const CLI::ParseError& e) {
        return cli.exit(e);
    }

    if (listDevices) {
        std::cout << ravlon::audio::AudioSystemsText(ravlon::audio::EnumerateAudioSystems());
        if (const auto env = ravlon::audio::EnvironmentAudioSetting())
            std::cout << "RAVLON_AUDIO=" << *env
                      << " is set: the program uses it instead of the chosen devices.\n";
        return 0;
    }
    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    RavlonApplication app(qtArgc, qtArgs.data());
    std::unique_ptr<RavlonWindows> windows = CreateForms();
    if (!recording.empty()) OpenRecordingAtStart(*windows->Form1, recording);
    const int rc = app.exec();
    windows.reset();
    return rc;
}
