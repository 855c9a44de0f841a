// The application object and the program's windows.
//
// RavlonApplication routes every exception that an event handler throws to
// the application's exception handler instead of letting it cross the event
// loop (which would end the program).
//
// RavlonWindows: the measurement model and the six windows in their start-up
// order (main window, decay, response, reverberation time, warning, radius),
// created, wired and owned here, then the band results view; the main window
// and the views open with the size and place they had at the end of the last
// session. The windows never reach each other: they share the model, and the
// show actions, the warning and the band results' hooks are connected here.
#pragma once

#include "core/model/measurement_model.h"
#include "platform/audio/wave_device.h"

#include <QApplication>

#include <memory>
#include <string>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
namespace ravlon {
class TWindowPlaces;
class TAudioSetup;
} // namespace ravlon
class TSessionController;
class TExportActions;
class TBandsView;

class RavlonApplication : public QApplication {
public:
    RavlonApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

struct RavlonWindows {
    // Declared first, destroyed last: every window observes it.
    ravlon::MeasurementModel Model;
    std::unique_ptr<TForm1> Form1;
    std::unique_ptr<TForm2> Form2;
    std::unique_ptr<TForm3> Form3;
    std::unique_ptr<TForm4> Form4;
    std::unique_ptr<TForm5> Form5;
    std::unique_ptr<TForm6> Form6;
    // Where the windows were in the last session; they are kept there when
    // the windows go.
    std::unique_ptr<ravlon::TWindowPlaces> Places;
    // The sound devices in the main window: audio dialog, meter, check window.
    // InputMeter of the model tells which cycles clipped (ChangeClipping).
    std::unique_ptr<ravlon::TAudioSetup> Audio;
    // The measurement session (File > New session..., positions panel, report)
    // and the WAV and image exports.
    std::unique_ptr<TSessionController> Sessions;
    std::unique_ptr<TExportActions> Exports;
    std::unique_ptr<TBandsView> Bands;

    RavlonWindows();
    ~RavlonWindows();
    RavlonWindows(const RavlonWindows&) = delete;
    RavlonWindows& operator=(const RavlonWindows&) = delete;
};

// Creates the windows in their start-up order, wires them, finishes their
// loading and shows the main window. backend: the audio back end of the sound
// components; null: the devices chosen in the audio settings (RAVLON_AUDIO
// when it is set), applied once the main window shows.
std::unique_ptr<RavlonWindows>
CreateForms(std::shared_ptr<ravlon::audio::WaveBackend> backend = nullptr);

// Opens the recording named on the command line (`ravlon FILE.ravlon`) once
// the event loop runs, so the windows are up first; a file that cannot be
// opened is reported in a message box like one chosen from the File menu. A
// relative name is taken from the current folder.
void OpenRecordingAtStart(TForm1& main, const std::string& name);
