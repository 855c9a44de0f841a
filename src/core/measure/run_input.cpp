#include "core/measure/run_input.h"

#include "core/bands/band_results_format.h"
#include "core/base/numtext.h"
#include "core/measure/fft.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

std::string Quoted(std::string_view field, std::string_view text, const char* what) {
    return std::string(field) + ": '" + std::string(text) + "' is not " + what;
}

// x to three significant digits, rounded towards the inside of a range.
double RoundInward(double x, bool up) {
    const double scale = std::pow(10.0, std::floor(std::log10(x)) - 2);
    return (up ? std::ceil(x / scale) : std::floor(x / scale)) * scale;
}

double ReadDuration(std::string_view field, std::string_view text) {
    const double v = ReadNumber(field, text);
    if (!std::isfinite(v) || v < 0)
        throw EInputError(std::string(field) + ": " + std::string(text) +
                          " is out of range; it must be 0 s or more");
    return v;
}

} // namespace

double ReadNumber(std::string_view field, std::string_view text) {
    double v = 0;
    if (!TryStrToFloat(text, v)) throw EInputError(Quoted(field, text, "a number"));
    return v;
}

BandwidthRange UsableBandwidths(int32_t sampFreq, int32_t window) {
    const double scaled =
        sampFreq * TSpectrogram::WindowFactor[static_cast<size_t>(std::clamp(window, 0, 4))];
    // Round(scaled / bandwidth) must lie in MinSize .. MaxSize; ties go to the even size.
    return {scaled / (TFFT::MaxSize + 0.5), scaled / (TFFT::MinSize - 0.5)};
}

double ReadBandwidth(std::string_view text, int32_t sampFreq, int32_t window) {
    const double bw = ReadNumber(kBandwidthField, text);
    if (sampFreq <= 0 || window < 0 || window > 4) return bw;
    const BandwidthRange r = UsableBandwidths(sampFreq, window);
    if (!(bw >= r.Lo && bw <= r.Hi))
        throw EInputError(std::string(kBandwidthField) + ": " + std::string(text) +
                          " is out of range; at " + std::to_string(sampFreq) + " Hz with the " +
                          WindowNames[static_cast<size_t>(window)] + " window it must be from " +
                          FormatSignificant(6, RoundInward(r.Lo, true)) + " to " +
                          FormatSignificant(6, RoundInward(r.Hi, false)) + " Hz");
    return bw;
}

TSpectrogram::RunPlan ReadRunSettings(const RunInputTexts& texts, TSpectrogram::RunSettings& s) {
    if (!TryStrToInt(texts.SampFreq, s.SampFreq)) {
        double v = 0;
        throw EInputError(Quoted(kSampFreqField, texts.SampFreq,
                                 TryStrToFloat(texts.SampFreq, v) ? "a whole number" : "a number"));
    }
    if (s.SampFreq <= 0) throw EInputError("Sampling rate must be more than 0 Hz");
    s.Window = texts.Window;
    s.Bandwidth = ReadBandwidth(texts.Bandwidth, s.SampFreq, s.Window);
    s.PreNoise = ReadDuration(kPreNoiseField, texts.PreNoise);
    s.Noise = ReadDuration(kNoiseField, texts.Noise);
    s.PostNoise = ReadDuration(kPostNoiseField, texts.PostNoise);
    if (!(s.Noise > 0)) throw EInputError("Noise duration must be longer than 0 s");
    // What is left of the checks (a window the FFT cannot take, a cycle too
    // long for the memory or for 32 bits) comes from the typed settings as well.
    try {
        const int32_t fftSize = TSpectrogram::PlanWindow(s.SampFreq, s.Window, s.Bandwidth).FFTSize;
        // A duration is rounded to whole blocks, ties to even: half a block is none.
        if (s.Noise * s.SampFreq / fftSize <= 0.5)
            throw EInputError("Noise duration must be longer than 0 s: " + texts.Noise +
                              " s is shorter than one analysis block (" +
                              FormatSignificant(3, 1000.0 * fftSize / s.SampFreq) +
                              " ms at this bandwidth)");
        return TSpectrogram::CheckRun(s);
    } catch (const EInputError&) {
        throw;
    } catch (const Exception& e) {
        throw EInputError(e.what());
    }
}

} // namespace ravlon
