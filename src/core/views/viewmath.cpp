#include "views/viewmath.h"

#include "recording/errors.h"
#include "recording/numtext.h"

#include <algorithm>

namespace ravlon {

int32_t FrequencyToBinRaw(double f, int32_t bins, int32_t sampFreq) {
    return Round(FDiv((bins - 1) * f, sampFreq / 2.0));
}

int32_t FrequencyToBin(double f, int32_t bins, int32_t sampFreq) {
    if (bins <= 0) throw ERangeError();
    return std::clamp(FrequencyToBinRaw(f, bins, sampFreq), 0, bins - 1);
}

double SnappedFrequency(double f, int32_t bins, int32_t sampFreq) {
    double k = 1.0;
    try {
        k = FDiv(bins - 1.0, sampFreq / 2.0);
        if (k == 0) k = 1.0; // a store of one bin snaps nothing
    } catch (const Exception&) {
        k = 1.0;
    }
    return FDiv(Round(k * f), k);
}

int32_t TimeToFrame(double t, int32_t frames, int32_t pos3, int32_t sampFreq) {
    if (frames <= 0) throw ERangeError();
    int32_t fr = Round(FDiv((frames - 1) * t, FDiv(pos3, sampFreq)));
    return std::clamp(fr, 0, frames - 1);
}

double FrameToCurveTime(int32_t fr, int32_t frames, int32_t pos3, int32_t sampFreq) {
    return FDiv(fr * FDiv(pos3, sampFreq), frames - 1.0);
}

double SnappedTime(double t, int32_t frames, int32_t pos3, int32_t sampFreq) {
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
    double db = PowerToDecibels(p);
    int32_t g = Round(Checked(FDiv(db - lo, hi - lo) * 255));
    return std::clamp(255 - g, 0, 255);
}

double LimitFrequency(double t60, double volume) {
    return 1900 * FSqrt(FDiv(t60, volume));
}

double ReverberationRadius(double volume, double t60) {
    return 0.056 * FSqrt(FDiv(volume, t60));
}

double LineT60(double t1, double l1, double t2, double l2) {
    return Checked(FDiv(-60, l1 - l2) * (t1 - t2));
}

} // namespace ravlon
