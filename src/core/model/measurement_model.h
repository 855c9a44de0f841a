// MeasurementModel: what the program's windows share about one measurement.
// It owns the FFT component and the spectrogram store with its analysis
// set-up, holds the selection (frequency, time, the two drops, the room
// volume) and the per-bin T60 evaluation, and tells its observers what
// changed. The main window fills the store; the result views read it and
// repaint when told. No window reads another window's fields.
//
// The evaluation is computed at most once per change of the store, its
// set-up or the drops, when someone first asks for it after the change, not
// in every paint. An evaluation that fails (no noise reference yet, a frame
// without spectra) keeps its failure until the next change: every reader
// gets the same exception, and the arrays keep what the evaluation had
// written when it failed.
//
// Thread: the UI thread only. Observers are called synchronously, in the
// order they subscribed; an observer may read the model and may change the
// selection (the nested notification then runs first).
#pragma once

#include "core/measure/fft.h"
#include "core/measure/input_meter.h"
#include "core/measure/spectrogram.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravlon {

// Bits of a change notification.
enum ModelChange : unsigned {
    ChangeSetup = 1u << 0, // a new set-up: rate, FFT sizes, positions, empty store
    ChangeStore =
        1u << 1, // the store's contents (a cycle, an opened recording, a repaint's noise update)
    ChangeFrequency = 1u << 2, // the selected frequency
    ChangeTime = 1u << 3,      // the selected time within the cycle
    ChangeDrops = 1u << 4,     // initial or additional drop
    ChangeVolume = 1u << 5,    // the room volume text
    ChangeClipping = 1u << 6,  // a cycle clipped for the first time (InputMeter)
};

// The per-bin results of EvaluateT60 (seconds; frames as Doubles; 0 = none).
struct T60Evaluation {
    std::vector<double> T60Values, StartFrames, EndFrames;
};

class MeasurementModel {
public:
    using Observer = std::function<void(unsigned changes)>;

    // Unsubscribes when destroyed; must not outlive the model.
    class Subscription {
    public:
        Subscription() = default;
        Subscription(Subscription&& other) noexcept;
        Subscription& operator=(Subscription&& other) noexcept;
        ~Subscription();

    private:
        friend class MeasurementModel;
        Subscription(MeasurementModel* model, uint64_t id) : model_(model), id_(id) {}
        MeasurementModel* model_ = nullptr;
        uint64_t id_ = 0;
    };

    MeasurementModel();
    MeasurementModel(const MeasurementModel&) = delete;
    MeasurementModel& operator=(const MeasurementModel&) = delete;

    // --- The analysis --------------------------------------------------------------
    TFFT& FFT() { return fft_; }
    const TFFT& FFT() const { return fft_; }
    TSpectrogram& Store() { return *store_; }
    const TSpectrogram& Store() const { return *store_; }

    // --- Selection -----------------------------------------------------------------
    double Frequency() const { return frequency_; }
    // No range check; notifies ChangeFrequency (also when the value is the same:
    // a selection by the mouse repaints every view).
    void SetFrequency(double f);
    // The frequency of the bin the views use for Frequency().
    double SnappedFrequency() const;
    double Time() const { return time_; }
    void SetTime(double t);
    // The curve time of the frame nearest to Time(); Time() without an analysis.
    double SnappedTime() const;
    double InitialDrop() const { return initialDrop_; }
    double AdditionalDrop() const { return additionalDrop_; }
    void SetInitialDrop(double v);
    void SetAdditionalDrop(double v);
    // The room volume as the user typed it (user's number format).
    const std::string& RoomVolumeText() const { return volumeText_; }
    void SetRoomVolumeText(const std::string& text);
    // The room volume in m3; raises EConvertError when the text is not a number.
    double RoomVolume() const;

    // --- Evaluation ----------------------------------------------------------------
    // The current per-bin evaluation; evaluates first when the store, its
    // set-up or the drops changed since. Raises the evaluation's failure.
    const T60Evaluation& Evaluation();
    // The arrays as the last evaluation left them, without evaluating.
    const T60Evaluation& LastEvaluation() const { return eval_; }
    // Evaluations run so far.
    uint64_t EvaluationCount() const { return evaluations_; }

    // --- Recorded samples --------------------------------------------------------
    // Every chunk the main window takes in (from the sound card or from an
    // opened recording), after the store has taken it; analysed tells
    // whether the store analysed it (the rest of a cycle beyond its last
    // whole block is not). For what follows the signal as it comes in: the
    // input meter, the time-domain band decays. Sinks run on the UI thread
    // in the order they subscribed and must not allocate per chunk.
    using SampleSink = std::function<void(const int16_t* samples, int32_t count, bool analysed)>;
    [[nodiscard]] Subscription ObserveSamples(SampleSink sink);
    void SamplesTaken(const int16_t* samples, int32_t count, bool analysed);
    // The level of those chunks, before the sinks get them: the meter, and the
    // clipped samples counted in the cycles of the store's set-up (reset by
    // ChangeSetup, so a result of cycle n is invalid when ClippedInCycle(n) > 0).
    // ChangeClipping is told once for every cycle that clips.
    const TInputMeter& InputMeter() const { return meter_; }

    // --- The recording ----------------------------------------------------------------
    // Where the analysis on display comes from, for what re-reads it (the
    // result export): File holds its samples (the temporary recording of the
    // last run or opened recording; "" while a run records into it), Name is
    // what the user knows it by (the file it was opened from or saved as; ""
    // until then), Bandwidth the analysis bandwidth it was analysed with (Hz).
    // The main window keeps it up to date; no notification.
    struct RecordingSource {
        std::string File, Name;
        double Bandwidth = 0;
    };
    RecordingSource& Recording() { return recording_; }
    const RecordingSource& Recording() const { return recording_; }

    // --- Notifications -------------------------------------------------------------
    // The owner of the store calls this after it changed the store (bits
    // ChangeSetup, ChangeStore); the evaluation is then out of date.
    void Changed(unsigned changes);
    [[nodiscard]] Subscription Observe(Observer observer);

private:
    void Notify(unsigned changes);
    void Unsubscribe(uint64_t id);

    TFFT fft_;
    std::unique_ptr<TSpectrogram> store_;
    double frequency_ = 0, time_ = 0, initialDrop_ = 0, additionalDrop_ = 0;
    std::string volumeText_ = "100";
    RecordingSource recording_;

    TInputMeter meter_;

    T60Evaluation eval_;
    bool evalValid_ = false;
    std::exception_ptr evalFailure_;
    uint64_t evaluations_ = 0;

    struct Entry {
        uint64_t id;
        std::shared_ptr<Observer> observer;
    };
    struct SinkEntry {
        uint64_t id;
        std::shared_ptr<SampleSink> sink;
    };
    std::vector<Entry> observers_;
    std::vector<SinkEntry> sinks_;
    uint64_t nextId_ = 1;
};

} // namespace ravlon
