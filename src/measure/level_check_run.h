// TLevelCheckRun: the recordings of the check before measuring. It records
// the background for StretchSeconds with the output silent, then plays the
// measurement's noise (its generator, with the output attenuation) for
// StretchSeconds, and hands both recorded stretches to OnDone; CheckLevels
// (core/measure/level_check.h) turns them into margins and advice.
//
// It drives a TMPCPlay/TMPCRecord pair of its own on the back end it is given,
// mono at the measurement's rate, started like a measurement (the recording
// starts with the first output buffer), so it runs while no measurement holds
// the devices. The loudspeaker warning is the caller's, before Start.
//
// UI thread only. The callbacks run on the UI thread: OnBuffer for every
// recorded buffer (for the input meter), OnDone once both stretches are
// complete and the devices are closed (a queued call, so OnDone may start
// another check). A device that fails stops the check and calls OnFailed; the
// sound component's own message ("waveinWrite:<device>: <reason>") reaches the
// application's exception handler as during a measurement.
#pragma once

#include "core/measure/noise_generator.h"
#include "measure/wave_play_record.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace ravlon {

class TLevelCheckRun {
public:
    static constexpr double StretchSeconds = 2.0;

    explicit TLevelCheckRun(std::shared_ptr<audio::WaveBackend> backend);
    ~TLevelCheckRun();
    TLevelCheckRun(const TLevelCheckRun&) = delete;
    TLevelCheckRun& operator=(const TLevelCheckRun&) = delete;

    // Opens both devices at sampFreq (Hz) and starts. Raises ERangeError for
    // a bad attenuation (NoiseGain) or rate (1000 ... 384000 Hz) and
    // EMPCError when a device cannot be opened (nothing is left open).
    void Start(int32_t sampFreq, double attenuationDb);
    // The level-setting mode: the noise plays from the first buffer until
    // Stop, and the recording goes to OnBuffer only (OnDone is never
    // called). Raises as Start.
    void StartContinuous(int32_t sampFreq, double attenuationDb);
    bool Continuous() const { return continuous_; }
    // Ends a check early: both devices are closed, OnDone is not called.
    void Stop();
    bool Active() const { return play_.Active() || rec_.Active() || finishing_; }

    // Progress: samples recorded of the whole check (both stretches), and
    // whether the noise stretch is being recorded.
    int64_t Recorded() const { return int64_t(recorded_.size()); }
    int64_t Total() const { return 2 * stretch_; }
    bool RecordingNoise() const { return Recorded() >= stretch_; }

    std::function<void(std::span<const int16_t> samples)> OnBuffer;
    std::function<void(std::span<const int16_t> background, std::span<const int16_t> noise)> OnDone;
    std::function<void()> OnFailed;

private:
    void Begin(int32_t sampFreq, double attenuationDb, bool continuous);
    void Stash(TWaveChunk& arr, int& used);
    void Fetch(const TWaveChunk& arr, int used);
    void DeviceMessage(const TMessage& m);
    void StopDevices() noexcept;
    void FinishLater(std::function<void()> then);

    TMPCPlay play_;
    TMPCRecord rec_;
    TNoiseRandom rng_;
    double gain_ = 1.0;
    int64_t stretch_ = 0; // samples per stretch
    int32_t playPos_ = 0;
    bool recordStarted_ = false;
    bool continuous_ = false;
    std::vector<int16_t> recorded_;
    bool finishing_ = false; // complete or failed: the queued end is pending
    uint64_t run_ = 0;       // counts Stop calls, so a queued end knows it is stale
    QObject context_;        // queued calls die with the object
};

} // namespace ravlon
