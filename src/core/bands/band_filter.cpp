#include "core/bands/band_filter.h"

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <string>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace ravlon {

TBandFilter TBandFilter::Design(const TBand& band, int32_t sampFreq) {
    const double fs = sampFreq;
    if (!(sampFreq > 0 && band.Lower > 0 && band.Lower < band.Upper && band.Upper < fs / 2))
        throw EBandDecayError("No band filter for " + std::to_string(band.Lower) + " .. " +
                              std::to_string(band.Upper) + " Hz at " + std::to_string(sampFreq) +
                              " Hz");
    // Pre-warped edges in units of 2 SampFreq, where the bilinear transform is
    // z = (1 + s) / (1 - s).
    const double w1 = std::tan(std::numbers::pi * band.Lower / fs);
    const double w2 = std::tan(std::numbers::pi * band.Upper / fs);
    const double bw = w2 - w1, w0sq = w1 * w2;
    TBandFilter f;
    int s = 0;
    // Each prototype pole p gives the band-pass poles p bw/2 +- sqrt((p bw/2)^2 - w0^2);
    // of the six, the three in the upper half plane stand for the conjugate pairs.
    for (int k = 0; k < 3; ++k) {
        const std::complex<double> p = std::polar(1.0, std::numbers::pi * (2 * k + 4) / 6.0);
        const std::complex<double> h = p * (bw / 2);
        const std::complex<double> r = std::sqrt(h * h - w0sq);
        for (const std::complex<double> pole : {h + r, h - r}) {
            if (!(pole.imag() > 0) || s == Sections) continue;
            const std::complex<double> z = (1.0 + pole) / (1.0 - pole);
            f.A1[static_cast<size_t>(s)] = -2.0 * z.real();
            f.A2[static_cast<size_t>(s)] = std::norm(z);
            ++s;
        }
    }
    f.Gain = 1.0;
    f.Gain = 1.0 / f.Magnitude(band.Centre, sampFreq);
    return f;
}

double TBandFilter::Magnitude(double f, int32_t sampFreq) const {
    const std::complex<double> zi = std::polar(1.0, -2.0 * std::numbers::pi * f / sampFreq);
    std::complex<double> h = Gain;
    for (size_t s = 0; s < Sections; ++s)
        h *= (1.0 - zi * zi) / (1.0 + A1[s] * zi + A2[s] * zi * zi);
    return std::abs(h);
}

// --- The bank ---------------------------------------------------------------------------

namespace {

#if defined(__GNUC__)
// The 4-lane helpers are always inlined into the kernels, which are compiled
// for AVX2 or for the baseline on their own, so the ABI note about passing AVX
// vectors does not concern them.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef double v4d __attribute__((vector_size(32)));
#else
// Plain four-lane arithmetic for compilers without vector extensions.
struct v4d {
    double l[4];
    friend v4d operator+(v4d a, v4d b) {
        return {{a.l[0] + b.l[0], a.l[1] + b.l[1], a.l[2] + b.l[2], a.l[3] + b.l[3]}};
    }
    friend v4d operator-(v4d a, v4d b) {
        return {{a.l[0] - b.l[0], a.l[1] - b.l[1], a.l[2] - b.l[2], a.l[3] - b.l[3]}};
    }
    friend v4d operator*(v4d a, v4d b) {
        return {{a.l[0] * b.l[0], a.l[1] * b.l[1], a.l[2] * b.l[2], a.l[3] * b.l[3]}};
    }
    friend v4d operator+(double a, v4d b) { return v4d{{a, a, a, a}} + b; }
    v4d& operator+=(v4d b) { return *this = *this + b; }
    double& operator[](int i) { return l[i]; }
};
#endif

[[gnu::always_inline]] inline v4d Load(const double* p) {
    v4d v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
[[gnu::always_inline]] inline void Store(double* p, const v4d& v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

struct alignas(32) TBandLanes {
    v4d A1[TBandFilter::Sections], A2[TBandFilter::Sections]; // negated: w = u - A1 w1 - A2 w2
    v4d Gain2;
    v4d W1[TBandFilter::Sections], W2[TBandFilter::Sections]; // w[n-1], w[n-2]
};

namespace {

using Group = TBandLanes;

// Direct form I per section: the numerator 1 - z^-2 of a section works on the
// previous section's output, whose last two values are that section's state,
// so each section keeps only w[n-1] and w[n-2]; the first numerator is shared.
// The recursion adds the older term first so that only one multiply and add
// lie on the loop-carried path.
[[gnu::always_inline]] inline void RunGroups(Group* groups, int32_t count, double x1, double x2,
                                             const double* x, const TBandRun* runs, size_t nruns) {
    for (int32_t gi = 0; gi < count; ++gi) {
        Group& g = groups[gi];
        const v4d a11 = g.A1[0], a21 = g.A2[0], a12 = g.A1[1], a22 = g.A2[1];
        const v4d a13 = g.A1[2], a23 = g.A2[2];
        v4d p1 = g.W1[0], q1 = g.W2[0], p2 = g.W1[1], q2 = g.W2[1], p3 = g.W1[2], q3 = g.W2[2];
        double xm1 = x1, xm2 = x2;
        const double* px = x;
        for (size_t r = 0; r < nruns; ++r) {
            v4d sum{};
            const int32_t n = runs[r].Count;
            for (int32_t i = 0; i < n; ++i) {
                const double xi = px[i];
                const double u = xi - xm2;
                xm2 = xm1;
                xm1 = xi;
                const v4d w1 = (u + a21 * q1) + a11 * p1;
                const v4d w2 = ((w1 - q1) + a22 * q2) + a12 * p2;
                const v4d w3 = ((w2 - q2) + a23 * q3) + a13 * p3;
                q1 = p1;
                p1 = w1;
                q2 = p2;
                p2 = w2;
                q3 = p3;
                p3 = w3;
                sum += w3 * w3;
            }
            px += n;
            if (double* row = runs[r].Row) Store(row + 4 * gi, Load(row + 4 * gi) + sum * g.Gain2);
        }
        g.W1[0] = p1;
        g.W2[0] = q1;
        g.W1[1] = p2;
        g.W2[1] = q2;
        g.W1[2] = p3;
        g.W2[2] = q3;
    }
}

void RunGeneric(Group* groups, int32_t count, double x1, double x2, const double* x,
                const TBandRun* runs, size_t nruns) {
    RunGroups(groups, count, x1, x2, x, runs, nruns);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define RAVLON_BANDS_AVX2 1
// With fused multiply-add the recursion's loop-carried path is one operation;
// the last bits of the sums then differ from the baseline path's, far below
// anything a decay shows.
[[gnu::target("avx2,fma")]] void RunAVX2(Group* groups, int32_t count, double x1, double x2,
                                         const double* x, const TBandRun* runs, size_t nruns) {
    RunGroups(groups, count, x1, x2, x, runs, nruns);
}
bool gForceBaseline = false;
bool UseAVX2() {
    static const bool have = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return have && !gForceBaseline;
}
#endif

// Decaying filter states must not slow down to denormal arithmetic in long
// digital silence: flush them to zero while the bank runs.
class TFlushDenormals {
public:
#if defined(__SSE__) || defined(__x86_64__)
    TFlushDenormals() : saved_(_mm_getcsr()) {
        _mm_setcsr(saved_ | 0x8040);
    } // FTZ | DAZ
    ~TFlushDenormals() {
        _mm_setcsr(saved_);
    }

private:
    unsigned saved_;
#endif
};

} // namespace

TBandFilterBank::TBandFilterBank() = default;
TBandFilterBank::~TBandFilterBank() = default;

void TBandFilterBank::Setup(std::span<const TBandFilter> filters) {
    const auto bands = static_cast<int32_t>(filters.size());
    const int32_t groups = (bands + 3) / 4;
    auto group = std::make_unique<TBandLanes[]>(static_cast<size_t>(groups));
    for (int32_t b = 0; b < groups * 4; ++b) {
        TBandLanes& g = group[static_cast<size_t>(b / 4)];
        const int lane = b % 4;
        // Lanes without a band keep zero coefficients: a short FIR, never unstable.
        const TBandFilter f = b < bands ? filters[static_cast<size_t>(b)] : TBandFilter{};
        for (size_t s = 0; s < TBandFilter::Sections; ++s) {
            g.A1[s][lane] = -f.A1[s];
            g.A2[s][lane] = -f.A2[s];
            g.W1[s][lane] = 0;
            g.W2[s][lane] = 0;
        }
        g.Gain2[lane] = f.Gain * f.Gain;
    }
    group_ = std::move(group);
    bands_ = bands;
    groups_ = groups;
    x1_ = x2_ = 0;
}

void TBandFilterBank::Reset() {
    for (int32_t gi = 0; gi < groups_; ++gi)
        for (size_t s = 0; s < TBandFilter::Sections; ++s) {
            group_[static_cast<size_t>(gi)].W1[s] = v4d{};
            group_[static_cast<size_t>(gi)].W2[s] = v4d{};
        }
    x1_ = x2_ = 0;
}

void TBandFilterBank::Run(const double* x, int32_t n, std::span<const TBandRun> runs) {
    if (n <= 0 || groups_ == 0) return;
    [[maybe_unused]] const TFlushDenormals flush;
#ifdef RAVLON_BANDS_AVX2
    if (UseAVX2())
        RunAVX2(group_.get(), groups_, x1_, x2_, x, runs.data(), runs.size());
    else
#endif
        RunGeneric(group_.get(), groups_, x1_, x2_, x, runs.data(), runs.size());
    x2_ = n >= 2 ? x[n - 2] : x1_;
    x1_ = x[n - 1];
}

void detail::ForceBaselineBandKernel(bool on) {
#ifdef RAVLON_BANDS_AVX2
    gForceBaseline = on;
#else
    (void)on;
#endif
}

} // namespace ravlon
