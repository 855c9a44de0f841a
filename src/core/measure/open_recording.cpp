#include "core/measure/open_recording.h"

#include "core/base/numtext.h"

namespace ravlon {

ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       const TOpenRecordingSteps& steps) {
    TSpectrogram::OpenSettings open;
    open.SampFreq = Round(file.channel_rate(0));
    open.Window = window;
    open.Pos1 = StrToInt(file.get_item("pos1"));
    open.Pos2 = StrToInt(file.get_item("pos2"));
    open.Pos3 = StrToInt(file.get_item("pos3"));
    open.Bandwidth = steps.Bandwidth ? steps.Bandwidth() : 500.0;
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckOpen(open);

    if (steps.SetSampFreq)
        steps.SetSampFreq(open.SampFreq);
    else
        store.SetSampFreq(open.SampFreq);
    store.SetupWindow(window);
    store.SetupFFTSize();
    store.FFT().SetWindowSize(plan.WindowSize);
    store.SetPositions(open.Pos1, open.Pos2, open.Pos3);
    if (steps.OnPositions) steps.OnPositions();
    store.ClearStore();
    store.ResetCounters();
    store.RequestRepaint();
    ReanalysisChunk onChunk = steps.OnChunk;
    if (!onChunk)
        onChunk = [&store](const TSMPBlock& block, bool analyse) {
            if (analyse) store.AddSamples(block.Samples, block.Count);
        };
    std::function<void()> onCycleEnd = steps.OnCycleEnd;
    if (!onCycleEnd) onCycleEnd = [&store] { store.UpdateNoiseReference(); };
    return ReanalyseRecording(file, store, onChunk, onCycleEnd);
}

ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       double bandwidth) {
    TOpenRecordingSteps steps;
    steps.Bandwidth = [bandwidth] { return bandwidth; };
    return OpenRecordingAnalysis(file, store, window, steps);
}

} // namespace ravlon
