// One recording's analysis, shared by ravlon-analyze and the session.
#include "core/session/position_analysis.h"

#include "core/base/numtext.h"

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
    TResultsReport report;
    report.File = name;
    report.Window = settings.Window;
    report.Bandwidth = settings.Bandwidth;
    report.InitialDrop = settings.InitialDrop;
    report.AdditionalDrop = settings.AdditionalDrop;
    report.Volume = settings.Volume;
    report.PerBin = settings.PerBin;
    report.Set = settings.Set;
    report.Method = settings.Method;
    report.Direction = settings.Direction;
    AnalyseRecordingResults(rec, report);
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
