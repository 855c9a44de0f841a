// Opening a recording for analysis: the set-up sequence and the re-analysis
// that the main window runs when the user opens a recording, without Qt, so the
// command-line analysis tool runs the very same steps.
//
// All or nothing up to the re-analysis: first everything is read and checked
// (CheckRecordingHeader, the rate Round(channel_rate(0)), the items "pos1",
// "pos2", "pos3", the bandwidth hook, then TSpectrogram::CheckOpen), and only
// then applied, so a bad file or a bandwidth text that does not convert leaves
// the store, FFT1 and the sound components' rates as they were and the
// measurement on screen keeps its analysis. A file that is not a measurement
// recording raises EInputError naming the file; the bandwidth hook raises what
// it raises; the checks raise ESpectrogramError or EFFTError "Window size out
// of range".
//
// Order of the effects: SetSampFreq, SetupWindow(window), SetupFFTSize, the
// window size, SetPositions, OnPositions, ClearStore, ResetCounters, OnSetup,
// RequestRepaint, then ReanalyseRecording with OnChunk and OnCycleEnd.
//
// file: open (read-only is enough); it stays open. Thread: the caller's only.
#pragma once

#include "core/measure/reanalysis.h"
#include "core/measure/spectrogram.h"
#include "core/recording/recording_file.h"

#include <cstdint>
#include <functional>

namespace ravlon {

// The header of an opened file holds a measurement: the items every recording
// carries and the three cycle positions as whole numbers. EInputError naming
// the file otherwise: "notes.ravlon is not a Ravlon recording (no header)".
void CheckRecordingHeader(const TSMPfile& file);

struct TOpenRecordingSteps {
    // The owner's SetSampFreq; empty: the store's own SetSampFreq.
    std::function<void(int32_t)> SetSampFreq;
    // The bandwidth in Hz, asked for once, before anything is applied (an
    // owner that reads an edit converts its text here; a conversion error
    // ends the open with nothing changed). Empty: 500 Hz.
    std::function<double()> Bandwidth;
    // After the positions are applied, before the store is cleared (the main
    // window writes its duration edits, the temporary recording and its axes).
    std::function<void()> OnPositions;
    // When the new store stands (frames and bins of the recording's set-up),
    // before any sample is read: the main window tells the views.
    std::function<void()> OnSetup;
    // Every chunk of the recording; empty: AddSamples of the chunks to analyse.
    ReanalysisChunk OnChunk;
    // After the analysed part of every complete cycle: the spectrogram paint,
    // which updates the noise reference once. Empty: UpdateNoiseReference.
    std::function<void()> OnCycleEnd;
};

ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       const TOpenRecordingSteps& steps);

// The same with a bandwidth value and the defaults of every hook: the store ends
// up exactly as the main window's store right after it opened the recording.
ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       double bandwidth);

} // namespace ravlon
