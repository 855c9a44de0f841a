// The report's model and the texts of its room, method and equipment sections.
#include "core/session/session_report.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace ravlon {

namespace {

// One text for every position when they agree, else "label: text" for each.
std::string Distinct(const TSessionReport& report,
                     const std::function<std::string(const TReportPosition&)>& text) {
    if (report.Positions.empty()) return "-";
    const std::string first = text(report.Positions.front());
    bool same = true;
    for (const TReportPosition& p : report.Positions) same = same && text(p) == first;
    if (same) return first;
    std::string all;
    for (const TReportPosition& p : report.Positions)
        all += (all.empty() ? "" : "; ") + p.Label + ": " + text(p);
    return all;
}

std::string Seconds(double samples, int32_t rate) {
    return rate > 0 ? ReportNumber(samples / rate, 4) + " s" : "-";
}

} // namespace

std::string ReportNumber(double v, int digits) {
    return std::isfinite(v) ? RoundSignificantDot(digits, v) : "-";
}

std::string AveragedNote(const TAveragedValue& value, int32_t positions) {
    if (!value.FewPositions) return "";
    return "valid at " + std::to_string(value.Used.size()) + " of " + std::to_string(positions) +
           " positions";
}

TSessionReport MakeSessionReport(std::vector<TReportPosition> positions, const TSessionInfo& info) {
    TSessionReport report;
    report.Date = SessionDateNow();
    report.Info = info;
    report.Positions = std::move(positions);
    std::vector<TPositionBands> bands;
    TBandSet set = TBandSet::Octave;
    for (TReportPosition& p : report.Positions) {
        set = p.Results.Set;
        p.Tmid = PositionTmid(p.Results.Bands, p.Results.Set);
        bands.push_back({p.Label, p.Results.Cycles, p.Results.Bands});
    }
    report.Average = AverageBands(bands, set);
    return report;
}

TAnalysisSettings PositionAnalysisSettings(const TSessionPosition& position,
                                           const TAnalysisSettings& base) {
    TAnalysisSettings s = base;
    if (position.Settings.Bandwidth > 0) s.Bandwidth = position.Settings.Bandwidth;
    for (size_t w = 0; w < WindowNames.size(); ++w)
        if (LowerCaseAnsi(WindowNames[w]) == LowerCaseAnsi(position.Settings.Window))
            s.Window = static_cast<int32_t>(w);
    return s;
}

TReportPosition MakeReportPosition(const TSessionPosition& position, TResultsReport results) {
    TReportPosition p;
    p.Label = position.Label;
    p.Recording = position.Recording;
    p.Date = position.Date;
    p.OutputDevice = position.OutputDevice;
    p.InputDevice = position.InputDevice;
    p.Results = std::move(results);
    return p;
}

std::vector<std::pair<std::string, std::string>> ReportRoom(const TSessionReport& report) {
    const TSessionInfo& i = report.Info;
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back("Room", i.Room.empty() ? "-" : i.Room);
    if (i.Volume) lines.emplace_back("Volume", ReportNumber(*i.Volume, 6) + " m³");
    if (i.Temperature) lines.emplace_back("Temperature", ReportNumber(*i.Temperature, 4) + " °C");
    if (i.Humidity) lines.emplace_back("Relative humidity", ReportNumber(*i.Humidity, 4) + " %");
    if (!i.Notes.empty()) lines.emplace_back("Notes", i.Notes);
    return lines;
}

std::vector<std::pair<std::string, std::string>> ReportMethod(const TSessionReport& report) {
    std::vector<std::pair<std::string, std::string>> lines;
    lines.emplace_back(
        "Method",
        "Interrupted noise (ISO 3382-2): white noise played in a repeating cycle, the decays "
        "averaged over the cycles at each position; " +
            Distinct(report, [](const TReportPosition& p) {
                if (p.Results.Method == TBandMethod::Spectrogram)
                    return std::string("band decays from the FFT bins of each band, a point per "
                                       "frame");
                return std::string("band decays from band-pass filtered signals (") +
                       (p.Results.Direction == TFilterDirection::Forward ? "forward"
                                                                         : "time-reversed") +
                       " filters), a point per 1 ms";
            }));
    lines.emplace_back("Cycle", Distinct(report, [](const TReportPosition& p) {
                           const TResultsReport& r = p.Results;
                           return "pre-noise silence " + Seconds(r.Pos1, r.SampFreq) + ", noise " +
                                  Seconds(r.Pos2 - r.Pos1, r.SampFreq) + ", post-noise silence " +
                                  Seconds(r.Pos3 - r.Pos2, r.SampFreq) + "; sampling rate " +
                                  std::to_string(r.SampFreq) + " Hz";
                       }));
    lines.emplace_back("Cycles per position", Distinct(report, [](const TReportPosition& p) {
                           return std::to_string(p.Results.Cycles);
                       }));
    std::string bands =
        report.Average.Set == TBandSet::Octave ? "octave bands" : "one-third-octave bands";
    if (!report.Average.Bands.empty())
        bands += ", " + ReportNumber(report.Average.Bands.front().Band.Nominal, 5) + " Hz to " +
                 ReportNumber(report.Average.Bands.back().Band.Nominal, 5) + " Hz";
    lines.emplace_back("Bands", bands);
    lines.emplace_back("Spectrogram analysis", Distinct(report, [](const TReportPosition& p) {
                           return "bandwidth " + ReportNumber(p.Results.Bandwidth, 6) + " Hz, " +
                                  WindowNames.at(static_cast<size_t>(p.Results.Window)) + " window";
                       }));
    lines.emplace_back("Drops (per-bin T60)", Distinct(report, [](const TReportPosition& p) {
                           return "initial " + ReportNumber(p.Results.InitialDrop, 6) +
                                  " dB, additional " + ReportNumber(p.Results.AdditionalDrop, 6) +
                                  " dB";
                       }));
    lines.emplace_back("Evaluation",
                       "EDT from 0 to -10 dB, T20 from -5 to -25 dB, T30 from -5 to -35 dB below "
                       "the steady level, least-squares lines extrapolated to 60 dB. A value is "
                       "valid when the decay passes the end of its range with the background at "
                       "least 10 dB below it and enough points in the range.");
    lines.emplace_back(
        "Average",
        "Arithmetic mean over the positions where the band's value is valid (ISO 3382-2); s: "
        "standard deviation between those positions; u: standard uncertainty of the mean, "
        "u(T20) = 0.88 T sqrt((1 + 1.90/n) / (N B T)), u(T30) = 0.55 T sqrt((1 + 1.52/n) / "
        "(N B T)), with N positions, n decays at each (their harmonic mean) and B = 0.71 fc "
        "(octaves) or 0.23 fc (one-third octaves).");
    return lines;
}

std::vector<std::string> ReportEquipment(const TSessionReport& report) {
    std::vector<std::pair<std::string, std::string>> pairs; // devices, labels
    for (const TReportPosition& p : report.Positions) {
        const std::string devices =
            p.OutputDevice.empty() && p.InputDevice.empty()
                ? std::string("Devices not recorded")
                : "Output: " + (p.OutputDevice.empty() ? std::string("-") : p.OutputDevice) +
                      "; input: " + (p.InputDevice.empty() ? std::string("-") : p.InputDevice);
        const auto it = std::find_if(pairs.begin(), pairs.end(),
                                     [&](const auto& e) { return e.first == devices; });
        if (it == pairs.end())
            pairs.emplace_back(devices, p.Label);
        else
            it->second += ", " + p.Label;
    }
    std::vector<std::string> lines;
    for (const auto& [devices, labels] : pairs) lines.push_back(devices + " (" + labels + ")");
    return lines;
}

} // namespace ravlon
