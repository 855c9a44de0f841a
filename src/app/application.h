// The application object: routes every exception that an event handler
// throws to the application's exception handler instead of letting it cross
// the event loop (which would end the program).
#pragma once

#include "platform/audio/wave_device.h"

#include <QApplication>

#include <memory>

class RavlonApplication : public QApplication {
public:
    RavlonApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the six windows in their start-up order (main window, decay,
// response, reverberation time, warning, radius), finishes their loading and
// shows the main window. The windows live until the program ends.
// backend: the audio back end of the sound components (default: RAVLON_AUDIO
// or the sound card).
void CreateForms(
    std::shared_ptr<ravlon::audio::WaveBackend> backend = ravlon::audio::DefaultWaveBackend());
void DestroyForms();
