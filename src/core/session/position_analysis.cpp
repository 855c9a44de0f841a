// One recording's analysis, shared by ravlon-analyze and the session.
#include "core/session/position_analysis.h"

#include "core/bands/band_decays.h"
#include "core/bands/band_evaluation.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"

#include <algorithm>

namespace ravlon {

void CheckAnalysisInput(TSMPfile& rec, const std::string& name) {
    for (const char* key : {"pos1", "pos2", "pos3"}) {
        const std::string text = rec.get_item(key);
        int32_t v = 0;
        if (text.empty())
            throw EAnalysisInput(name + ": the recording has no item \"" + key +
                                 "\" (not made by a measurement run)");
        if (!TryStrToInt(text, v))
            throw EAnalysisInput(name + ": the item \"" + std::string(key) +
                                 "\" is not an integer: '" + text + "'");
    }
    try {
        const double rate = rec.channel_rate(0);
        if (!(rate >= 1)) throw EAnalysisInput(name + ": the recording has no sampling rate");
    } catch (const EInvalidSMPHeader& e) {
        throw EAnalysisInput(name + ": " + e.what());
    }
}

TResultsReport AnalyseRecording(TSMPfile& rec, const std::string& name,
                                const TAnalysisSettings& settings) {
    TFFT fft;
    TSpectrogram store(fft);
    const auto noCycle = [&store](int64_t samples) {
        return EAnalysisFailed("the file holds no complete cycle (" + std::to_string(samples) +
                               " samples, a cycle is " + std::to_string(store.Pos3()) + ")");
    };
    TOpenRecordingSteps steps;
    steps.Bandwidth = [&settings] { return settings.Bandwidth; };
    // The store of a long cycle takes up to 1 GiB: a file too short for one
    // analysed cycle is refused before it is allocated.
    steps.OnPositions = [&] {
        const int64_t size = std::max(fft.FFTSize(), 1);
        if (rec.get_sample_count(0) < store.Pos3() / size * size)
            throw noCycle(rec.get_sample_count(0));
    };
    const ReanalysisResult reanalysis = OpenRecordingAnalysis(rec, store, settings.Window, steps);
    if (reanalysis.Cycles == 0) throw noCycle(reanalysis.Samples + reanalysis.Skipped);

    TResultsReport report;
    report.File = name;
    report.SampFreq = store.SampFreq();
    report.FFTSize = store.BlockSize();
    report.Window = settings.Window;
    report.Bandwidth = settings.Bandwidth;
    report.Pos1 = store.Pos1();
    report.Pos2 = store.Pos2();
    report.Pos3 = store.Pos3();
    report.Cycles = reanalysis.Cycles;
    report.InitialDrop = settings.InitialDrop;
    report.AdditionalDrop = settings.AdditionalDrop;
    report.Volume = settings.Volume;
    report.PerBin = settings.PerBin;
    report.Set = settings.Set;
    report.Method = settings.Method;
    report.Direction = settings.Direction;
    EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), settings.InitialDrop,
                settings.AdditionalDrop, report.T60, report.StartFrame, report.EndFrame);
    if (!report.PerBin && settings.Method == TBandMethod::Spectrogram) {
        report.Bands = EvaluateBands(store, report.Set, report.T60);
    } else if (!report.PerBin) {
        TBandDecayOptions decayOptions;
        decayOptions.Set = report.Set;
        decayOptions.Direction = report.Direction;
        TBandDecayResult decays = EvaluateRecordingBands(rec, decayOptions);
        // The filters need the whole cycle, the spectrogram only its whole frames:
        // the bands report the cycles they average.
        if (decays.Cycles == 0) throw noCycle(rec.get_sample_count(0));
        report.Cycles = decays.Cycles;
        report.Bands = std::move(decays.Bands);
        for (TBandResult& band : report.Bands) SummariseBinT60(store, report.T60, band);
    }
    return report;
}

TResultsReport AnalyseRecordingFile(const std::string& path, const std::string& name,
                                    const TAnalysisSettings& settings) {
    if (path.size() > TSMPfile::MaxShortString)
        throw EAnalysisInput(name + ": the file name is longer than 255 characters");
    TSMPfile rec;
    if (!rec.open_file(path, true))
        throw EAnalysisInput(name + ": not a readable recording (" + rec.LastError() + ")");
    struct Closer {
        TSMPfile& f;
        ~Closer() { f.close_file(); }
    } closer{rec};
    CheckAnalysisInput(rec, name);
    return AnalyseRecording(rec, name, settings);
}

} // namespace ravlon
