// TAudioSetup: the sound devices in the main window. It applies the stored
// audio choice at start (telling the user once what could not be used),
// offers the audio dialog (Options > Audio devices...) and stores what the
// user accepts, names the devices in the status bar, offers the rates both
// devices support in the sampling-rate edit, applies the output attenuation
// to the measurement's noise, shows the input meter during a run and the
// clipped cycles in the status bar, and owns the check window (Options >
// Check levels..., the check before every run).
//
// The main window keeps its controls; this object adds its own beside them
// and takes them away again when it is destroyed (before the main window).
// UI thread only.
#pragma once

#include "core/model/measurement_model.h"
#include "platform/audio/chosen_backend.h"
#include "services/settings.h"

#include <QObject>
#include <QPointer>

#include <memory>

class QAction;
class QComboBox;
class QLabel;
class TAudioSettingsForm;
class TForm1;
class TInputMeterView;
class TLevelCheckForm;

namespace ravlon {

class TAudioSetup : public QObject {
    Q_OBJECT
public:
    // main: the main window (it outlives this object); backend: the back end
    // of its sound components. A ChosenWaveBackend takes the stored choice
    // and the dialog's; any other back end (tests, screenshots) stays as it
    // is, and the dialog is not offered.
    TAudioSetup(TForm1& main, std::shared_ptr<audio::WaveBackend> backend);
    ~TAudioSetup() override;

    // Applies the stored choice; a device that has gone is named once.
    void Start();
    // Options > Audio devices...: the dialog; an accepted choice is applied and stored.
    void AudioDevicesExecute();
    // Shows the check window.
    void CheckLevelsExecute();
    // The choice in use as the user made it (devices that have gone included).
    const audio::AudioSettings& Settings() const { return settings_; }

    QAction* AudioDevicesAction;
    QAction* CheckLevelsAction;
    QComboBox* RateCombo; // the drop-down of the main window's sampling-rate edit
    QPointer<TInputMeterView> MeterView;
    QPointer<QLabel> DevicesLabel;
    QPointer<QLabel> ClippingLabel;
    QPointer<TAudioSettingsForm> SettingsForm;
    QPointer<TLevelCheckForm> CheckForm;

private:
    void Apply(const audio::AudioSettings& settings, bool store);
    void ShowDevices();
    void ShowClipping();
    void RunningChanged();
    bool BeforeRun();

    TForm1& main_;
    std::shared_ptr<audio::WaveBackend> backend_;
    audio::ChosenWaveBackend* chosen_; // backend_ when it is one, else null
    TSetting store_;
    audio::AudioSettings settings_;
    MeasurementModel::Subscription samples_, changes_;
};

} // namespace ravlon
