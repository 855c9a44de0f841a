#include "core/measure/run_progress.h"

#include "core/base/numtext.h"

#include <algorithm>

namespace ravlon {

RunProgress ProgressOfRun(const TSpectrogram& s, uint64_t completedCycles) {
    RunProgress p;
    p.Cycle = completedCycles + 1;
    if (s.SampFreq() <= 0) return p;
    const int64_t recorded = int64_t(s.FrameIndex()) * s.BlockSize() + s.BlockFill();
    p.SecondsLeft = double(std::max<int64_t>(0, s.Pos3() - recorded)) / s.SampFreq();
    return p;
}

std::string RunProgressText(const RunProgress& p) {
    return "Cycle " + std::to_string(p.Cycle) + ", " + FormatFloat("0.0", p.SecondsLeft) +
           " s to the next update";
}

} // namespace ravlon
