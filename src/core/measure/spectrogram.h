// The spectrogram store and its analysis, without Qt: the main
// window owns one TSpectrogram next to its FFT component FFT1 and calls the
// set-up steps, AddSamples and the noise reference update; the result views
// read the store. See docs/analysis.md.
//
// Thread: everything runs on the UI thread (the owner's); nothing locks.
//
// Ownership: the store refers to the owner's TFFT (FFT1), which must outlive it;
// every block goes through that component (SetData + GetPower).
//
// Repaint requests: the store requests a repaint of the spectrogram at the end
// of every set-up and whenever AddSamples completes a cycle (FrameIndex wraps to 0). A
// request increments RepaintRequests() and then calls OnRepaintRequest, if set,
// synchronously on the calling thread. The owner only schedules the repaint
// there (e.g. QWidget::update); the callback must not call back into this
// store's set-up or AddSamples and should not throw (an exception propagates
// out of AddSamples after the block has been fully counted; the rest of that
// chunk is then not taken in).
//
// Layout: SpecSum is one contiguous frames x bins array of Doubles, row f at
// f * bins; frames and bins are fixed when the store is cleared (ClearStore)
// and stay until the next successful clear. BlockSize() is the FFTSize the
// store was built for (bins * 2); AddSamples and the noise reference update
// use it, so a set-up that fails after changing FFT1's sizes never makes them
// index past the store.
//
// Errors: bad input raises ESpectrogramError (or EFFTError "Window size out of
// range" from the window size step) before anything is changed.
#pragma once

#include "core/base/errors.h"
#include "core/measure/fft.h"
#include "core/measure/noise_generator.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace ravlon {

// Errors of the analysis set-up and of AddSamples, with readable messages.
class ESpectrogramError : public Exception {
public:
    using Exception::Exception;
};

class TSpectrogram {
public:
    // Bandwidth factor per TFFTWindow ordinal: rectangular, Bartlett,
    // Hamming, Hanning, Blackman.
    static constexpr std::array<double, 5> WindowFactor{1.0, 2.0, 2.0, 2.0, 4.0};
    // Largest SpecSum accepted: 1 GiB.
    static constexpr int64_t MaxStoreBytes = int64_t{1} << 30;

    explicit TSpectrogram(TFFT& fft);
    TSpectrogram(const TSpectrogram&) = delete;
    TSpectrogram& operator=(const TSpectrogram&) = delete;

    TFFT& FFT() const { return fft_; }

    // --- Repaint requests ------------------------------------------------------
    std::function<void()> OnRepaintRequest;
    uint64_t RepaintRequests() const { return repaintRequests_; }

    // --- Analysis set-up, one call per step, in this order -----------------
    // Each step checks its own input first and changes nothing when it raises.
    // The sampling rate (Hz, > 0); the main window's SetSampFreq calls it
    // before the other steps.
    void SetSampFreq(int32_t v);
    // FFT1.Window := the window-function index (0 .. 4).
    void SetupWindow(int32_t windowIndex);
    // FFT1.FFTSize := 16, so that the window size step makes it the smallest
    // power of two that holds the window.
    void SetupFFTSize();
    // FFT1.WindowSize := Round(SampFreq / bandwidth * WindowFactor[FFT1.Window]).
    // bandwidth (Hz) must be finite and > 0 (ESpectrogramError); a window size
    // below 2 or above 2^20 raises EFFTError "Window size out of range".
    void SetupWindowSize(double bandwidth);
    // The positions of a run: the three durations in seconds (finite, >= 0), each
    // rounded to whole blocks of FFT1.FFTSize. Refused when the cycle would give
    // no frames, a position beyond 32 bits or a store over 1 GiB.
    void SetupPositions(double preNoise, double noise, double postNoise);
    // The positions of an opened recording, as read from the file;
    // refused unless 0 <= pos1 <= pos2 <= pos3.
    void SetPositions(int32_t pos1, int32_t pos2, int32_t pos3);
    // SpecSum := frames x bins zeros, SpecCount := frames zeros,
    // NoiseSpecSum := bins zeros, BlockBuf := FFTSize, with frames = Pos3 div
    // FFT1.FFTSize and bins = FFT1.FFTSize div 2. Refused (store untouched) when
    // frames would be 0 or the store over 1 GiB.
    void ClearStore();
    // PlayPos, BlockFill, FrameIndex, NoiseSpecCount := 0.
    void ResetCounters();
    // The set-up's last step; also used by AddSamples at the end of every cycle.
    void RequestRepaint();

    // --- Whole set-up of a run in one call, all or nothing -----------------------------
    struct RunSettings {
        int32_t SampFreq = 48000;
        int32_t Window = 3; // TFFTWindow ordinal (windowcombo index)
        double Bandwidth = 500.0;
        double PreNoise = 1.0, Noise = 1.0, PostNoise = 1.0; // seconds
    };
    // What a run set-up (or the set-up for an opened recording) would apply.
    struct RunPlan {
        int32_t WindowSize = 0, FFTSize = 0;
        int32_t Pos1 = 0, Pos2 = 0, Pos3 = 0;
        int32_t Frames = 0, Bins = 0;
    };
    // Checks every setting and computes the result; changes nothing. Raises the
    // errors of the single steps.
    static RunPlan CheckRun(const RunSettings& s);
    // The settings of an opened recording: its rate and positions as read from
    // the file, the window and bandwidth of the main window.
    struct OpenSettings {
        int32_t SampFreq = 0;
        int32_t Window = 3;
        double Bandwidth = 500.0;
        int32_t Pos1 = 0, Pos2 = 0, Pos3 = 0;
    };
    // The same checks for an opened recording (the positions used as they
    // are); changes nothing.
    static RunPlan CheckOpen(const OpenSettings& s);
    // The checked rate, window and window size, and the FFT size they give
    // (the positions left 0); changes nothing.
    static RunPlan PlanWindow(int32_t sampFreq, int32_t window, double bandwidth);
    // CheckRun, then SetSampFreq and every set-up step in order.
    void SetupRun(const RunSettings& s);

    // --- Analysis ------------------------------------------------------------------------
    // Takes arr[0 .. used-1] (16-bit samples, one channel) into the analysis:
    // every completed block of BlockSize() samples is transformed and added to
    // row FrameIndex. Raises ESpectrogramError when the store has no frames (no
    // successful set-up) or used < 0. No allocation.
    void AddSamples(const int16_t* arr, int32_t used);
    void AddSamples(std::span<const int16_t> arr) {
        AddSamples(arr.data(), static_cast<int32_t>(arr.size()));
    }
    // Noise reference update (start of every spectrogram repaint): adds the rows
    // Pos1 div BlockSize() .. Pos2 div BlockSize() (both included, not beyond the
    // last frame) into NoiseSpecSum and their counts into NoiseSpecCount.
    void UpdateNoiseReference();
    // Adds one power spectrum (at least Bins() values; bin b at index b) to row
    // frame and counts it, as AddSamples does for a block. For tools and tests
    // that build a store from spectra. ERangeError for a frame outside the store
    // or a short spectrum.
    void AddSpectrum(int32_t frame, std::span<const double> power);
    // The noise generator for one output buffer, on this store's PlayPos and
    // positions and with its output attenuation (FillNoise of noisegen.h).
    void FillNoise(TNoiseRandom& rng, int16_t* arr, int32_t used);
    // The output attenuation of the noise in dB (0 = full scale, the default);
    // raises ERangeError as NoiseGain does and then keeps the old value.
    void SetNoiseAttenuation(double dB);
    double NoiseAttenuation() const { return noiseAttenuation_; }

    // --- The store (read access; the store's field names)
    // -----------------------------------------
    int32_t SampFreq() const { return sampFreq_; }
    int32_t Pos1() const { return pos1_; }
    int32_t Pos2() const { return pos2_; }
    int32_t Pos3() const { return pos3_; }
    int32_t Frames() const { return frames_; }
    int32_t Bins() const { return bins_; }
    int32_t BlockSize() const { return static_cast<int32_t>(blockBuf_.size()); }
    // Row f of SpecSum (Bins() values); ERangeError outside 0 .. Frames()-1.
    std::span<const double> SpecSum(int32_t f) const;
    // All of SpecSum, row after row.
    std::span<const double> SpecSumData() const { return specSum_; }
    const std::vector<int32_t>& SpecCount() const { return specCount_; }
    const std::vector<double>& NoiseSpecSum() const { return noiseSpecSum_; }
    // Held in 64 bits: it grows by a cycle's noise counts at every repaint and
    // would pass 2^31 within hours of a long run.
    int64_t NoiseSpecCount() const { return noiseSpecCount_; }
    std::span<const double> BlockBuf() const { return blockBuf_; }
    int32_t BlockFill() const { return blockFill_; }
    int32_t FrameIndex() const { return frameIndex_; }
    int32_t PlayPos() const { return playPos_; }

private:
    struct Positions {
        int32_t p1, p2, p3;
    };
    static void CheckSampFreq(int32_t v);
    static void CheckWindowIndex(int32_t w);
    static int32_t WindowSizeFor(int32_t sampFreq, double bandwidth, int32_t window);
    static Positions PositionsFor(int32_t sampFreq, int32_t fftSize, double pre, double noise,
                                  double post);
    static void CheckPositions(int32_t pos1, int32_t pos2, int32_t pos3);
    static void CheckStoreSize(int32_t pos3, int32_t fftSize);
    // plan with these positions and the frames and bins they give.
    static RunPlan PlanPositions(RunPlan plan, Positions p);
    void ProcessBlock();

    TFFT& fft_;
    uint64_t repaintRequests_ = 0;

    int32_t sampFreq_ = 0;
    int32_t pos1_ = 0, pos2_ = 0, pos3_ = 0;
    int32_t frames_ = 0, bins_ = 0;
    std::vector<double> specSum_;
    std::vector<int32_t> specCount_;
    std::vector<double> noiseSpecSum_;
    int64_t noiseSpecCount_ = 0;
    std::vector<double> blockBuf_;
    int32_t blockFill_ = 0;
    int32_t frameIndex_ = 0;
    int32_t playPos_ = 0;
    double noiseAttenuation_ = 0.0;
    double noiseGain_ = 1.0;
};

} // namespace ravlon
