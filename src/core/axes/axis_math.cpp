#include "core/axes/axis_math.h"

#include "core/base/errors.h"
#include "core/base/numtext.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <exception>
#include <utility>

namespace ravlon {

namespace {

// Whole-number reading of the ends. Values beyond what Round/CeilInt/FloorInt
// can represent are already whole for every practical purpose: keep them.
double RoundWhole(double x) {
    try {
        return static_cast<double>(Round64(x));
    } catch (const std::exception&) {
        return x;
    }
}

double CeilWhole(double x) {
    try {
        return CeilInt(x);
    } catch (const std::exception&) {
        return x;
    }
}

double FloorWhole(double x) {
    try {
        return FloorInt(x);
    } catch (const std::exception&) {
        return x;
    }
}

int Saturate(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX));
}

// Distances along the axis beyond this many pixels are all "far beyond the
// end": small enough to round in 64 bits and to flip without overflow.
constexpr double kFarPixels = 1e15;

// Pixel distance from the low end of a linear axis, m * (v - lo) / (hi - lo).
// Where a difference or the product overflows the value lies far beyond an
// end; halving the operands (exact) and dividing first keep its sign.
double LinearDistance(double v, double lo, double hi, int m) {
    double num = v - lo;
    double den = hi - lo;
    if (!std::isfinite(num) || !std::isfinite(den)) {
        num = v * 0.5 - lo * 0.5;
        den = hi * 0.5 - lo * 0.5;
    }
    const double x = m * num / den;
    return std::isfinite(x) ? x : num / den * m;
}

// Log10(a / b) for positive a and finite positive b, also where the quotient
// over- or underflows; +inf for a = +inf.
double LogRatio(double a, double b) {
    const double r = a / b;
    if (std::isfinite(r) && r > 0) return LogTen(r);
    if (std::isinf(a)) return a;
    return LogTen(a) - LogTen(b);
}

// PowerOf for the ratios of the ends; a non-positive ratio is a failed computation.
double Power(double base, double exponent) {
    if (!(base > 0)) throw EInvalidOp();
    return Checked(PowerOf(base, exponent));
}

bool IsEmphasisedLinearLabel(const std::string& label) {
    std::size_t i = 0;
    while (label.size() - i >= 2) {
        const char c = label[i];
        if (c == ',' || c == '-' || c == '.' || (c >= '0' && c <= '9'))
            ++i;
        else
            break;
    }
    return i < label.size() && label[i] == '0';
}

std::vector<AxisTick> LinearTicks(const AxisTickSettings& s) {
    const AxisTransform& t = s.transform;
    const int length = t.Length();
    const double lo = t.lo;
    const double hi = t.hi;

    const double step = LinearTickStep(length, s.tickSpaceAim, lo, hi);

    double first = 0;
    if (step != 0) {
        // Truncated in floating point: at deep zoom lo / step is far beyond 32 bits.
        try {
            first = Checked(std::trunc(FDiv(lo, step)) * step);
        } catch (const std::exception&) {
            first = 0;
        }
        if (lo > first) first += step;
    }

    int64_t count = 3;
    if (step != 0) {
        try {
            count = static_cast<int64_t>(Trunc(FDiv(Checked(hi - lo), step))) + 2;
        } catch (const std::exception&) {
            count = 3;
        }
    }
    if (count <= 0 || count > kMaxAxisTicks) return {};

    std::vector<AxisTick> ticks(static_cast<std::size_t>(count));
    const double d = s.rawHi - s.rawLo;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        AxisTick& tick = ticks[i];
        tick.value = first + static_cast<double>(i) * step;
        tick.pixel = ValueToPixelClamped(t, tick.value);
        if (d == 0 || std::fabs(tick.value / d) < 1e-5) {
            tick.text.assign(1, '0');
        } else {
            try {
                tick.text = FormatSignificant(8, tick.value);
            } catch (const std::exception&) {
                tick.text.clear();
            }
        }
        tick.major = IsEmphasisedLinearLabel(tick.text);
    }
    return ticks;
}

// Whether the labels of the ticks kept by keep(i) leave a gap between each
// other along the axis, and how many of them lie on the axis; ticks beyond the
// ends are never drawn and do not count.
template <typename Keep>
std::pair<bool, int> LabelsApart(const std::vector<AxisTick>& ticks, const AxisTransform& t,
                                 const AxisTextMeasurer& m, Keep keep) {
    const bool vertical = t.Vertical();
    int kept = 0;
    bool apart = true;
    int64_t lastPixel = 0;
    int lastHalf = 0;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const AxisTick& tick = ticks[i];
        if (tick.text.empty() || !keep(i) || tick.value < t.lo || tick.value > t.hi) continue;
        const int size = vertical ? m.TextHeight(tick.text) : m.TextWidth(tick.text);
        const int half = (size + 1) / 2;
        if (kept > 0 && std::llabs(static_cast<int64_t>(tick.pixel) - lastPixel) < lastHalf + half)
            apart = false;
        ++kept;
        lastPixel = tick.pixel;
        lastHalf = half;
    }
    return {apart, kept};
}

// Empties linear labels until the rest stand apart: every k-th step keeps its
// label, k = 2 (every other tick) or the smallest multiple that makes the
// label step 1, 2 or 5 times a power of ten again (a step of 0.05 is labelled
// every 0.1, 0.2, 0.5 ...). Where no such step leaves a label on the axis, the
// first one stays alone.
void ThinLinearLabels(std::vector<AxisTick>& ticks, double step, const AxisTransform& t,
                      const AxisTextMeasurer& m) {
    if (LabelsApart(ticks, t, m, [](std::size_t) { return true; }).first) return;
    if (!(step > 0) || !std::isfinite(step)) return;
    // Step index of every tick counted from zero, so the kept labels are
    // multiples of the label step whichever tick comes first.
    std::vector<double> index(ticks.size());
    for (std::size_t i = 0; i < ticks.size(); ++i) index[i] = std::round(ticks[i].value / step);
    const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double first = mantissa < 1.5 ? 1 : mantissa < 3.5 ? 2 : 5;
    const double span = (t.hi - t.lo) / step;
    std::vector<double> multiples{2};
    for (double decade = 1; decade <= span * 10; decade *= 10)
        for (const double nice : {1.0, 2.0, 5.0})
            if (const double k = nice * decade / first; k > 2 && k == std::floor(k))
                multiples.push_back(k);
    const auto multipleOf = [&index](double k) {
        return [&index, k](std::size_t i) {
            return !std::isfinite(index[i]) || std::fmod(index[i], k) == 0;
        };
    };
    double chosen = 0; // 0: labels wider than the whole axis, the first one alone stays
    for (const double k : multiples) {
        const auto [apart, kept] = LabelsApart(ticks, t, m, multipleOf(k));
        if (apart && kept > 0) {
            chosen = k;
            break;
        }
    }
    bool firstKept = false;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        const bool onAxis = ticks[i].value >= t.lo && ticks[i].value <= t.hi;
        const bool keep = chosen > 0 ? multipleOf(chosen)(i) : onAxis && !firstKept;
        firstKept = firstKept || (keep && onAxis);
        if (!keep) ticks[i].text.clear();
    }
}

// Marks which axis pixels hold a label while logarithmic labels are thinned.
class LabelSpace {
public:
    explicit LabelSpace(int length) : cells_(static_cast<std::size_t>(std::max(length, 0)), 0) {}

    bool AnySet(int64_t from, int64_t to) const {
        if (cells_.empty()) return false;
        const auto [a, b] = Clamped(from, to);
        for (int64_t i = a; i <= b; ++i)
            if (cells_[static_cast<std::size_t>(i)]) return true;
        return false;
    }

    void Mark(int64_t from, int64_t to) {
        if (cells_.empty()) return;
        const auto [a, b] = Clamped(from, to);
        for (int64_t i = a; i <= b; ++i) cells_[static_cast<std::size_t>(i)] = 1;
    }

private:
    std::pair<int64_t, int64_t> Clamped(int64_t from, int64_t to) const {
        const int64_t last = static_cast<int64_t>(cells_.size()) - 1;
        return {std::clamp<int64_t>(from, 0, last), std::clamp<int64_t>(to, 0, last)};
    }

    std::vector<unsigned char> cells_;
};

// Accepts labels group by group in priority order; within a group in tick order.
// groups[i] is the group of tick i (-1: in no group, its label stays).
template <std::size_t N>
void ThinLabels(std::vector<AxisTick>& ticks, const std::vector<int>& groups,
                const std::array<int, N>& order, std::size_t alwaysEmptiedFrom, int widen,
                const AxisTransform& t, const AxisTextMeasurer& m) {
    LabelSpace space(t.Length());
    const bool vertical = t.Vertical();
    for (std::size_t g = 0; g < order.size(); ++g) {
        for (std::size_t i = 0; i < ticks.size(); ++i) {
            if (groups[i] != order[g]) continue;
            AxisTick& tick = ticks[i];
            if (tick.text.empty()) continue;
            if (g >= alwaysEmptiedFrom) tick.text.clear();
            const int h = vertical ? m.TextHeight(tick.text) : m.TextWidth(tick.text);
            const int64_t e = static_cast<int64_t>(tick.pixel) - h / 2 - widen;
            const int64_t f = static_cast<int64_t>(tick.pixel) + h / 2 + widen;
            if (space.AnySet(e, f)) tick.text.clear();
            const int w = m.TextWidth(tick.text);
            space.Mark(static_cast<int64_t>(tick.pixel) - w / 2,
                       static_cast<int64_t>(tick.pixel) + w / 2);
        }
    }
}

// Decade or note ticks; throws when the next-tick function fails or stalls.
std::vector<AxisTick> LogarithmicTicks(const AxisTickSettings& s, const AxisTextMeasurer& m) {
    const AxisTransform& t = s.transform;
    std::vector<double> values;
    double f = t.lo;
    do {
        const double next = s.musicScale ? NextWhiteKey(f) : NextDecadeTick(f);
        if (!(next > f) || static_cast<int>(values.size()) >= kMaxAxisTicks) throw EInvalidOp();
        f = next;
        values.push_back(f);
    } while (f <= t.hi);

    std::vector<AxisTick> ticks(values.size());
    std::vector<int> groups(values.size(), -1);
    for (std::size_t i = 0; i < ticks.size(); ++i) {
        AxisTick& tick = ticks[i];
        tick.value = values[i];
        tick.pixel = ValueToPixel(t, tick.value);
        if (s.musicScale) {
            tick.text = NoteName(tick.value);
            tick.major = !tick.text.empty() && tick.text[0] == 'C';
            groups[i] = (Round(NoteNumber(tick.value) + 120) % 12);
        } else {
            tick.text = FormatSignificant(8, tick.value);
            const std::string mantissa = FormatFloat("0e-0", tick.value);
            tick.major = !mantissa.empty() &&
                         (mantissa[0] == '1' || mantissa[0] == '2' || mantissa[0] == '5');
            const auto digit = std::find_if(tick.text.begin(), tick.text.end(),
                                            [](char c) { return c >= '1' && c <= '9'; });
            if (digit != tick.text.end()) groups[i] = *digit - '0';
        }
    }

    if (s.musicScale) {
        // Natural notes first (A, then C upwards); the five sharps and flats are never labelled.
        static constexpr std::array<int, 12> order{9, 0, 2, 4, 5, 7, 11, 1, 3, 6, 8, 10};
        ThinLabels(ticks, groups, order, 7, 0, t, m);
    } else {
        static constexpr std::array<int, 9> order{1, 2, 5, 3, 4, 8, 6, 7, 9};
        ThinLabels(ticks, groups, order, order.size(), 1, t, m);
    }
    return ticks;
}

} // namespace

double ClampedLoValue(double fLo, const AxisLimits& l) {
    double v = fLo;
    if (l.IsInteger) {
        v = RoundWhole(fLo);
        if (v < l.MinLoValue) v = CeilWhole(l.MinLoValue);
        if (v > l.MaxLoValue) v = FloorWhole(l.MaxLoValue);
    } else {
        if (v < l.MinLoValue) v = l.MinLoValue;
        if (v > l.MaxLoValue) v = l.MaxLoValue;
    }
    return v;
}

double ClampedHiValue(double fHi, double fLo, const AxisLimits& l) {
    const bool whole = l.IsInteger;
    double v = whole ? RoundWhole(fHi) : fHi;
    if (v < l.MinHiValue) v = whole ? CeilWhole(l.MinHiValue) : l.MinHiValue;
    if (v > l.MaxHiValue) v = whole ? FloorWhole(l.MaxHiValue) : l.MaxHiValue;
    if (v - fLo > l.MaxValueDifference) {
        const double limit = fLo + l.MaxValueDifference;
        v = whole ? FloorWhole(limit) : limit;
    }
    if (v - fLo < l.MinValueDifference) {
        const double limit = fLo + l.MinValueDifference;
        v = whole ? CeilWhole(limit) : limit;
    }
    return v;
}

int ValueToPixel(const AxisTransform& t, double v) {
    const int m = t.Length() - 1;
    // Pixels from the low end. A value that cannot be placed (a non-positive
    // one on a log axis, equal ends, NaN) gives 0; one beyond an end, however
    // far, lands beyond that end.
    double x = 0;
    try {
        if (t.logarithmic) {
            if (t.lo > 0 && v > 0 && t.hi > 0 && t.hi != t.lo)
                x = LogRatio(v, t.lo) * m / LogRatio(t.hi, t.lo);
        } else if (t.lo != t.hi) {
            x = LinearDistance(v, t.lo, t.hi, m);
        }
    } catch (const std::exception&) {
        x = 0; // an infinite end
    }
    int64_t p = std::isnan(x) ? 0 : Round64(std::clamp(x, -kFarPixels, kFarPixels));
    if (t.Vertical()) {
        if (!t.reverse) p = static_cast<int64_t>(t.height) - p - 1;
    } else if (t.reverse) {
        p = static_cast<int64_t>(t.width) - p - 1;
    }
    return Saturate(p);
}

int ValueToPixelClamped(const AxisTransform& t, double v) {
    const int p = ValueToPixel(t, v);
    const int last = t.Length() - 1;
    if (p > last) return std::max(last, 0);
    return std::max(p, 0);
}

double PixelToValue(const AxisTransform& t, int p) {
    const int64_t length = t.Length();
    int64_t a = t.Vertical() ? static_cast<int64_t>(t.height) - p - 1 : p;
    if (t.reverse) a = length - 1 - a;
    double v = 0;
    try {
        if (t.logarithmic) {
            if (t.lo > 0 && a > 0 && t.hi > 0 && length != 1)
                v = Checked(t.lo * PowerOfTen(LogTen(FDiv(t.hi, t.lo)) *
                                              FDiv(static_cast<double>(a),
                                                   static_cast<double>(length - 1))));
        } else if (t.lo != t.hi && length != 1) {
            v = Checked(FDiv(static_cast<double>(a) * Checked(t.hi - t.lo),
                             static_cast<double>(length - 1)) +
                        t.lo);
        }
    } catch (const std::exception&) {
        v = 0;
    }
    if (v < t.lo) v = t.lo;
    if (v > t.hi) v = t.hi;
    return v;
}

double LinearTickStep(int length, int tickSpaceAim, double lo, double hi) {
    int count = 3;
    if (tickSpaceAim != 0) {
        try {
            count = Round(NiceNumber(length - 1)) / tickSpaceAim;
        } catch (const std::exception&) {
            count = 3;
        }
    }
    if (count == 0) return 1;
    try {
        return Checked(NiceNumber(FDiv(Checked(hi - lo), count)));
    } catch (const std::exception&) {
        return 1;
    }
}

double NextDecadeTick(double x) {
    int k = Trunc(LogTen(x * 1.0000001));
    if (x < 0.99) --k;
    const double e = PowerOfTen(k);
    return Checked(e * (Trunc(FDiv(x, e) + 1e-10) + 1));
}

double NextWhiteKey(double x) {
    const int n = Trunc(NoteNumber(x * 1.0000000001));
    const int next = IsBlackKey(static_cast<int64_t>(n) + 1) ? n + 2 : n + 1;
    return NoteFrequency(next);
}

std::vector<AxisTick> ComputeAxisTicks(const AxisTickSettings& s, const AxisTextMeasurer& m) {
    const AxisTransform& t = s.transform;
    // A note scale needs both ends positive to name its notes; until then it
    // shows the linear scale, like a decade axis with a bad end.
    const bool logRules = t.logarithmic && t.lo > 0 && (s.musicScale ? t.hi > 0 : t.hi / t.lo > 4);
    if (logRules) {
        try {
            return LogarithmicTicks(s, m);
        } catch (const std::exception&) {
            // Fall through: an axis whose note or decade ticks cannot be
            // computed still shows a linear scale rather than nothing.
        }
    }
    std::vector<AxisTick> ticks = LinearTicks(s);
    ThinLinearLabels(ticks, LinearTickStep(t.Length(), s.tickSpaceAim, t.lo, t.hi), t, m);
    return ticks;
}

bool FitAxisRange(double lo, double hi, bool logarithmic, double margin, AxisRange& out) {
    if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi || !(margin >= 0)) return false;
    if (logarithmic) {
        if (!(lo > 0)) return false;
        double a = std::log10(lo), b = std::log10(hi);
        if (a == b) {
            a -= std::log10(2.0);
            b += std::log10(2.0);
        }
        const double m = (b - a) * margin;
        out = {std::pow(10.0, a - m), std::pow(10.0, b + m)};
        return std::isfinite(out.lo) && std::isfinite(out.hi) && out.lo > 0 && out.lo < out.hi;
    }
    if (lo == hi) {
        const double widen = std::max(1.0, std::fabs(lo) * 0.1);
        lo -= widen;
        hi += widen;
    }
    const double m = (hi - lo) * margin;
    double a = lo - m, b = hi + m;
    if (margin > 0) {
        // Ends on a step of about a tenth of the span read well: -20 .. 70 dB.
        try {
            const double step = NiceNumber((b - a) / 10);
            a = std::floor(a / step) * step;
            b = std::ceil(b / step) * step;
        } catch (const std::exception&) {
            // Beyond what a step can be found for: the ends with their margin.
        }
    }
    if (lo >= 0 && a < 0) a = 0;
    if (hi <= 0 && b > 0) b = 0;
    if (!std::isfinite(a) || !std::isfinite(b) || !(a < b)) return false;
    out = {a, b};
    return true;
}

int ClampDragStart(int coord, int length) {
    int c = coord;
    if (c < 11) c = 11;
    if (c > length - 11) c = length - 11;
    return c;
}

int DragModeAt(bool vertical, int coord, int width, int height, const AxisDragPermissions& p) {
    if (!(p.allowLo && p.allowHi)) {
        if (p.allowLo) return kDragLowEnd;
        if (p.allowHi) return kDragHighEnd;
        return kDragNone;
    }
    if (p.allowMid) {
        if (vertical) {
            if (coord < height / 3) return kDragHighEnd;
            if (coord > 2 * (height / 3)) return kDragLowEnd;
        } else {
            if (coord < width / 3) return kDragLowEnd;
            if (coord > 2 * (width / 3)) return kDragHighEnd;
        }
        return kDragRange;
    }
    if (vertical) return coord < height / 2 ? kDragHighEnd : kDragLowEnd;
    return coord < width / 2 ? kDragLowEnd : kDragHighEnd;
}

int ClampDragCoordinate(bool vertical, int mode, int coord, int width, int height) {
    if (vertical) {
        if (mode == kDragLowEnd) return std::max(coord, 10);
        if (mode == kDragHighEnd) return std::min(coord, height - 10);
    } else {
        if (mode == kDragLowEnd) return std::min(coord, width - 10);
        if (mode == kDragHighEnd) return std::max(coord, 10);
    }
    return coord;
}

AxisDragResult DragEnds(bool vertical, bool logarithmic, int mode, int start, int coord, int width,
                        int height, double lo0, double hi0) {
    const double c = ClampDragCoordinate(vertical, mode, coord, width, height);
    const double s = start;
    const double h = height;
    const double w = width;
    AxisDragResult r;
    switch (mode) {
    case kDragLowEnd: {
        // Exponent (or factor) that keeps the value under the mouse.
        const double k = vertical ? FDiv(s, c) : FDiv(w - s, w - c);
        r.setLo = true;
        r.lo = logarithmic ? Checked(hi0 * Power(FDiv(lo0, hi0), k))
                           : Checked(hi0 + k * Checked(lo0 - hi0));
        break;
    }
    case kDragHighEnd: {
        const double k = vertical ? FDiv(h - s, h - c) : FDiv(s, c);
        r.setHi = true;
        r.hi = logarithmic ? Checked(lo0 * Power(FDiv(hi0, lo0), k))
                           : Checked(lo0 + k * Checked(hi0 - lo0));
        break;
    }
    case kDragRange: {
        r.setLo = r.setHi = true;
        if (logarithmic) {
            const double k = vertical ? FDiv(c - s, h) : FDiv(s - c, w);
            const double q = Power(FDiv(hi0, lo0), k);
            r.hi = Checked(q * hi0);
            r.lo = Checked(q * lo0);
        } else {
            const double offset =
                Checked((vertical ? FDiv(c - s, h) : -FDiv(c - s, w)) * Checked(hi0 - lo0));
            r.hi = Checked(hi0 + offset);
            r.lo = Checked(lo0 + offset);
        }
        break;
    }
    default:
        break;
    }
    return r;
}

} // namespace ravlon
