// The application object and the program's windows.
//
// RavlonApplication routes every exception that an event handler throws to
// the application's exception handler instead of letting it cross the event
// loop (which would end the program).
//
// RavlonWindows: the measurement model and the six windows in their start-up
// order (main window, decay, response, reverberation time, warning, radius),
// then the band results view, created, wired and owned here. The windows never
// reach each other: they share the model, and the show actions, the warning
// and the band results' hooks are connected here.
#pragma once

#include "core/model/measurement_model.h"
#include "platform/audio/wave_device.h"

#include <QApplication>

#include <memory>

class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
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
    std::unique_ptr<TBandsView> Bands;

    RavlonWindows();
    ~RavlonWindows();
    RavlonWindows(const RavlonWindows&) = delete;
    RavlonWindows& operator=(const RavlonWindows&) = delete;
};

// Creates the windows in their start-up order, wires them, finishes their
// loading and shows the main window. backend: the audio back end of the sound
// components (default: RAVLON_AUDIO or the sound card).
std::unique_ptr<RavlonWindows> CreateForms(
    std::shared_ptr<ravlon::audio::WaveBackend> backend = ravlon::audio::DefaultWaveBackend());
