// The measurement uncertainty of a reverberation time by ISO 3382-2: the
// standard deviation of T20 and T30 from the band's bandwidth B, the
// reverberation time T, the number n of decays averaged at one position and
// the number N of positions:
//   sigma(T20) = 0.88 T sqrt((1 + 1.90 / n) / (N B T))
//   sigma(T30) = 0.55 T sqrt((1 + 1.52 / n) / (N B T))
// with B = 0.71 fc for an octave band and 0.23 fc for a one-third-octave
// band (fc the band's mid-band frequency). The "1" is the room's own part,
// which only more positions reduce; 1.90 / n and 1.52 / n are the part of the
// n averaged decays, which more cycles reduce (AveragingSigma). Pure functions.
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
// The part of it that averaging more decays reduces: the formula without the
// room's own "1 +". 0 when it cannot be formed.
double AveragingSigma(TSigmaRange range, double t, double decays, double positions,
                      double bandwidth);

// sigma of a band's T20 or T30 (whatever its validity) from n decays at N
// positions, the bandwidth from set and the band's mid-band frequency; NaN
// when the fit has no value.
double BandSigma(TSigmaRange range, const TBandResult& band, TBandSet set, double decays,
                 double positions = 1);

} // namespace ravlon
