// What a measurement report says, without any layout: the room, the method,
// the equipment, the positions with their results, the spatial average and
// Tmid. The program's "Export report..." and ravlon-analyze --report fill it
// the same way and hand it to the renderers (report/), which draw the graphs
// and lay it out as HTML or PDF; the CSV of its tables is written here.
//
// Texts for people (ReportFacts, AverageTable) use "." and a few digits; CSV
// and JSON use "." and full precision, as the results writer does.
//
// Pure functions; any thread.
#pragma once

#include "core/bands/band_results_format.h"
#include "core/session/position_analysis.h"
#include "core/session/session_average.h"
#include "core/session/session_manifest.h"

#include <string>
#include <utility>
#include <vector>

namespace ravlon {

struct TReportPosition {
    std::string Label;
    std::string Recording; // the file as the manifest or the command line names it
    std::string Date;
    std::string OutputDevice, InputDevice;
    TResultsReport Results; // its analysis (bands, set-up, cycles)
    double Tmid = TAveragedValue::None;
};

struct TSessionReport {
    std::string Title = "Reverberation time";
    std::string Date; // when the report was made
    TSessionInfo Info;
    std::vector<TReportPosition> Positions; // the positions averaged
    std::vector<std::string> LeftOut;       // labels of positions not averaged, with the reason
    TSessionAverage Average;
    int32_t DecayPosition = 0; // index into Positions of the decay plots
};

// The report of these positions: their Tmid, the average of their bands.
TSessionReport MakeSessionReport(std::vector<TReportPosition> positions, const TSessionInfo& info);

// A position's analysis settings: base, with the bandwidth and window the
// position was measured with where the manifest gives them.
TAnalysisSettings PositionAnalysisSettings(const TSessionPosition& position,
                                           const TAnalysisSettings& base);

// A position of a session with its analysis.
TReportPosition MakeReportPosition(const TSessionPosition& position, TResultsReport results);

// --- Texts the renderers share -------------------------------------------------
// The method section: (what, how) lines.
std::vector<std::pair<std::string, std::string>> ReportMethod(const TSessionReport& report);
// The equipment section: one line per pair of devices used.
std::vector<std::string> ReportEquipment(const TSessionReport& report);
// The room section: (what, value) lines of what is given.
std::vector<std::pair<std::string, std::string>> ReportRoom(const TSessionReport& report);
// A value for people: digits significant digits, "-" when missing.
std::string ReportNumber(double v, int digits = 3);
// Why an averaged value needs care ("valid at 1 of 3 positions"); "" when it needs none.
std::string AveragedNote(const TAveragedValue& value, int32_t positions);

// --- Tables as text --------------------------------------------------------------
// The averaged table for people: a header line naming the positions, one line
// per band, Tmid and the legend.
std::string AverageTable(const TSessionAverage& average, const std::vector<std::string>& labels);
// CSV: nominal_hz, centre_hz, positions, then for edt, t20, t30 the columns
// _s (mean), _std_s, _u_s, _positions (valid count) and _few_positions (1/0).
std::string AverageCsv(const TSessionAverage& average);
// JSON object: band_set, positions (the labels), tmid_s and the array bands.
std::string AverageJson(const TSessionAverage& average, const std::vector<std::string>& labels);

// The per-position table: the results writer's band CSV of every position
// behind a column "position" (its label), with the positions' uncertainties
// t20_u_s and t30_u_s at the end of each line.
std::string PositionsCsv(const std::vector<TReportPosition>& positions);
// The report's tables: PositionsCsv, an empty line, AverageCsv.
std::string ReportCsv(const TSessionReport& report);

} // namespace ravlon
