// Band and per-bin results as text: the table, CSV and JSON that ravlon-analyze
// prints, and the file of averaged decays. The program's result export writes
// the same text from the same report, so a file exported from the window and
// the tool's output for the same recording and settings are identical.
//
// Numbers in CSV and JSON use "." and 17 significant digits (they read back to
// the same double); a missing value (NaN, infinity) is empty in CSV and null in
// JSON. JSON text is valid UTF-8 whatever bytes the file name holds (invalid
// ones become U+FFFD). The table is for people: 3 to 6 digits, "-" for a missing
// value, "*" after a value that is not valid. T20 and T30 carry their ISO
// 3382-2 standard deviation for the report's Cycles decays at one position
// (band_uncertainty.h): "sigma_s" in JSON, "t20_sigma_s" and "t30_sigma_s" in
// CSV, the "+-" columns of the table.
//
// Pure functions of the report, any thread.
#pragma once

#include "core/bands/band_decays.h"
#include "core/bands/band_evaluation.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ravlon {

// Where the band decays come from: band-filtered signals at 1 ms
// (EvaluateRecordingBands, TBandDecays) or the spectrogram's frames (EvaluateBands).
enum class TBandMethod { Time, Spectrogram };
// "time", "spectrogram": the names of the option and of the output.
const char* BandMethodName(TBandMethod method);

// A number as the table shows it: digits significant digits with ".", "-" for
// a missing value (NaN, infinity).
std::string TableNumber(double v, int digits);

// The window functions by TFFTWindow ordinal, as options and results name them.
inline constexpr std::array<const char*, 5> WindowNames{"rectangular", "Bartlett", "Hamming",
                                                        "Hanning", "Blackman"};

// What the results say: the analysis set-up and its results, filled by whoever
// evaluated the recording.
struct TResultsReport {
    std::string File; // the recording's name as given (any bytes)

    // The spectrogram analysis and the per-bin T60 evaluation.
    int32_t SampFreq = 0;         // Hz
    int32_t FFTSize = 0;          // samples per frame
    int32_t Window = 3;           // TFFTWindow ordinal, 0 .. 4
    double Bandwidth = 0;         // Hz
    int32_t Pos1 = 0, Pos2 = 0;   // the noise, samples into the cycle
    int32_t Pos3 = 0;             // the cycle length, samples
    int64_t Cycles = 0;           // complete cycles analysed
    double InitialDrop = 0;       // dB
    double AdditionalDrop = 0;    // dB
    std::optional<double> Volume; // m^3: adds the radius and the limit frequency per band

    // PerBin: the output is the per-bin evaluation (EvaluateT60's three
    // arrays, one value per bin; bin b at b SampFreq / FFTSize Hz), else the bands.
    bool PerBin = false;
    std::vector<double> T60, StartFrame, EndFrame;

    // The bands of Set, evaluated by Method (Direction: the time method's filters).
    TBandSet Set = TBandSet::Octave;
    TBandMethod Method = TBandMethod::Time;
    TFilterDirection Direction = TFilterDirection::Forward;
    std::vector<TBandResult> Bands;
};

// The table: a header of the set-up, then one line per band (or bin).
std::string ResultsTable(const TResultsReport& report);
// CSV: a line of column names, then one line per band (or bin).
std::string ResultsCsv(const TResultsReport& report);
// JSON: one object with the set-up and an array "bands" (or "bins").
std::string ResultsJson(const TResultsReport& report);

// The averaged decay of every band as CSV: a column "time_s" (seconds after the
// noise stop as played, negative during the noise; the whole cycle, one row per
// decay point) and one column per band, named by its nominal frequency
// ("1000_hz"), holding the level in dB re the band's steady level. The bands
// must share one time axis (the same Step and Time0, as the bands of one
// evaluation do); raises std::invalid_argument otherwise.
std::string DecaysCsv(const std::vector<TBandResult>& bands);

// A number as the CSV above writes it: "." and 17 significant digits, "" for a
// missing value (NaN, infinity); for other tables of the same kind.
std::string CsvNumber(double v);
// A text field of the CSV: quoted when it holds a comma, a quote or a line break.
std::string CsvString(std::string_view s);

} // namespace ravlon
