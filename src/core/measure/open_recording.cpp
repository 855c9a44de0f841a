#include "core/measure/open_recording.h"

#include "core/base/numtext.h"

#include <filesystem>

namespace ravlon {

namespace {

// The items every recording file carries: a file with none of them was not
// written by the recording component (a text file renamed, a sound file).
constexpr const char* kHeaderItems[] = {"head", "file", "sftot", "nchans"};

// A cycle position of the header; the messages name the file.
int32_t ReadPosition(const TSMPfile& file, const std::string& name, const char* key) {
    const std::string text = file.get_item(key);
    if (text.empty())
        throw EInputError(name + " is not a Ravlon measurement: its header has no item \"" + key +
                          "\"");
    int32_t v = 0;
    if (!TryStrToInt(text, v))
        throw EInputError(name + ": the item \"" + key +
                          "\" of its header is not a whole number ('" + text + "')");
    return v;
}

} // namespace

void CheckRecordingHeader(const TSMPfile& file) {
    const std::string name = std::filesystem::path(file.Filename()).filename().string();
    bool header = false;
    for (const char* key : kHeaderItems) header = header || !file.get_item(key).empty();
    if (!header) throw EInputError(name + " is not a Ravlon recording (no header)");
    for (const char* key : {"pos1", "pos2", "pos3"}) ReadPosition(file, name, key);
}

ReanalysisResult OpenRecordingAnalysis(TSMPfile& file, TSpectrogram& store, int32_t window,
                                       const TOpenRecordingSteps& steps) {
    CheckRecordingHeader(file);
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
    if (steps.OnSetup) steps.OnSetup();
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
