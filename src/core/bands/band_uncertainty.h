// The measurement uncertainty of a reverberation time by ISO 3382-2: the
// standard deviation of T20 and T30 from the band's bandwidth B, the
// reverberation time T, the number n of decays averaged at one position and
// the number N of positions:
//   sigma(T20) = 0.88 T sqrt((1 + 1.90 / n) / (N B T))
//   sigma(T30) = 0.55 T sqrt((1 + 1.52 / n) / (N B T))
// with B = 0.71 fc for an octave band and 0.23 fc for a one-third-octave
// band (fc the band's mid-band frequency). Pure functions.
#pragma once

#include "core/bands/band_evaluation.h"

namespace ravlon {

enum class TSigmaRange { T20, T30 };

// The bandwidth ISO 3382-2 takes for a band of the set, Hz.
double UncertaintyBandwidth(TBandSet set, double centre);

// sigma in seconds; 0 when it cannot be formed (T, n, N or the bandwidth not
// positive).
double ReverberationSigma(TSigmaRange range, double t, double decays, double positions,
                          double bandwidth);

} // namespace ravlon
