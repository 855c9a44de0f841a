// Reference transforms for the TFFT tests: the plain textbook algorithm transcribed
// step by step (complex in-place radix-2 DIT over all FFTSize points), and a
// direct DFT in extended precision. Both: X[k] = (1/W) sum (x[n]-mean) w[n]
// e^(+2 pi i k n / N), zero padding after the data.
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <vector>

namespace ravlon::testref {

constexpr long double kTwoPi = 6.283185307179586476925286766559005768L;

// The window for windowskew 0.5 (ordinal 0..4), extended precision.
inline long double WindowValue(int kind, int n, int size) {
    const long double m = size - 1;
    const long double th = kTwoPi * n / m;
    switch (kind) {
    case 0:
        return 1.0L;
    case 1:
        return (2 * n <= size - 1) ? 2.0L * n / m : 2.0L - 2.0L * n / m;
    case 2:
        return 0.54L - 0.46L * std::cos(th);
    case 3:
        return 0.5L * (1.0L - std::cos(th));
    default:
        return 0.42L - 0.5L * std::cos(th) + 0.08L * std::cos(2.0L * th);
    }
}

// Straightforward transcription of the plain transform (tables in extended precision,
// stored as doubles; all arithmetic in double).
inline std::vector<std::complex<double>> PlainTransform(const std::vector<double>& x, int n,
                                                        int windowSize, int kind) {
    std::vector<double> c(n), s(n), win(n, 0.0), re(n), im(n);
    std::vector<int> br(n);
    for (int k = 0; k < n; ++k) {
        const long double a = kTwoPi * k / n;
        c[k] = static_cast<double>(std::cos(a));
        s[k] = static_cast<double>(std::sin(a));
    }
    for (int i = 0; i < n; ++i) {
        int b = n / 2, cc = 1, r = 0;
        do {
            if (i & cc) r |= b;
            b >>= 1;
            cc <<= 1;
        } while (b != 0);
        br[i] = r;
    }
    for (int i = 0; i < windowSize; ++i)
        win[i] = static_cast<double>(WindowValue(kind, i, windowSize));
    const int len = static_cast<int>(x.size());
    double sum = 0.0;
    for (double v : x) sum += v;
    const double mean = sum / len;
    for (int i = 0; i < len; ++i) {
        re[br[i]] = (x[i] - mean) * win[i];
        im[br[i]] = 0.0;
    }
    for (int i = len; i < n; ++i) re[br[i]] = im[br[i]] = 0.0;
    for (int half = 1; half < n; half *= 2) {
        const int step = (n / half) / 2;
        for (int g = 0; g < n; g += 2 * half) {
            int k = 0;
            for (int j = 0; j < half; ++j) {
                const int p = g + j + half, q = g + j;
                const double tr = re[p] * c[k] - im[p] * s[k];
                const double ti = re[p] * s[k] + im[p] * c[k];
                re[p] = re[q] - tr;
                im[p] = im[q] - ti;
                re[q] = re[q] + tr;
                im[q] = im[q] + ti;
                k += step;
            }
        }
    }
    std::vector<std::complex<double>> out(n);
    for (int k = 0; k < n; ++k) out[k] = {re[k] / windowSize, im[k] / windowSize};
    return out;
}

// Direct DFT in extended precision with the positive exponent.
inline std::vector<std::complex<long double>> DirectDFT(const std::vector<double>& x, int n,
                                                        int windowSize, int kind) {
    const int len = static_cast<int>(x.size());
    // The mean as TFFT computes it (double sum / length), so both remove the same value.
    double dsum = 0.0;
    for (double v : x) dsum += v;
    const long double mean = dsum / len;
    std::vector<long double> v(n, 0.0L), c(n), s(n);
    for (int i = 0; i < len; ++i)
        v[i] = (x[i] - mean) *
               static_cast<long double>(static_cast<double>(WindowValue(kind, i, windowSize)));
    for (int k = 0; k < n; ++k) {
        c[k] = std::cos(kTwoPi * k / n);
        s[k] = std::sin(kTwoPi * k / n);
    }
    std::vector<std::complex<long double>> out(n);
    for (int k = 0; k < n; ++k) {
        long double r = 0.0L, i = 0.0L;
        int64_t idx = 0;
        for (int t = 0; t < len; ++t) {
            r += v[t] * c[idx];
            i += v[t] * s[idx];
            idx += k;
            if (idx >= n) idx -= n;
        }
        out[k] = {r / windowSize, i / windowSize};
    }
    return out;
}

} // namespace ravlon::testref
