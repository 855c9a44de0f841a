// TAudioSettingsForm: the audio settings dialog (Options > Audio devices...):
// the audio system, the output and the input device with their channel, the
// simulated room's settings line, and the output attenuation of the noise.
//
// The dialog only edits a choice (AudioSettings); its owner fills it with the
// devices present and the stored choice, and stores and applies what the
// user accepts. A device or system of the choice that is not present is
// listed as "(not present)", so accepting the dialog for another setting
// keeps it for when it comes back. UI thread only.
#pragma once

#include "platform/audio/audio_settings.h"

#include <QDialog>

#include <optional>
#include <string>
#include <vector>

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class TAudioSettingsForm : public QDialog {
    Q_OBJECT
public:
    explicit TAudioSettingsForm(QWidget* parent = nullptr);

    // systems: the devices present (EnumerateAudioSystems); only the usable
    // systems are offered. environment: RAVLON_AUDIO's value when it is set
    // (the dialog says that it decides instead).
    void SetChoice(const std::vector<ravlon::audio::AudioSystemInfo>& systems,
                   const ravlon::audio::AudioSettings& choice,
                   const std::optional<std::string>& environment = std::nullopt);
    // The choice the controls show.
    ravlon::audio::AudioSettings Choice() const;

    QLabel* environmentlabel;
    QComboBox* systemcombo;
    QComboBox* outdevicecombo;
    QSpinBox* outchannelspin;
    QComboBox* indevicecombo;
    QSpinBox* inchannelspin;
    QLineEdit* roomedit;
    QDoubleSpinBox* attenuationspin;

    // OK: a room settings line that cannot be read is named, and the dialog stays.
    void accept() override;

private:
    void FillDevices();
    void FillDevices(QComboBox* combo, bool output);
    void FillChannels(QComboBox* combo, QSpinBox* spin, int wanted);
    const ravlon::audio::AudioSystemInfo* CurrentSystem() const;

    std::vector<ravlon::audio::AudioSystemInfo> systems_;
    ravlon::audio::AudioSettings wanted_;
};
