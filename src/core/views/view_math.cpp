#include "core/views/view_math.h"

#include "core/base/errors.h"
#include "core/base/numtext.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

int32_t FrequencyToBinRaw(double f, int32_t bins, int32_t sampFreq) {
    return Round(FDiv((bins - 1) * f, sampFreq / 2.0));
}

int32_t FrequencyToBin(double f, int32_t bins, int32_t sampFreq) {
    if (bins <= 0) throw ERangeError();
    // Clamped before rounding, so a frequency far beyond the store still maps
    // to the last bin instead of overflowing the index. NaN stays NaN and
    // makes Round raise.
    double x = FDiv((bins - 1) * f, sampFreq / 2.0);
    return Round(std::clamp(x, 0.0, bins - 1.0));
}

double SnappedFrequency(double f, int32_t bins, int32_t sampFreq) {
    double k = 1.0;
    if (bins > 0) {
        try {
            k = FDiv(bins - 1.0, sampFreq / 2.0);
            if (k == 0) k = 1.0; // a store of one bin snaps nothing
        } catch (const Exception&) {
            k = 1.0;
        }
    }
    const double x = k * f;
    // From 2^52 on every double is whole: nothing left to snap.
    if (std::fabs(x) >= 4503599627370496.0) return Checked(f);
    return FDiv(static_cast<double>(Round64(x)), k);
}

int32_t TimeToFrame(double t, int32_t frames, int32_t pos3, int32_t sampFreq) {
    if (frames <= 0) throw ERangeError();
    double x = FDiv((frames - 1) * t, FDiv(pos3, sampFreq));
    return Round(std::clamp(x, 0.0, frames - 1.0));
}

double FrameToCurveTime(int32_t fr, int32_t frames, int32_t pos3, int32_t sampFreq) {
    return FDiv(fr * FDiv(pos3, sampFreq), frames - 1.0);
}

double SnappedTime(double t, int32_t frames, int32_t pos3, int32_t sampFreq) {
    if (frames <= 0) return t;
    try {
        double k = FDiv(frames - 1.0, FDiv(pos3, sampFreq));
        return FDiv(Round(k * t), k);
    } catch (const Exception&) {
        return t;
    }
}

double EvaluationFrameTime(double fr, int32_t fftSize, int32_t sampFreq) {
    return FDiv(fr * fftSize, sampFreq);
}

int LevelToGrayValue(double p, double lo, double hi) {
    const double db = PowerToDecibels(p);
    const double range = hi - lo;
    if (range == 0) throw EZeroDivide();
    // Clamped before rounding (an infinite quotient included), so a level far
    // beyond the axis saturates; NaN makes Round raise.
    const double x = (db - lo) / range * 255;
    const int32_t g = Round(std::clamp(x, -1.0, 256.0));
    return std::clamp(255 - g, 0, 255);
}

double ColumnValue(const std::vector<double>& perBin, double f, int32_t sampFreq) {
    auto n = static_cast<int32_t>(std::min<size_t>(perBin.size(), INT32_MAX));
    return perBin[static_cast<size_t>(FrequencyToBin(f, n, sampFreq))];
}

double LimitFrequency(double t60, double volume) {
    return 1900 * FSqrt(FDiv(t60, volume));
}

bool AboveLimitFrequency(double f, double t60, double volume) {
    return f >= LimitFrequency(t60, volume) && t60 > 0;
}

double ReverberationRadius(double volume, double t60) {
    return 0.056 * FSqrt(FDiv(volume, t60));
}

double DotRadius(double volume, double t60) {
    try {
        return ReverberationRadius(volume, t60);
    } catch (const Exception&) {
        return 0;
    }
}

double LineT60(double t1, double l1, double t2, double l2) {
    return Checked(FDiv(-60, l1 - l2) * (t1 - t2));
}

std::pair<double, double> MarkerTimes(const std::vector<double>& startFrames,
                                      const std::vector<double>& endFrames, int32_t b,
                                      int32_t fftSize, int32_t sampFreq) {
    if (b < 0 || static_cast<size_t>(b) >= startFrames.size() ||
        static_cast<size_t>(b) >= endFrames.size())
        throw ERangeError();
    auto i = static_cast<size_t>(b);
    return {EvaluationFrameTime(startFrames[i], fftSize, sampFreq),
            EvaluationFrameTime(endFrames[i], fftSize, sampFreq)};
}

} // namespace ravlon
