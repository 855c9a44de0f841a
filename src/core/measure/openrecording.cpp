#include "measure/openrecording.h"

#include "recording/numtext.h"

namespace ravlon {

ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       const TOpenRecordingSteps& steps) {
    const int32_t rate = Round(file.channel_rate(0));
    if (steps.SetSampFreq)
        steps.SetSampFreq(rate);
    else
        store.SetSampFreq(rate);
    store.SetupWindow(window);
    const int32_t p1 = StrToInt(file.get_item("pos1"));
    const int32_t p2 = StrToInt(file.get_item("pos2"));
    const int32_t p3 = StrToInt(file.get_item("pos3"));
    store.SetupFFTSize();
    store.SetupWindowSize(steps.Bandwidth ? steps.Bandwidth() : 500.0);
    store.SetPositions(p1, p2, p3);
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
