// A recording as a WAV file that other programs can re-analyse: channel 0 as
// 16-bit mono PCM at the recording's rate, the cycle positions as cue points
// and the three durations in the file's comment (LIST INFO ICMT).
//
// Cue points: for cycle k (from 0) the points 3k+1 at k pos3 + pos1 (the
// noise starts), 3k+2 at k pos3 + pos2 (the noise stops) and 3k+3 at
// (k + 1) pos3 (the cycle ends), for every complete cycle (at least one
// cycle, at most MaxWavCueCycles). ReadWavCycle reads the positions back;
// ravlon-analyze then needs no --pre/--noise/--post.
//
// Any thread; one file at a time.
#pragma once

#include "core/base/errors.h"

#include <cstdint>
#include <optional>
#include <string>

namespace ravlon {

class ERecordingWavError : public Exception {
public:
    using Exception::Exception;
};

inline constexpr int64_t MaxWavCueCycles = 10000;

struct TWavCycle {
    int32_t Pos1 = 0, Pos2 = 0, Pos3 = 0; // samples into the cycle
};

// Writes the recording's WAV to wav: first into a new file beside it, which
// replaces wav only once it is complete (an existing wav stays whole when
// anything fails). Raises ERecordingWavError with the reason: a recording
// that cannot be read or carries no cycle, wav naming the recording itself,
// a write that fails.
void ExportRecordingWav(const std::string& recording, const std::string& wav);

// The cycle of a WAV whose cue points follow the pattern above; nothing for
// a file without them (or not readable).
std::optional<TWavCycle> ReadWavCycle(const std::string& wav);

} // namespace ravlon
