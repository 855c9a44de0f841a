#include "measure/level_check_run.h"

#include "core/base/numtext.h"

#include <QMetaObject>

#include <algorithm>
#include <limits>

namespace ravlon {

TLevelCheckRun::TLevelCheckRun(std::shared_ptr<audio::WaveBackend> backend)
    : play_(backend), rec_(backend) {
    play_.setnChunkSamples(4096);
    play_.setnBuffers(16);
    rec_.setnChunkSamples(4096);
    rec_.setnBuffers(16);
    play_.OnStash = [this](TWaveChunk& arr, int& used, bool&) { Stash(arr, used); };
    rec_.OnFetch = [this](TWaveChunk& arr, int used, bool&) { Fetch(arr, used); };
    play_.OnMsg = [this](TMessage& m) { DeviceMessage(m); };
    rec_.OnMsg = [this](TMessage& m) { DeviceMessage(m); };
}

TLevelCheckRun::~TLevelCheckRun() {
    StopDevices();
}

void TLevelCheckRun::Start(int32_t sampFreq, double attenuationDb) {
    Begin(sampFreq, attenuationDb, false);
}

void TLevelCheckRun::StartContinuous(int32_t sampFreq, double attenuationDb) {
    Begin(sampFreq, attenuationDb, true);
}

void TLevelCheckRun::Begin(int32_t sampFreq, double attenuationDb, bool continuous) {
    if (sampFreq < 1000 || sampFreq > 384000)
        throw ERangeError("The level check runs at 1000 ... 384000 Hz");
    gain_ = NoiseGain(attenuationDb);
    Stop();
    stretch_ = Round64(StretchSeconds * sampFreq);
    continuous_ = continuous;
    recorded_.clear();
    if (!continuous) recorded_.reserve(std::size_t(2 * stretch_));
    rng_ = TNoiseRandom(); // every check plays the same noise
    playPos_ = 0;
    recordStarted_ = false;
    play_.setsfTot(sampFreq);
    rec_.setsfTot(sampFreq);
    try {
        play_.Open();
        rec_.Open();
        play_.Start();
    } catch (...) {
        StopDevices();
        throw;
    }
}

void TLevelCheckRun::Stop() {
    StopDevices();
    finishing_ = false;
    ++run_; // an end already queued is dropped
}

// Closing after a failure must not fail again: the failure has been reported.
void TLevelCheckRun::StopDevices() noexcept {
    try {
        play_.Stop();
    } catch (const std::exception&) {
    }
    try {
        rec_.Stop();
    } catch (const std::exception&) {
    }
}

void TLevelCheckRun::Stash(TWaveChunk& arr, int& used) {
    used = std::clamp(used, 0, int(arr.size()));
    // Silence for the background, then the noise, then silence until the
    // recording is complete; setting the level: noise all the time.
    if (continuous_)
        FillNoise(rng_, arr.data(), used, playPos_, 0, int32_t(stretch_), int32_t(stretch_), gain_);
    else
        FillNoise(rng_, arr.data(), used, playPos_, int32_t(stretch_), int32_t(2 * stretch_),
                  std::numeric_limits<int32_t>::max(), gain_);
    // The input, opened with the output, starts with the first buffer.
    if (!recordStarted_) {
        recordStarted_ = true;
        rec_.Start();
    }
}

void TLevelCheckRun::Fetch(const TWaveChunk& arr, int used) {
    if (finishing_) return;
    if (continuous_) {
        if (OnBuffer)
            OnBuffer(std::span(arr.data(), std::size_t(std::clamp(used, 0, int(arr.size())))));
        return;
    }
    const std::size_t n = std::min(std::size_t(std::clamp(used, 0, int(arr.size()))),
                                   std::size_t(2 * stretch_) - recorded_.size());
    recorded_.insert(recorded_.end(), arr.begin(), arr.begin() + std::ptrdiff_t(n));
    const uint64_t run = run_;
    if (OnBuffer) OnBuffer(std::span(arr.data(), n));
    if (run != run_ || recorded_.size() < std::size_t(2 * stretch_))
        return; // stopped, or more to come
    FinishLater([this] {
        const std::span<const int16_t> all(recorded_);
        if (OnDone) OnDone(all.first(std::size_t(stretch_)), all.subspan(std::size_t(stretch_)));
    });
}

void TLevelCheckRun::DeviceMessage(const TMessage& m) {
    if (m.Msg != audio::MM_WOM_ERROR && m.Msg != audio::MM_WIM_ERROR) return;
    if (finishing_) return;
    FinishLater([this] {
        if (OnFailed) OnFailed();
    });
}

// The devices are closed outside their own message handling; a new run
// started in between makes the queued end void.
void TLevelCheckRun::FinishLater(std::function<void()> then) {
    finishing_ = true;
    QMetaObject::invokeMethod(
        &context_,
        [this, run = run_, then = std::move(then)] {
            if (run != run_) return;
            StopDevices();
            finishing_ = false;
            then();
        },
        Qt::QueuedConnection);
}

} // namespace ravlon
