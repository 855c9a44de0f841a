// The averaged and per-position tables as text, CSV and JSON.
#include "core/session/session_report.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cmath>

namespace ravlon {

namespace {

using Json = nlohmann::ordered_json;

struct Measure {
    const char* name;
    const TAveragedValue TAveragedBand::*value;
};
constexpr std::array<Measure, 3> kMeasures{
    {{"edt", &TAveragedBand::EDT}, {"t20", &TAveragedBand::T20}, {"t30", &TAveragedBand::T30}}};

std::string Pad(std::string s, size_t width) {
    // Width in characters: UTF-8 continuation bytes take no column.
    size_t columns = 0;
    for (unsigned char c : s) columns += (c & 0xC0) != 0x80;
    if (columns < width) s.insert(0, width - columns, ' ');
    return s;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return lines;
}

Json JsonNumber(double v) {
    return std::isfinite(v) ? Json(v) : Json();
}

} // namespace

std::string AverageTable(const TSessionAverage& average, const std::vector<std::string>& labels) {
    std::string out = "Average of " + std::to_string(average.Positions) + " position(s):";
    for (size_t i = 0; i < labels.size(); ++i) out += (i ? ", " : " ") + labels[i];
    out += "\n\n" + Pad("Band [Hz]", 9);
    for (const char* m : {"EDT", "T20", "T30"})
        out += Pad(std::string(m) + " [s]", 10) + Pad("s [s]", 8) +
               (std::string(m) == "EDT" ? "" : Pad("u [s]", 8)) + Pad("N", 4);
    out += "  notes\n";
    for (const TAveragedBand& b : average.Bands) {
        out += Pad(ReportNumber(b.Band.Nominal, 5), 9);
        std::string notes;
        for (const Measure& m : kMeasures) {
            const TAveragedValue& v = b.*(m.value);
            out += Pad(ReportNumber(v.Mean) + (v.FewPositions && v.HasValue() ? "!" : " "), 10) +
                   Pad(ReportNumber(v.StdDev, 2), 8) +
                   (m.value == &TAveragedBand::EDT ? "" : Pad(ReportNumber(v.Uncertainty, 2), 8)) +
                   Pad(std::to_string(v.Used.size()), 4);
            const std::string note = AveragedNote(v, average.Positions);
            if (!note.empty())
                notes += std::string(notes.empty() ? "" : "; ") + m.name + " " + note;
        }
        out += "  " + notes + "\n";
    }
    out += "\nTmid: " + ReportNumber(average.Tmid) +
           " s\nN: positions where the value is valid; s: standard deviation between them; u: "
           "ISO 3382-2 uncertainty of the mean; ! valid at fewer than half of the positions\n";
    return out;
}

std::string AverageCsv(const TSessionAverage& average) {
    std::string out = "nominal_hz,centre_hz,positions";
    for (const Measure& m : kMeasures)
        for (const char* col : {"_s", "_std_s", "_u_s", "_positions", "_few_positions"})
            out += std::string(",") + m.name + col;
    out += "\n";
    for (const TAveragedBand& b : average.Bands) {
        out += CsvNumber(b.Band.Nominal) + "," + CsvNumber(b.Band.Centre) + "," +
               std::to_string(average.Positions);
        for (const Measure& m : kMeasures) {
            const TAveragedValue& v = b.*(m.value);
            out += "," + CsvNumber(v.Mean) + "," + CsvNumber(v.StdDev) + "," +
                   CsvNumber(v.Uncertainty) + "," + std::to_string(v.Used.size()) + "," +
                   (v.FewPositions ? "1" : "0");
        }
        out += "\n";
    }
    return out;
}

std::string AverageJson(const TSessionAverage& average, const std::vector<std::string>& labels) {
    Json doc;
    doc["band_set"] = average.Set == TBandSet::Octave ? "octave" : "third";
    doc["positions"] = labels;
    doc["tmid_s"] = JsonNumber(average.Tmid);
    Json& bands = doc["bands"] = Json::array();
    for (const TAveragedBand& b : average.Bands) {
        Json band;
        band["nominal_hz"] = b.Band.Nominal;
        band["centre_hz"] = b.Band.Centre;
        for (const Measure& m : kMeasures) {
            const TAveragedValue& v = b.*(m.value);
            band[m.name] = {{"mean_s", JsonNumber(v.Mean)},
                            {"std_s", JsonNumber(v.StdDev)},
                            {"u_s", JsonNumber(v.Uncertainty)},
                            {"used", v.Used},
                            {"few_positions", v.FewPositions}};
        }
        bands.push_back(std::move(band));
    }
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string PositionsCsv(const std::vector<TReportPosition>& positions) {
    std::string out;
    for (const TReportPosition& p : positions) {
        const std::vector<std::string> lines = Lines(ResultsCsv(p.Results));
        if (lines.empty()) continue;
        if (out.empty()) out = "position," + lines[0] + ",t20_u_s,t30_u_s\n";
        for (size_t i = 1; i < lines.size() && i <= p.Results.Bands.size(); ++i) {
            const TBandResult& b = p.Results.Bands[i - 1];
            out += CsvString(p.Label) + "," + lines[i] + "," +
                   CsvNumber(
                       PositionUncertainty(b.T20, true, b.Band, p.Results.Set, p.Results.Cycles)) +
                   "," +
                   CsvNumber(
                       PositionUncertainty(b.T30, false, b.Band, p.Results.Set, p.Results.Cycles)) +
                   "\n";
        }
    }
    return out;
}

std::string ReportCsv(const TSessionReport& report) {
    return PositionsCsv(report.Positions) + "\n" + AverageCsv(report.Average);
}

} // namespace ravlon
