#include "core/bands/band_decays.h"

#include "core/base/numtext.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace ravlon {

namespace {

constexpr int32_t kChunk = 4096;            // samples converted and filtered at a time
constexpr int32_t kRead = 16384;            // samples read from a file at a time
constexpr int64_t kMaxSumBytes = 1ll << 30; // as the spectrogram store

} // namespace

void TBandDecays::Setup(int32_t sampFreq, int32_t pos1, int32_t pos2, int32_t pos3,
                        const TBandDecayOptions& options) {
    if (sampFreq <= 0)
        throw EBandDecayError("Sampling rate " + std::to_string(sampFreq) + " Hz is not positive");
    if (!(0 <= pos1 && pos1 <= pos2 && pos2 <= pos3 && pos3 > 0))
        throw EBandDecayError("Cycle positions " + std::to_string(pos1) + ", " +
                              std::to_string(pos2) + ", " + std::to_string(pos3) +
                              " are not 0 <= pos1 <= pos2 <= pos3, pos3 > 0");
    if (!(options.Smoothing > 0 && options.Smoothing <= 1.0))
        throw EBandDecayError("Smoothing window " + std::to_string(options.Smoothing) +
                              " s is not within 0 .. 1 s");
    const int32_t pointRate = std::min(sampFreq, 1000);
    const auto bins =
        static_cast<int32_t>((static_cast<int64_t>(pos3) * pointRate + sampFreq - 1) / sampFreq);
    std::vector<TBand> bands = BandsWithin(options.Set, sampFreq);
    std::vector<TBandFilter> filters;
    for (const TBand& band : bands) filters.push_back(TBandFilter::Design(band, sampFreq));
    const int64_t stride = 4 * ((static_cast<int64_t>(bands.size()) + 3) / 4);
    if (static_cast<int64_t>(bins) * stride * static_cast<int64_t>(sizeof(double)) > kMaxSumBytes)
        throw EBandDecayError("The band sums of a " + std::to_string(pos3) +
                              "-sample cycle would take over 1 GiB");
    std::vector<double> sums(static_cast<size_t>(bins * stride));
    std::vector<int64_t> counts(static_cast<size_t>(bins));
    std::vector<double> chunk(kChunk);
    std::vector<TBandRun> runs(kChunk);
    bank_.Setup(filters);

    options_ = options;
    bands_ = std::move(bands);
    rate_ = sampFreq;
    pos1_ = pos1;
    pos2_ = pos2;
    pos3_ = pos3;
    pointRate_ = pointRate;
    bins_ = bins;
    window_ = std::clamp(static_cast<int32_t>(std::lround(options.Smoothing * pointRate)), 1, bins);
    sums_ = std::move(sums);
    counts_ = std::move(counts);
    chunk_ = std::move(chunk);
    runs_ = std::move(runs);
    Reset();
}

void TBandDecays::Reset() {
    std::fill(sums_.begin(), sums_.end(), 0.0);
    std::fill(counts_.begin(), counts_.end(), 0);
    bank_.Reset();
    cycles_ = 0;
    const bool reversed = options_.Direction == TFilterDirection::Reversed;
    pos_ = reversed ? pos3_ - 1 : 0;
    bin_ = reversed ? bins_ - 1 : 0;
}

void TBandDecays::AddSamples(const int16_t* samples, int32_t n) {
    Take(samples, n, true);
}

void TBandDecays::WarmUp(const int16_t* samples, int32_t n) {
    Take(samples, n, false);
}

void TBandDecays::Take(const int16_t* samples, int32_t n, bool count) {
    if (bins_ == 0) return;
    const int32_t stride = bank_.Stride();
    const bool reversed = options_.Direction == TFilterDirection::Reversed;
    while (n > 0) {
        const int32_t m = std::min(n, kChunk);
        for (int32_t i = 0; i < m; ++i) chunk_[static_cast<size_t>(i)] = samples[i];
        size_t nruns = 0;
        // Split the chunk where it crosses a bin boundary: every run adds to one bin.
        for (int32_t left = count ? m : 0; left > 0;) {
            int32_t run;
            if (!reversed) {
                const auto end = static_cast<int32_t>(std::min<int64_t>(BinStart(bin_ + 1), pos3_));
                run = std::min(left, end - pos_);
            } else {
                run = std::min(left, pos_ - static_cast<int32_t>(BinStart(bin_)) + 1);
            }
            runs_[nruns++] = {run, sums_.data() + static_cast<size_t>(bin_) * stride};
            counts_[static_cast<size_t>(bin_)] += run;
            left -= run;
            if (!reversed) {
                pos_ += run;
                if (pos_ == pos3_) {
                    pos_ = bin_ = 0;
                    ++cycles_;
                } else if (pos_ == BinStart(bin_ + 1)) {
                    ++bin_;
                }
            } else {
                pos_ -= run;
                if (pos_ < 0) {
                    pos_ = pos3_ - 1;
                    bin_ = bins_ - 1;
                    ++cycles_;
                } else if (pos_ < BinStart(bin_)) {
                    --bin_;
                }
            }
        }
        if (!count) runs_[nruns++] = {m, nullptr};
        bank_.Run(chunk_.data(), m, {runs_.data(), nruns});
        samples += m;
        n -= m;
    }
}

namespace {

// The point at which the noise stop reaches the microphone, from one band's
// mean power: the sound card's latency and the sound's travel delay it
// against the played stop, and until it arrives the level is still the steady
// one, which EDT must not take for decay. A line through the band's first fall
// from -1 to -6 dB, taken back to 0 dB; not before the played stop. -1 when
// the band shows no such fall.
int32_t Onset(std::span<const double> power, double step, double time0, const TCurvePoints& at) {
    TBandResult band;
    EvaluateDecay(power, step, time0, at, band);
    if (band.Decay.Level.empty()) return -1;
    const TDecayFit line = FitDecay(band.Decay.Level, at.DecayStart, step, TDecayRange{-1.0, -6.0},
                                    TDecayFit::None, time0);
    if (!(line.Slope < 0) || line.FirstFrame < 0) return -1;
    const double arrival = -line.Intercept / line.Slope;
    const auto k = static_cast<int32_t>(std::ceil((arrival - time0) / step - 1e-9));
    return std::clamp(k, at.DecayStart, line.FirstFrame);
}

} // namespace

std::vector<TBandResult> TBandDecays::Evaluate() const {
    std::vector<TBandResult> results(bands_.size());
    for (size_t b = 0; b < bands_.size(); ++b) results[b].Band = bands_[b];
    if (cycles_ == 0) {
        for (TBandResult& r : results)
            for (TDecayFit* f : {&r.EDT, &r.T20, &r.T30})
                f->Problems |= fpNoSteadyLevel | fpNotReached;
        return results;
    }
    // Point k: the mean over the samples of bins k .. k + window_ - 1.
    const int32_t points = bins_ - window_ + 1;
    const auto windowEnd = [&](int32_t k) {
        return std::min<int64_t>(BinStart(k + window_), pos3_);
    };
    const auto centre = [&](int32_t k) { return (BinStart(k) + windowEnd(k)) / 2.0; };
    TCurvePoints at;
    at.NoiseFirst = at.NoiseEnd = at.DecayStart = points;
    for (int32_t k = points - 1; k >= 0; --k) {
        if (BinStart(k) >= pos1_) at.NoiseFirst = k;
        if (windowEnd(k) > pos2_) at.NoiseEnd = k;
        if (centre(k) >= pos2_) at.DecayStart = k;
    }
    std::vector<double> samples(static_cast<size_t>(points));
    for (int32_t k = 0; k < points; ++k)
        for (int32_t j = 0; j < window_; ++j)
            samples[static_cast<size_t>(k)] +=
                static_cast<double>(counts_[static_cast<size_t>(k + j)]);
    const int32_t stride = bank_.Stride();
    const double step = 1.0 / pointRate_;
    const double time0 = (centre(0) - pos2_) / rate_;
    std::vector<std::vector<double>> power(bands_.size());
    for (size_t b = 0; b < bands_.size(); ++b) {
        power[b].resize(static_cast<size_t>(points));
        for (int32_t k = 0; k < points; ++k) {
            double sum = 0;
            for (int32_t j = 0; j < window_; ++j)
                sum += sums_[static_cast<size_t>(k + j) * stride + b];
            power[b][static_cast<size_t>(k)] = sum / samples[static_cast<size_t>(k)];
        }
    }
    // The widest band shows the stop the most sharply: its filter rings the
    // shortest and its level fluctuates the least.
    for (size_t b = bands_.size(); b-- > 0;) {
        const int32_t onset = Onset(power[b], step, time0, at);
        if (onset < 0) continue;
        at.DecayStart = onset;
        break;
    }
    for (size_t b = 0; b < bands_.size(); ++b) EvaluateDecay(power[b], step, time0, at, results[b]);
    return results;
}

// --- Whole recordings ---------------------------------------------------------------------

namespace {

// read(pos, out, n): copies up to n samples from position pos on, returns how many.
template <class Read> int64_t CompleteCycles(Read& read, int32_t pos3) {
    int16_t one;
    const auto has = [&](int64_t cycles) { return read(cycles * pos3 - 1, &one, 1) == 1; };
    int64_t lo = 0, hi = 1; // has(lo) (or lo == 0), and hi is to be tested
    while (has(hi)) {
        lo = hi;
        hi *= 2;
    }
    while (hi - lo > 1) {
        const int64_t mid = lo + (hi - lo) / 2;
        (has(mid) ? lo : hi) = mid;
    }
    return lo;
}

template <class Read> TBandDecayResult Feed(TBandDecays& decays, Read& read) {
    TBandDecayResult result;
    std::vector<int16_t> buf(kRead);
    if (decays.Options().Direction == TFilterDirection::Forward) {
        for (int64_t pos = 0;;) {
            const int32_t got = read(pos, buf.data(), kRead);
            decays.AddSamples(buf.data(), got);
            pos += got;
            result.Samples += got;
            if (got < kRead) break;
        }
    } else {
        const int32_t pos3 = decays.Pos3();
        const int64_t cycles = CompleteCycles(read, pos3);
        // Feeds [begin, end) from its end backwards; false when the data ended early.
        const auto backwards = [&](int64_t begin, int64_t end, bool take) {
            while (end > begin) {
                const auto n = static_cast<int32_t>(std::min<int64_t>(kRead, end - begin));
                if (read(end - n, buf.data(), n) != n) return false;
                std::reverse(buf.begin(), buf.begin() + n);
                if (take) {
                    decays.AddSamples(buf.data(), n);
                    result.Samples += n;
                } else {
                    decays.WarmUp(buf.data(), n);
                }
                end -= n;
            }
            return true;
        };
        if (cycles > 0 && backwards(0, pos3, false))
            for (int64_t c = cycles; c-- > 0;)
                if (!backwards(c * pos3, (c + 1) * pos3, true)) break;
    }
    result.Cycles = decays.Cycles();
    result.Bands = decays.Evaluate();
    return result;
}

} // namespace

TBandDecayResult EvaluateRecordingBands(TSMPfile& file, const TBandDecayOptions& options) {
    const int32_t rate = Round(file.channel_rate(0));
    const int32_t p1 = StrToInt(file.get_item("pos1"));
    const int32_t p2 = StrToInt(file.get_item("pos2"));
    const int32_t p3 = StrToInt(file.get_item("pos3"));
    TBandDecays decays;
    decays.Setup(rate, p1, p2, p3, options);
    auto block = std::make_unique<TSMPBlock>();
    const auto read = [&](int64_t pos, int16_t* out, int32_t n) -> int32_t {
        if (pos < 0 || pos > std::numeric_limits<int32_t>::max()) return 0;
        file.set_position(0, static_cast<int32_t>(pos));
        file.setChunknSamples(n);
        file.read_block(0, *block);
        const int32_t got = std::clamp(block->Count, 0, n);
        std::memcpy(out, block->Samples, sizeof(int16_t) * static_cast<size_t>(got));
        return got;
    };
    return Feed(decays, read);
}

TBandDecayResult EvaluateSampleBands(std::span<const int16_t> samples, int32_t sampFreq,
                                     int32_t pos1, int32_t pos2, int32_t pos3,
                                     const TBandDecayOptions& options) {
    TBandDecays decays;
    decays.Setup(sampFreq, pos1, pos2, pos3, options);
    const auto read = [&](int64_t pos, int16_t* out, int32_t n) -> int32_t {
        const auto size = static_cast<int64_t>(samples.size());
        if (pos < 0 || pos >= size) return 0;
        const auto got = static_cast<int32_t>(std::min<int64_t>(n, size - pos));
        std::copy_n(samples.begin() + pos, got, out);
        return got;
    };
    return Feed(decays, read);
}

} // namespace ravlon
