#include "core/measure/spectrogram.h"

#include "core/base/numtext.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <string>

namespace ravlon {

namespace {

constexpr double kInt32Max = 2147483647.0; // Round of anything up to here fits 32 bits

// A number for a message, in the user's format; non-finite values by name.
std::string NumberText(double x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return x > 0 ? "INF" : "-INF";
    return FloatToStr(x);
}

void CheckDuration(double seconds, const char* what) {
    if (!std::isfinite(seconds) || seconds < 0)
        throw ESpectrogramError(std::string(what) +
                                " must be a finite number of seconds, 0 or more (got " +
                                NumberText(seconds) + ")");
}

[[noreturn]] void ThrowTooLong() {
    throw ESpectrogramError("The measurement cycle is too long: a position in the cycle would "
                            "exceed 2147483647 samples");
}

// Round(seconds * sampFreq / fftSize) * fftSize, in 64 bits; raises when the
// number of blocks is beyond 32 bits.
int64_t BlocksToSamples(double seconds, int32_t sampFreq, int32_t fftSize) {
    const double blocks = seconds * sampFreq / fftSize;
    if (!(blocks <= kInt32Max)) ThrowTooLong();
    return static_cast<int64_t>(Round(blocks)) * fftSize;
}

} // namespace

TSpectrogram::TSpectrogram(TFFT& fft) : fft_(fft) {}

// --- Checks -------------------------------------------------------------------------

void TSpectrogram::CheckSampFreq(int32_t v) {
    if (v <= 0)
        throw ESpectrogramError("Sampling rate must be greater than 0 Hz (got " +
                                std::to_string(v) + ")");
}

void TSpectrogram::CheckWindowIndex(int32_t w) {
    if (w < 0 || w > 4)
        throw ESpectrogramError("Window function index out of range (" + std::to_string(w) +
                                "): it must be 0 to 4");
}

int32_t TSpectrogram::WindowSizeFor(int32_t sampFreq, double bandwidth, int32_t window) {
    if (!std::isfinite(bandwidth) || bandwidth <= 0)
        throw ESpectrogramError("Bandwidth must be a finite number greater than 0 Hz (got " +
                                NumberText(bandwidth) + ")");
    const double size = sampFreq / bandwidth * WindowFactor[static_cast<size_t>(window)];
    // Beyond 32 bits Round would fail; such a size is out of range anyway.
    if (!(size <= kInt32Max)) throw EFFTError("Window size out of range");
    const int32_t ws = Round(size);
    if (ws > TFFT::MaxSize || ws < TFFT::MinSize) throw EFFTError("Window size out of range");
    return ws;
}

TSpectrogram::Positions TSpectrogram::PositionsFor(int32_t sampFreq, int32_t fftSize, double pre,
                                                   double noise, double post) {
    CheckDuration(pre, "Pre-noise silence");
    CheckDuration(noise, "Noise duration");
    CheckDuration(post, "Post-noise silence");
    const int64_t p1 = BlocksToSamples(pre, sampFreq, fftSize);
    const int64_t p2 = p1 + BlocksToSamples(noise, sampFreq, fftSize);
    const int64_t p3 = p2 + BlocksToSamples(post, sampFreq, fftSize);
    if (p3 > std::numeric_limits<int32_t>::max()) ThrowTooLong();
    CheckStoreSize(static_cast<int32_t>(p3), fftSize);
    return {static_cast<int32_t>(p1), static_cast<int32_t>(p2), static_cast<int32_t>(p3)};
}

void TSpectrogram::CheckPositions(int32_t pos1, int32_t pos2, int32_t pos3) {
    if (pos1 < 0 || pos2 < pos1 || pos3 < pos2)
        throw ESpectrogramError("Invalid cycle positions (pos1 " + std::to_string(pos1) +
                                ", pos2 " + std::to_string(pos2) + ", pos3 " +
                                std::to_string(pos3) +
                                "): they must satisfy 0 <= pos1 <= pos2 <= pos3");
}

void TSpectrogram::CheckStoreSize(int32_t pos3, int32_t fftSize) {
    const int64_t frames = pos3 / fftSize;
    if (frames < 1)
        throw ESpectrogramError("The measurement cycle (" + std::to_string(pos3) +
                                " samples) is shorter than one block of " +
                                std::to_string(fftSize) +
                                " samples: the spectrogram would have no frames");
    const int64_t bytes = frames * (fftSize / 2) * static_cast<int64_t>(sizeof(double));
    if (bytes > MaxStoreBytes)
        throw ESpectrogramError("The measurement cycle is too long: the spectrogram would take " +
                                std::to_string((bytes + (1 << 20) - 1) >> 20) +
                                " MiB of memory, more than 1024 MiB");
}

// --- Set-up steps ---------------------------------------------------------------------

void TSpectrogram::SetSampFreq(int32_t v) {
    CheckSampFreq(v);
    sampFreq_ = v;
}

void TSpectrogram::SetupWindow(int32_t windowIndex) {
    CheckWindowIndex(windowIndex);
    fft_.SetWindow(static_cast<TFFTWindow>(windowIndex));
}

void TSpectrogram::SetupFFTSize() {
    fft_.SetFFTSize(16);
}

void TSpectrogram::SetupWindowSize(double bandwidth) {
    fft_.SetWindowSize(WindowSizeFor(sampFreq_, bandwidth, static_cast<int32_t>(fft_.Window())));
}

void TSpectrogram::SetupPositions(double preNoise, double noise, double postNoise) {
    const Positions p = PositionsFor(sampFreq_, fft_.FFTSize(), preNoise, noise, postNoise);
    pos1_ = p.p1;
    pos2_ = p.p2;
    pos3_ = p.p3;
}

void TSpectrogram::SetPositions(int32_t pos1, int32_t pos2, int32_t pos3) {
    CheckPositions(pos1, pos2, pos3);
    pos1_ = pos1;
    pos2_ = pos2;
    pos3_ = pos3;
}

void TSpectrogram::ClearStore() {
    const int32_t fftSize = fft_.FFTSize();
    CheckStoreSize(pos3_, fftSize);
    const int32_t frames = pos3_ / fftSize;
    const int32_t bins = fftSize / 2;
    // Build first, then swap in: an allocation failure leaves the store as it was.
    std::vector<double> specSum(static_cast<size_t>(frames) * static_cast<size_t>(bins), 0.0);
    std::vector<int32_t> specCount(static_cast<size_t>(frames), 0);
    std::vector<double> noiseSpecSum(static_cast<size_t>(bins), 0.0);
    std::vector<double> blockBuf(static_cast<size_t>(fftSize), 0.0);
    specSum_.swap(specSum);
    specCount_.swap(specCount);
    noiseSpecSum_.swap(noiseSpecSum);
    blockBuf_.swap(blockBuf);
    frames_ = frames;
    bins_ = bins;
}

void TSpectrogram::ResetCounters() {
    playPos_ = 0;
    blockFill_ = 0;
    frameIndex_ = 0;
    noiseSpecCount_ = 0;
}

void TSpectrogram::RequestRepaint() {
    ++repaintRequests_;
    if (OnRepaintRequest) OnRepaintRequest();
}

TSpectrogram::RunPlan TSpectrogram::PlanWindow(int32_t sampFreq, int32_t window, double bandwidth) {
    CheckSampFreq(sampFreq);
    CheckWindowIndex(window);
    RunPlan plan;
    plan.WindowSize = WindowSizeFor(sampFreq, bandwidth, window);
    // FFTSize := 16, then the WindowSize setter raises it to hold the window.
    plan.FFTSize =
        plan.WindowSize <= 16
            ? 16
            : static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(plan.WindowSize)));
    return plan;
}

TSpectrogram::RunPlan TSpectrogram::PlanPositions(RunPlan plan, Positions p) {
    plan.Pos1 = p.p1;
    plan.Pos2 = p.p2;
    plan.Pos3 = p.p3;
    plan.Frames = p.p3 / plan.FFTSize;
    plan.Bins = plan.FFTSize / 2;
    return plan;
}

TSpectrogram::RunPlan TSpectrogram::CheckRun(const RunSettings& s) {
    const RunPlan plan = PlanWindow(s.SampFreq, s.Window, s.Bandwidth);
    return PlanPositions(plan,
                         PositionsFor(s.SampFreq, plan.FFTSize, s.PreNoise, s.Noise, s.PostNoise));
}

TSpectrogram::RunPlan TSpectrogram::CheckOpen(const OpenSettings& s) {
    const RunPlan plan = PlanWindow(s.SampFreq, s.Window, s.Bandwidth);
    CheckPositions(s.Pos1, s.Pos2, s.Pos3);
    CheckStoreSize(s.Pos3, plan.FFTSize);
    return PlanPositions(plan, {s.Pos1, s.Pos2, s.Pos3});
}

void TSpectrogram::SetupRun(const RunSettings& s) {
    const RunPlan plan = CheckRun(s);
    SetSampFreq(s.SampFreq);
    SetupWindow(s.Window);
    SetupFFTSize();
    fft_.SetWindowSize(plan.WindowSize);
    pos1_ = plan.Pos1;
    pos2_ = plan.Pos2;
    pos3_ = plan.Pos3;
    ClearStore();
    ResetCounters();
    RequestRepaint();
}

// --- Analysis ---------------------------------------------------------------------------

void TSpectrogram::AddSamples(const int16_t* arr, int32_t used) {
    if (used < 0)
        throw ESpectrogramError("AddSamples: negative sample count (" + std::to_string(used) + ")");
    if (used == 0) return;
    if (arr == nullptr) throw ESpectrogramError("AddSamples: no sample array");
    if (frames_ < 1)
        throw ESpectrogramError(
            "AddSamples before the analysis set-up: the spectrogram store has no frames");
    const int32_t blockSize = BlockSize();
    double* buf = blockBuf_.data();
    int32_t i = 0;
    while (i < used) {
        const int32_t take = std::min(used - i, blockSize - blockFill_);
        double* dst = buf + blockFill_;
        for (int32_t k = 0; k < take; ++k) dst[k] = static_cast<double>(arr[i + k]);
        blockFill_ += take;
        i += take;
        if (blockFill_ >= blockSize) ProcessBlock();
    }
}

void TSpectrogram::ProcessBlock() {
    fft_.SetData(blockBuf_);
    const std::span<const double> p = fft_.GetPower();
    if (p.size() < static_cast<size_t>(bins_))
        throw ERangeError("FFT power shorter than the spectrogram rows");
    double* row = specSum_.data() + static_cast<size_t>(frameIndex_) * static_cast<size_t>(bins_);
    const double* src = p.data();
    for (int32_t b = 0; b < bins_; ++b) row[b] += src[b];
    ++specCount_[static_cast<size_t>(frameIndex_)];
    ++frameIndex_;
    blockFill_ = 0;
    if (frameIndex_ > frames_ - 1) {
        frameIndex_ = 0;
        RequestRepaint();
    }
}

void TSpectrogram::UpdateNoiseReference() {
    if (frames_ < 1) return;
    const int32_t blockSize = BlockSize();
    const int32_t first = pos1_ / blockSize;
    const int32_t last = std::min(pos2_ / blockSize, frames_ - 1);
    for (int32_t f = first; f <= last; ++f) {
        const double* row = specSum_.data() + static_cast<size_t>(f) * static_cast<size_t>(bins_);
        for (int32_t b = 0; b < bins_; ++b) noiseSpecSum_[static_cast<size_t>(b)] += row[b];
        noiseSpecCount_ += specCount_[static_cast<size_t>(f)];
    }
}

void TSpectrogram::AddSpectrum(int32_t frame, std::span<const double> power) {
    if (frame < 0 || frame >= frames_) throw ERangeError("Spectrogram frame out of range");
    if (power.size() < static_cast<size_t>(bins_))
        throw ERangeError("Spectrum shorter than a spectrogram row");
    double* row = specSum_.data() + static_cast<size_t>(frame) * static_cast<size_t>(bins_);
    for (int32_t b = 0; b < bins_; ++b) row[b] += power[static_cast<size_t>(b)];
    ++specCount_[static_cast<size_t>(frame)];
}

void TSpectrogram::FillNoise(TNoiseRandom& rng, int16_t* arr, int32_t used) {
    ravlon::FillNoise(rng, arr, used, playPos_, pos1_, pos2_, pos3_, noiseGain_);
}

void TSpectrogram::SetNoiseAttenuation(double dB) {
    noiseGain_ = NoiseGain(dB);
    noiseAttenuation_ = dB;
}

std::span<const double> TSpectrogram::SpecSum(int32_t f) const {
    if (f < 0 || f >= frames_) throw ERangeError("Spectrogram frame out of range");
    return {specSum_.data() + static_cast<size_t>(f) * static_cast<size_t>(bins_),
            static_cast<size_t>(bins_)};
}

} // namespace ravlon
