// The results of a recording file, as ravlon-analyze reports them and as the
// program's result export writes them: one function, so a file exported from
// the window equals the tool's output for the same recording and settings.
//
// The per-bin part is the main window's: the set-up and re-analysis it runs
// when it opens the recording (OpenRecordingAnalysis) and the per-bin T60 of
// the reverberation time view (EvaluateT60). The bands come from band-filtered
// signals (EvaluateRecordingBands, the whole file from its first sample) or
// from that spectrogram (EvaluateBands), each band with the median of its
// bins' T60; with a room volume, bands below the Schroeder frequency are
// marked (MarkBelowSchroeder).
//
// Thread: the caller's; allocates the store and the band sums for the call.
#pragma once

#include "core/bands/band_results_format.h"
#include "core/recording/recording_file.h"

namespace ravlon {

// The analysis failed: no complete cycle in the file.
class EAnalysisFailed : public Exception {
public:
    using Exception::Exception;
};

// rec: an open recording with the items "pos1".."pos3" and a sampling rate.
// report: the settings in (File, Window, Bandwidth, InitialDrop,
// AdditionalDrop, Volume, PerBin, Set, Method, Direction); the rest is filled.
// Raises what OpenRecordingAnalysis raises (EConvertError for a missing item,
// ESpectrogramError, EFFTError "Window size out of range"), and EAnalysisFailed
// "the file holds no complete cycle (...)" before any large store is made
// when the file is shorter than one analysed cycle.
void AnalyseRecordingResults(TSMPfile& rec, TResultsReport& report);

} // namespace ravlon
