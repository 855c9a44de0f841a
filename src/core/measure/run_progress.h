// Where a measurement run stands, for the main window's status bar: the
// cycle being recorded and the time until it is complete, which is when the
// spectrogram is next updated. UI thread, like the store it reads.
#pragma once

#include "core/measure/spectrogram.h"

#include <cstdint>
#include <string>

namespace ravlon {

struct RunProgress {
    uint64_t Cycle = 0;     // the cycle being recorded; 1 is the run's first
    double SecondsLeft = 0; // of that cycle, still to record
};

// From the store of a running analysis: the recorded position within the
// cycle is FrameIndex whole blocks and BlockFill samples more.
// completedCycles: the cycles completed since the run started.
RunProgress ProgressOfRun(const TSpectrogram& s, uint64_t completedCycles);

// "Cycle 7, 1.2 s to the next update" (seconds to one decimal, in the user's
// number format).
std::string RunProgressText(const RunProgress& p);

} // namespace ravlon
