#include "core/measure/reanalysis.h"

#include <algorithm>
#include <memory>

namespace ravlon {

namespace {

// Reads up to `count` samples of channel 0 in chunks and hands them on.
// Returns false at the end of the data.
bool Transfer(TSMPfile& file, TSMPBlock& block, int64_t count, bool analyse,
              const ReanalysisChunk& onChunk, int64_t& handed) {
    while (count > 0) {
        auto want = static_cast<int32_t>(std::min<int64_t>(count, TSMPfile::BlockSamples));
        file.setChunknSamples(want);
        file.read_block(0, block);
        int32_t n = std::clamp(block.Count, 0, want);
        if (n == 0) return false;
        block.Count = n;
        onChunk(block, analyse);
        handed += n;
        count -= n;
        if (n < want) return false;
    }
    return true;
}

} // namespace

ReanalysisResult ReanalyseRecording(TSMPfile& file, const TSpectrogram& store,
                                    const ReanalysisChunk& onChunk,
                                    const std::function<void()>& onCycleEnd) {
    ReanalysisResult result;
    const int64_t pos3 = store.Pos3();
    const int64_t analysed = static_cast<int64_t>(store.Frames()) * store.BlockSize();
    if (pos3 <= 0 || analysed <= 0 || analysed > pos3) return result;
    auto block = std::make_unique<TSMPBlock>();
    file.set_position(0, 0);
    for (;;) {
        if (!Transfer(file, *block, analysed, true, onChunk, result.Samples)) break;
        ++result.Cycles;
        onCycleEnd();
        if (!Transfer(file, *block, pos3 - analysed, false, onChunk, result.Skipped)) break;
    }
    return result;
}

} // namespace ravlon
