#include "core/bands/recording_results.h"

#include "core/bands/band_decays.h"
#include "core/measure/open_recording.h"
#include "core/views/t60_evaluation.h"

#include <algorithm>
#include <string>

namespace ravlon {

void AnalyseRecordingResults(TSMPfile& rec, TResultsReport& report) {
    TFFT fft;
    TSpectrogram store(fft);
    const auto noCycle = [&store](int64_t samples) {
        return EAnalysisFailed("the file holds no complete cycle (" + std::to_string(samples) +
                               " samples, a cycle is " + std::to_string(store.Pos3()) + ")");
    };
    TOpenRecordingSteps steps;
    steps.Bandwidth = [&report] { return report.Bandwidth; };
    // The store of a long cycle takes up to 1 GiB: a file too short for one
    // analysed cycle is refused before it is allocated.
    steps.OnPositions = [&] {
        const int64_t size = std::max(fft.FFTSize(), 1);
        if (rec.get_sample_count(0) < store.Pos3() / size * size)
            throw noCycle(rec.get_sample_count(0));
    };
    const ReanalysisResult reanalysis = OpenRecordingAnalysis(rec, store, report.Window, steps);
    if (reanalysis.Cycles == 0) throw noCycle(reanalysis.Samples + reanalysis.Skipped);

    report.SampFreq = store.SampFreq();
    report.FFTSize = store.BlockSize();
    report.Pos1 = store.Pos1();
    report.Pos2 = store.Pos2();
    report.Pos3 = store.Pos3();
    report.Cycles = reanalysis.Cycles;
    EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), report.InitialDrop, report.AdditionalDrop,
                report.T60, report.StartFrame, report.EndFrame);
    if (report.PerBin) return;
    if (report.Method == TBandMethod::Spectrogram) {
        report.Bands = EvaluateBands(store, report.Set, report.T60);
    } else {
        TBandDecayOptions options;
        options.Set = report.Set;
        options.Direction = report.Direction;
        TBandDecayResult decays = EvaluateRecordingBands(rec, options);
        // The filters need the whole cycle, the spectrogram only its whole
        // frames: the bands report the cycles they average.
        if (decays.Cycles == 0) throw noCycle(rec.get_sample_count(0));
        report.Cycles = decays.Cycles;
        report.Bands = std::move(decays.Bands);
        for (TBandResult& band : report.Bands) SummariseBinT60(store, report.T60, band);
    }
    if (report.Volume) MarkBelowSchroeder(report.Bands, *report.Volume);
}

} // namespace ravlon
