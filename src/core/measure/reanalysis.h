// Re-analysis of a stored recording: reads channel 0 of an open recording
// cycle by cycle and hands every chunk to the caller's recorded-buffer handler
// (which feeds the analysis), exactly as if it came from the sound input.
// The main window runs it when a recording is opened, and the command-line
// analysis tool runs the same code.
//
// Every cycle's block f lands in frame f: of each cycle only its whole blocks
// (frames x FFTSize samples) are analysed, the rest of the cycle is handed on
// without analysis (so a copy of the recording stays complete), and the next
// cycle starts with frame 0 and an empty block. When the FFT size divides the
// cycle (a recording opened at the size it was made with) nothing is left out.
// Chunks hold at most 16384 samples (the capacity of a sample block), so FFT
// sizes above that are read in pieces.
#pragma once

#include "core/measure/spectrogram.h"
#include "core/recording/recording_file.h"

#include <functional>

namespace ravlon {

struct ReanalysisResult {
    int64_t Samples = 0; // samples handed to the handler for analysis
    int64_t Skipped = 0; // samples handed on without analysis
    int64_t Cycles = 0;  // complete cycles
};

// Called for every chunk in order (block.Count samples); analyse is false for
// the samples of a cycle's tail that are not analysed.
using ReanalysisChunk = std::function<void(const TSMPBlock& block, bool analyse)>;

// file: open, with the cycle positions in store (Pos3 > 0) and store set up for
// them. onCycleEnd() runs after the analysed part of every complete cycle. The
// store itself is not fed here: the handler does that (the main window also
// records the chunk).
ReanalysisResult ReanalyseRecording(TSMPfile& file, const TSpectrogram& store,
                                    const ReanalysisChunk& onChunk,
                                    const std::function<void()>& onCycleEnd);

} // namespace ravlon
