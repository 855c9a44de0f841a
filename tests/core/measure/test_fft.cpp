#include "core/measure/fft.h"

#include "fft_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace ravlon;

namespace {

std::vector<double> Noise(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> dist(-32768, 32767);
    std::vector<double> x(static_cast<size_t>(n));
    for (auto& v : x) v = dist(gen);
    return x;
}

// Expects fn to raise EFFTError with exactly this message.
template <class Fn> void ExpectFFTError(Fn fn, const std::string& message) {
    try {
        fn();
        ADD_FAILURE() << "no EFFTError, expected \"" << message << "\"";
    } catch (const EFFTError& e) {
        EXPECT_EQ(std::string(e.what()), message);
    }
}

void ExpectSizes(const TFFT& f, int log, int fft, int window) {
    EXPECT_EQ(f.LogFFTSize(), log);
    EXPECT_EQ(f.FFTSize(), fft);
    EXPECT_EQ(f.WindowSize(), window);
}

// Largest |a - b| over all bins, relative to the largest |b|.
template <class A, class B> double RelativeError(const std::vector<A>& a, const std::vector<B>& b) {
    long double maxDiff = 0, maxRef = 0;
    for (size_t k = 0; k < a.size(); ++k) {
        const std::complex<long double> da(a[k].real(), a[k].imag());
        const std::complex<long double> db(b[k].real(), b[k].imag());
        maxDiff = std::max(maxDiff, std::abs(da - db));
        maxRef = std::max(maxRef, std::abs(db));
    }
    return maxRef == 0 ? static_cast<double>(maxDiff) : static_cast<double>(maxDiff / maxRef);
}

std::vector<std::complex<double>> Bins(TFFT& f) {
    std::vector<std::complex<double>> out(static_cast<size_t>(f.FFTSize()));
    for (int k = 0; k < f.FFTSize(); ++k) out[k] = f.GetBin(k);
    return out;
}

} // namespace

TEST(TFFT, ConstructorDefaults) {
    TFFT f;
    ExpectSizes(f, 8, 256, 256);
    EXPECT_EQ(f.Window(), TFFTWindow::Hamming);
    EXPECT_EQ(f.windowskew(), 0.5);
    EXPECT_TRUE(f.RemoveMean());
}

TEST(TFFT, FFTSizeSetterRoundsUpToPowerOfTwo) {
    TFFT f;
    f.SetFFTSize(192);
    ExpectSizes(f, 8, 256, 256);
    f.SetWindowSize(100);
    f.SetFFTSize(2);
    EXPECT_EQ(f.FFTSize(), 2);
    EXPECT_EQ(f.LogFFTSize(), 1);
    f.SetFFTSize(16);
    EXPECT_EQ(f.FFTSize(), 16);
    EXPECT_EQ(f.LogFFTSize(), 4);
    f.SetFFTSize(17);
    EXPECT_EQ(f.FFTSize(), 32);
    f.SetFFTSize(1048576);
    EXPECT_EQ(f.FFTSize(), 1048576);
    EXPECT_EQ(f.LogFFTSize(), 20);
    f.SetFFTSize(524289);
    EXPECT_EQ(f.FFTSize(), 1048576);
}

TEST(TFFT, FFTSizeOutOfRangeRaisesWithValueAndKeepsSizes) {
    TFFT f;
    f.SetFFTSize(512);
    ExpectFFTError([&] { f.SetFFTSize(1048577); }, "FFT size out of range (1048577)");
    ExpectFFTError([&] { f.SetFFTSize(1); }, "FFT size out of range (1)");
    ExpectFFTError([&] { f.SetFFTSize(0); }, "FFT size out of range (0)");
    ExpectFFTError([&] { f.SetFFTSize(-5); }, "FFT size out of range (-5)");
    ExpectSizes(f, 9, 512, 256);
}

TEST(TFFT, WindowSizeSetter) {
    TFFT f;
    f.SetFFTSize(16);
    f.SetWindowSize(192);
    ExpectSizes(f, 8, 256, 192);
    f.SetWindowSize(2);
    ExpectSizes(f, 8, 256, 2); // FFTSize never shrinks through the window size
    f.SetWindowSize(1048576);
    ExpectSizes(f, 20, 1048576, 1048576);
    f.SetFFTSize(256);
    f.SetWindowSize(200);
    ExpectFFTError([&] { f.SetWindowSize(1); }, "Window size out of range");
    ExpectFFTError([&] { f.SetWindowSize(0); }, "Window size out of range");
    ExpectFFTError([&] { f.SetWindowSize(1048577); }, "Window size out of range");
    ExpectSizes(f, 8, 256, 200);
}

TEST(TFFT, LogFFTSizeOutOfRangeIsIgnored) {
    TFFT f;
    f.SetLogFFTSize(21);
    ExpectSizes(f, 8, 256, 256);
    f.SetLogFFTSize(1);
    ExpectSizes(f, 8, 256, 256);
    f.SetLogFFTSize(10);
    ExpectSizes(f, 10, 1024, 256);
    f.SetLogFFTSize(2);
    ExpectSizes(f, 2, 4, 256); // no invariant check
}

TEST(TFFT, SetDataAdoptsTheBlockLength) {
    TFFT f;
    f.SetFFTSize(16);
    f.SetWindowSize(192);
    std::vector<double> x = Noise(256, 1);
    f.SetData(x);
    ExpectSizes(f, 8, 256, 256);

    f.SetFFTSize(1024); // FFT 1024, window 256
    std::vector<double> y = Noise(300, 2);
    f.SetData(y);
    ExpectSizes(f, 9, 512, 300);
    EXPECT_EQ(f.GetPower().size(), 512u);

    // As long as WindowSize, nothing changes: FFT 512 zero-pads the 300 samples.
    std::vector<double> z = Noise(300, 3);
    f.SetData(z);
    ExpectSizes(f, 9, 512, 300);
}

TEST(TFFT, SetDataWithBadLengthsRaisesTheFFTSizeError) {
    TFFT f;
    std::vector<double> empty;
    ExpectFFTError([&] { f.SetData(empty); }, "FFT size out of range (0)");
    std::vector<double> one{1.0};
    ExpectFFTError([&] { f.SetData(one); }, "FFT size out of range (1)");
    std::vector<double> big(1048577, 0.0);
    ExpectFFTError([&] { f.SetData(big); }, "FFT size out of range (1048577)");
    ExpectSizes(f, 8, 256, 256);
    // No data was taken: a transform has nothing to work on.
    EXPECT_THROW(f.GetPower(), EFFTError);
}

TEST(TFFT, BartlettWindowsOfFourAndFive) {
    TFFT f;
    f.SetWindow(TFFTWindow::Bartlett);
    f.SetFFTSize(4);
    f.SetWindowSize(4);
    auto w4 = f.WindowTable();
    ASSERT_EQ(w4.size(), 4u);
    EXPECT_EQ(w4[0], 0.0);
    EXPECT_DOUBLE_EQ(w4[1], 2.0 / 3.0);
    EXPECT_DOUBLE_EQ(w4[2], 2.0 / 3.0);
    EXPECT_EQ(w4[3], 0.0);
    f.SetWindowSize(5);
    auto w5 = f.WindowTable();
    ASSERT_EQ(w5.size(), 8u);
    const double expect[8] = {0, 0.5, 1, 0.5, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(w5[i], expect[i]) << i;
}

TEST(TFFT, WindowTablesMatchTheFormulasAndZeroBeyondTheWindow) {
    TFFT f;
    f.SetFFTSize(64);
    f.SetWindowSize(37);
    for (int kind = 0; kind <= 4; ++kind) {
        f.SetWindow(static_cast<TFFTWindow>(kind));
        auto w = f.WindowTable();
        ASSERT_EQ(w.size(), 64u);
        for (int i = 0; i < 37; ++i)
            EXPECT_EQ(w[i], static_cast<double>(testref::WindowValue(kind, i, 37)))
                << "kind " << kind << " n " << i;
        for (int i = 37; i < 64; ++i) EXPECT_EQ(w[i], 0.0);
    }
    // Spot values: Hamming ends at 0.08, Hanning peaks at 1, Blackman ends at ~0.
    f.SetWindowSize(5);
    f.SetWindow(TFFTWindow::Hamming);
    EXPECT_NEAR(f.WindowTable()[0], 0.08, 1e-15);
    EXPECT_NEAR(f.WindowTable()[2], 1.0, 1e-15);
    f.SetWindow(TFFTWindow::Hanning);
    EXPECT_NEAR(f.WindowTable()[2], 1.0, 1e-15);
    EXPECT_NEAR(f.WindowTable()[1], 0.5, 1e-15);
    f.SetWindow(TFFTWindow::Blackman);
    EXPECT_NEAR(f.WindowTable()[0], 0.0, 1e-17);
}

TEST(TFFT, SkewMovesThePeakOfTheCosineWindows) {
    TFFT f;
    f.SetFFTSize(128);
    f.SetWindowSize(101); // M = 100
    f.SetWindow(TFFTWindow::Hanning);
    f.Setwindowskew(0.25);
    auto w = f.WindowTable();
    const auto peak = std::max_element(w.begin(), w.end()) - w.begin();
    EXPECT_EQ(peak, 25);
    EXPECT_NEAR(w[25], 1.0, 1e-12);
    EXPECT_NEAR(w[0], 0.0, 1e-15);
    // Hanning of the warped angle: at n = 50, theta = pi, phi = (pi - 2pi)*0.5/0.75 + 2pi.
    const double phi = (M_PI - 2 * M_PI) * 0.5 / 0.75 + 2 * M_PI;
    EXPECT_NEAR(w[50], 0.5 * (1 - std::cos(phi)), 1e-12);
    f.SetWindow(TFFTWindow::Hamming);
    EXPECT_EQ(std::max_element(f.WindowTable().begin(), f.WindowTable().end()) -
                  f.WindowTable().begin(),
              25);
    f.SetWindow(TFFTWindow::rectangle);
    for (int i = 0; i < 101; ++i) EXPECT_EQ(f.WindowTable()[i], 1.0);
    f.SetWindow(TFFTWindow::Bartlett);
    EXPECT_NEAR(f.WindowTable()[25], 1.0, 1e-12);
    EXPECT_NEAR(f.WindowTable()[75], 1.0 / 3.0, 1e-12); // (100 - 75) / 75
    ExpectFFTError([&] { f.Setwindowskew(0.0); }, "Window skew out of range");
    ExpectFFTError([&] { f.Setwindowskew(1.0); }, "Window skew out of range");
    ExpectFFTError([&] { f.Setwindowskew(std::nan("")); }, "Window skew out of range");
    EXPECT_EQ(f.windowskew(), 0.25);
    f.Setwindowskew(0.5);
    EXPECT_EQ(f.WindowTable()[50], 1.0);
}

TEST(TFFT, ConstantBlockGivesZeroPower) {
    for (int kind = 0; kind <= 4; ++kind) {
        TFFT f;
        f.SetWindow(static_cast<TFFTWindow>(kind));
        std::vector<double> x(256, 1234.0);
        f.SetData(x);
        for (double p : f.GetPower()) EXPECT_EQ(p, 0.0);
        // A constant that is not exactly representable leaves only rounding noise.
        std::vector<double> y(200, 0.1);
        f.SetData(y);
        for (double p : f.GetPower()) EXPECT_LT(p, 1e-30);
    }
}

TEST(TFFT, CosineOnABinGivesQuarterSquaredAmplitudeAtMAndNMinusM) {
    for (int n : {4, 8, 64, 256, 4096}) {
        for (int m : {1, n / 4 - 1, n / 4, n / 2 - 1}) {
            if (m < 1) continue;
            TFFT f;
            f.SetWindow(TFFTWindow::rectangle);
            f.SetFFTSize(n);
            f.SetWindowSize(n);
            const double a = 1000.0;
            std::vector<double> x(static_cast<size_t>(n));
            for (int i = 0; i < n; ++i) x[i] = a * std::cos(2 * M_PI * m * i / n);
            f.SetData(x);
            auto p = f.GetPower();
            ASSERT_EQ(p.size(), static_cast<size_t>(n));
            for (int k = 0; k < n; ++k) {
                const double expect = (k == m || k == n - m) ? a * a / 4 : 0.0;
                EXPECT_NEAR(p[k], expect, 1e-9 * a * a) << "n " << n << " m " << m << " k " << k;
            }
        }
    }
    // At the Nyquist bin m = N/2 the two peaks coincide: power A^2.
    TFFT f;
    f.SetWindow(TFFTWindow::rectangle);
    std::vector<double> x(256);
    for (int i = 0; i < 256; ++i) x[i] = (i % 2 ? -3.0 : 3.0);
    f.SetData(x);
    EXPECT_NEAR(f.GetPower()[128], 9.0, 1e-12);
}

TEST(TFFT, PositiveExponentConvention) {
    // x = sin(2 pi m n / N): with e^(+i...) X[m] = +i/2, X[N-m] = -i/2.
    const int n = 64, m = 5;
    TFFT f;
    f.SetWindow(TFFTWindow::rectangle);
    f.SetFFTSize(n);
    f.SetWindowSize(n);
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) x[i] = std::sin(2 * M_PI * m * i / n);
    f.SetData(x);
    EXPECT_NEAR(f.GetBin(m).real(), 0.0, 1e-14);
    EXPECT_NEAR(f.GetBin(m).imag(), 0.5, 1e-14);
    EXPECT_NEAR(f.GetBin(n - m).imag(), -0.5, 1e-14);
}

TEST(TFFT, ScalingIsByWindowSizeNotFFTSize) {
    // A cosine of period 4 (bin 32 of 128) over a rectangle of W = 100 points,
    // zero-padded to 128: 25 whole periods, so the mean is 0 and the sum at bin
    // 32 is W/2 * A; divided by W it gives A/2 = 4 (by the FFT size: 3.125).
    TFFT f;
    f.SetWindow(TFFTWindow::rectangle);
    f.SetFFTSize(128);
    f.SetWindowSize(100);
    std::vector<double> x(100);
    for (int i = 0; i < 100; ++i) x[i] = 8.0 * std::cos(M_PI * i / 2);
    f.SetData(x);
    ExpectSizes(f, 7, 128, 100);
    EXPECT_NEAR(std::abs(f.GetBin(32)), 4.0, 1e-12);
}

TEST(TFFT, ZeroPaddingMatchesTheReference) {
    for (int kind = 0; kind <= 4; ++kind) {
        TFFT f;
        f.SetWindow(static_cast<TFFTWindow>(kind));
        f.SetFFTSize(128);
        f.SetWindowSize(100);
        std::vector<double> x = Noise(100, 7 + kind);
        f.SetData(x);
        ExpectSizes(f, 7, 128, 100);
        auto ref = testref::DirectDFT(x, 128, 100, kind);
        EXPECT_LT(RelativeError(Bins(f), ref), 1e-13);
        auto reference = testref::PlainTransform(x, 128, 100, kind);
        EXPECT_LT(RelativeError(Bins(f), reference), 1e-13);
    }
}

TEST(TFFT, EveryPowerOfTwoAgreesWithTheReferences) {
    for (int log = 1; log <= 20; ++log) {
        const int n = 1 << log;
        for (int kind : {3, 0, 4}) {
            if (kind != 3 && n > 65536) continue; // the long tables take time (sanitizer build)
            TFFT f;
            f.SetWindow(static_cast<TFFTWindow>(kind));
            f.SetFFTSize(n);
            f.SetWindowSize(n);
            std::vector<double> x = Noise(n, static_cast<unsigned>(log * 10 + kind));
            f.SetData(x);
            const std::vector<std::complex<double>> got = Bins(f);
            auto reference = testref::PlainTransform(x, n, n, kind);
            EXPECT_LT(RelativeError(got, reference), 1e-12) << "N = " << n << " window " << kind;
            if (n <= 4096) {
                auto direct = testref::DirectDFT(x, n, n, kind);
                EXPECT_LT(RelativeError(got, direct), 1e-12) << "N = " << n << " window " << kind;
            }
            // The power is |X|^2 of every bin, the upper half included.
            auto p = f.GetPower();
            ASSERT_EQ(p.size(), static_cast<size_t>(n));
            double maxP = 0, maxDiff = 0;
            for (int k = 0; k < n; ++k) {
                const double ref = std::norm(reference[k]);
                maxP = std::max(maxP, ref);
                maxDiff = std::max(maxDiff, std::abs(p[k] - ref));
            }
            EXPECT_LE(maxDiff, 1e-12 * maxP) << "N = " << n;
        }
    }
}

TEST(TFFT, ShortBlocksAgreeWithTheReferenceForEveryWindowAndLength) {
    for (int len = 2; len <= 40; ++len) {
        for (int kind = 0; kind <= 4; ++kind) {
            TFFT f;
            f.SetWindow(static_cast<TFFTWindow>(kind));
            std::vector<double> x = Noise(len, static_cast<unsigned>(len * 7 + kind));
            f.SetData(x); // adopts len; FFT size = next power of two
            auto ref = testref::DirectDFT(x, f.FFTSize(), len, kind);
            EXPECT_LT(RelativeError(Bins(f), ref), 1e-13) << "len " << len << " kind " << kind;
        }
    }
}

TEST(TFFT, NeverReadsBeyondTheDataBlock) {
    // NaN sentinels on both sides: reading one would turn every bin into NaN.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int len : {256, 200}) {
        std::vector<double> buf(len + 64, nan);
        std::vector<double> clean = Noise(len, 99);
        std::copy(clean.begin(), clean.end(), buf.begin() + 32);
        TFFT f;
        f.SetWindow(TFFTWindow::Hanning);
        f.SetFFTSize(256);
        f.SetWindowSize(len);
        f.SetData(std::span<const double>(buf.data() + 32, static_cast<size_t>(len)));
        std::vector<double> got(f.GetPower().begin(), f.GetPower().end());
        ASSERT_EQ(got.size(), 256u);
        for (double p : got) EXPECT_TRUE(std::isfinite(p));
        TFFT g;
        g.SetWindow(TFFTWindow::Hanning);
        g.SetFFTSize(256);
        g.SetWindowSize(len);
        g.SetData(clean);
        auto ref = g.GetPower();
        for (int k = 0; k < 256; ++k) EXPECT_EQ(got[k], ref[k]);
    }
}

TEST(TFFT, TransformWhileFFTSizeBelowWindowSizeRaises) {
    TFFT f;
    f.SetWindow(TFFTWindow::Hanning);
    std::vector<double> x = Noise(256, 5);
    f.SetData(x);
    std::vector<double> before(f.GetPower().begin(), f.GetPower().end());
    f.SetLogFFTSize(4); // FFTSize 16 < WindowSize 256
    ExpectSizes(f, 4, 16, 256);
    f.SetData(x); // length = WindowSize: the sizes stay
    ExpectFFTError([&] { f.GetPower(); }, "FFT size (16) is smaller than the window size (256)");
    ExpectFFTError([&] { f.GetBin(0); }, "FFT size (16) is smaller than the window size (256)");
    // The window setter leaves the tables stale instead of building them.
    f.SetWindow(TFFTWindow::Hamming);
    f.SetWindow(TFFTWindow::Hanning);
    f.SetLogFFTSize(8);
    auto p = f.GetPower();
    ASSERT_EQ(p.size(), 256u);
    for (int k = 0; k < 256; ++k) EXPECT_EQ(p[k], before[k]);
    // The analysis set-up passes through the same state: FFTSize := 16 with
    // WindowSize 192 raises until the window size is set.
    f.SetWindowSize(192);
    f.SetFFTSize(16);
    std::vector<double> y = Noise(192, 6);
    f.SetData(y);
    EXPECT_THROW(f.GetPower(), EFFTError);
    f.SetWindowSize(192);
    EXPECT_EQ(f.FFTSize(), 256);
    EXPECT_NO_THROW(f.GetPower());
}

TEST(TFFT, OwnsTheBlockHandedToSetData) {
    std::vector<double> x = Noise(256, 11);
    TFFT g;
    g.SetData(x);
    const std::vector<double> px(g.GetPower().begin(), g.GetPower().end());

    TFFT f;
    f.SetData(x);
    // The caller reuses its array before the lazy transform has run, then lets
    // it go: the result is still the power of the block handed over.
    std::fill(x.begin(), x.end(), 0.0);
    std::vector<double>().swap(x);
    auto p = f.GetPower();
    for (int k = 0; k < 256; ++k) EXPECT_EQ(p[k], px[k]);
    // A window change recomputes from the kept block, with the new window.
    f.SetWindow(TFFTWindow::rectangle);
    g.SetWindow(TFFTWindow::rectangle);
    p = f.GetPower();
    const auto q = g.GetPower();
    for (int k = 0; k < 256; ++k) EXPECT_EQ(p[k], q[k]);
    EXPECT_NE(p[5], px[5]);
}

TEST(TFFT, WindowFunctionOutOfRangeIsRefused) {
    TFFT f;
    ExpectFFTError([&] { f.SetWindow(static_cast<TFFTWindow>(5)); },
                   "Window function out of range (5)");
    EXPECT_EQ(f.Window(), TFFTWindow::Hamming);
}

TEST(TFFT, SizeTwoAndFour) {
    TFFT f;
    f.SetWindow(TFFTWindow::rectangle);
    std::vector<double> x{3.0, -1.0};
    f.SetData(x);
    ExpectSizes(f, 1, 2, 2);
    // mean 1: (2, -2) -> X0 = 0, X1 = (2 - (-2)) / 2 = 2
    EXPECT_EQ(f.GetPower()[0], 0.0);
    EXPECT_EQ(f.GetPower()[1], 4.0);
    std::vector<double> y{1.0, 2.0, 0.0, -3.0};
    f.SetData(y);
    auto ref = testref::DirectDFT(y, 4, 4, 0);
    EXPECT_LT(RelativeError(Bins(f), ref), 1e-15);
}

TEST(TFFT, PortableAndVectorKernelsAgree) {
    // Where the CPU has AVX2 the 4-lane kernels run; the portable 2-lane ones
    // must give the same results (same operations, no fused multiply-add).
    struct Restore {
        ~Restore() { detail::ForceGenericFFTKernels(false); }
    } restore;
    for (int log = 1; log <= 16; ++log) {
        const int n = 1 << log;
        std::vector<double> x = Noise(n, static_cast<unsigned>(500 + log));
        TFFT a, b;
        a.SetWindow(TFFTWindow::Blackman);
        b.SetWindow(TFFTWindow::Blackman);
        a.SetData(x);
        detail::ForceGenericFFTKernels(false);
        std::vector<double> pa(a.GetPower().begin(), a.GetPower().end());
        detail::ForceGenericFFTKernels(true);
        b.SetData(x);
        std::vector<double> pb(b.GetPower().begin(), b.GetPower().end());
        const double maxP = *std::max_element(pa.begin(), pa.end());
        for (int k = 0; k < n; ++k)
            ASSERT_NEAR(pa[k], pb[k], 1e-15 * maxP) << "N " << n << " k " << k;
        auto reference = testref::PlainTransform(x, n, n, 4);
        EXPECT_LT(RelativeError(Bins(b), reference), 1e-12) << "portable kernels, N = " << n;
        detail::ForceGenericFFTKernels(false);
    }
}
