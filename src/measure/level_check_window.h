// TLevelCheckForm: the check before measuring (Options > Check levels...):
// it records the background for 2 s with the output silent, then plays the
// noise for 2 s (TLevelCheckRun), and shows per octave the background, the
// noise, their margin and whether it is enough for EDT, T20 and T30
// (CheckLevels), with the advice in words. The level-setting mode plays the
// noise until stopped while the window's own input meter runs, to set the
// amplifier. A check can also run before every measurement (CheckBeforeRun).
//
// The window uses the sound devices only while no measurement runs (its
// owner calls SetMeasuring); hiding the window stops whatever it plays.
// UI thread only.
#pragma once

#include "core/measure/input_meter.h"
#include "core/measure/level_check.h"
#include "measure/level_check_run.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class TInputMeterView;

class TLevelCheckForm : public QDialog {
    Q_OBJECT
public:
    // What a start takes from the measurement: its rate and the output attenuation.
    struct Setup {
        int32_t SampFreq = 48000;
        double Attenuation = 0.0;
    };
    static constexpr int Columns = 7; // octave, background, noise, margin, EDT, T20, T30

    explicit TLevelCheckForm(std::shared_ptr<ravlon::audio::WaveBackend> backend,
                             QWidget* parent = nullptr);
    ~TLevelCheckForm() override;

    // Set by the owner. Prepare: the set-up for the next start (it raises to
    // refuse, for example for a rate that is not a number). Warn: the
    // loudspeaker warning, shown before the noise plays. OnCheckBeforeRun:
    // the user ticked or cleared "Check before every run".
    std::function<Setup()> Prepare;
    std::function<void()> Warn;
    std::function<void(bool)> OnCheckBeforeRun;

    // "Check": the warning, then the two stretches, then the results.
    void StartCheck();
    // "Set level": the warning, then the noise until switched off.
    void SetLevelSetting(bool on);
    // Ends a check or the level setting without results.
    void StopAll();
    bool Active() const { return run_.Active(); }
    bool LevelSetting() const { return run_.Active() && run_.Continuous(); }
    // While a measurement runs, nothing here can start.
    void SetMeasuring(bool measuring);

    // The check before a run (its warning was shown): the window modal while
    // it checks; true when the run goes ahead: at once when the level is
    // enough for EDT, T20 and T30 in every octave without clipping, else when
    // the user presses "Measure" after reading the results. Raises what
    // Prepare or opening the devices raises.
    bool CheckBeforeRun();

    // The last check's results, or nothing before the first.
    const std::optional<ravlon::TLevelCheck>& Result() const { return result_; }
    const ravlon::TInputMeter& Meter() const { return meter_; }
    // The results table as shown (row 0 = 63 Hz; column as in Columns).
    QString CellText(int band, int column) const;

    QPushButton* checkbutton;
    QPushButton* levelbutton;
    QPushButton* measurebutton;
    QPushButton* closebutton;
    QCheckBox* beforeruncheck;
    QLabel* statelabel;
    QLabel* advicelabel;
    TInputMeterView* meterview;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void Begin(bool continuous, bool warn);
    void Buffer(std::span<const int16_t> samples);
    void Done(std::span<const int16_t> background, std::span<const int16_t> noise);
    void Failed();
    void ShowResult();
    void UpdateControls();

    ravlon::TLevelCheckRun run_;
    ravlon::TInputMeter meter_;
    std::optional<ravlon::TLevelCheck> result_;
    Setup setup_;
    bool measuring_ = false;
    bool beforeRun_ = false;
    bool noiseShown_ = false; // the state text says the noise plays
    QLabel* cells_[8][Columns] = {};
};
