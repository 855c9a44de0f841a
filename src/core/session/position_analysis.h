// The analysis of one recording as ravlon-analyze runs it and as a session
// evaluates each position, so both give the same numbers: the main window's
// set-up and re-analysis (OpenRecordingAnalysis), the per-bin T60 evaluation
// (EvaluateT60), and the band evaluation (EDT, T20, T30 per octave or
// one-third octave, from band-filtered signals or from the spectrogram),
// gathered in the report the results writer prints (band_results_format.h).
//
// Thread: the caller's; one recording file at a time.
#pragma once

#include "core/bands/band_results_format.h"
#include "core/bands/recording_results.h"
#include "core/recording/recording_file.h"

#include <optional>
#include <string>

namespace ravlon {

// The recording cannot be analysed: not a recording of a run, no rate.
class EAnalysisInput : public Exception {
public:
    using Exception::Exception;
};

struct TAnalysisSettings {
    double Bandwidth = 500.0;                        // Hz
    int32_t Window = 3;                              // TFFTWindow ordinal
    double InitialDrop = 5.0, AdditionalDrop = 30.0; // dB
    bool PerBin = false;                             // per-bin results instead of bands
    TBandSet Set = TBandSet::Octave;
    TBandMethod Method = TBandMethod::Time;
    TFilterDirection Direction = TFilterDirection::Forward;
    std::optional<double> Volume; // m^3
};

// Checks that an open recording carries what an analysis needs: the items
// "pos1".."pos3" as integers and a sampling rate. name: the file's name as the
// messages give it. Raises EAnalysisInput.
void CheckAnalysisInput(TSMPfile& rec, const std::string& name);

// Analyses an open, checked recording (rec stays open) with
// AnalyseRecordingResults, the analysis the program's result export runs too.
// name fills TResultsReport::File. Raises EAnalysisFailed for a file without
// a complete cycle and whatever the set-up refuses (ESpectrogramError,
// EFFTError ...).
TResultsReport AnalyseRecording(TSMPfile& rec, const std::string& name,
                                const TAnalysisSettings& settings);

// Opens path read-only, checks it and analyses it; name as above. Raises
// EAnalysisInput for a file that cannot be opened or checked.
TResultsReport AnalyseRecordingFile(const std::string& path, const std::string& name,
                                    const TAnalysisSettings& settings);

} // namespace ravlon
