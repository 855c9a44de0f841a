// Band and per-bin results as table, CSV and JSON text.
#include "core/bands/band_results_format.h"

#include "core/bands/band_uncertainty.h"
#include "core/base/errors.h"
#include "core/views/view_math.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace ravlon {

namespace {

using Json = nlohmann::ordered_json;

// --- Numbers and strings as text ---------------------------------------------------

std::string Digits(double v, int digits) {
    std::array<char, 40> buf{};
    auto [end, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, digits);
    if (ec != std::errc()) return "";
    return std::string(buf.data(), end);
}
} // namespace

std::string CsvNumber(double v) {
    return std::isfinite(v) ? Digits(v, 17) : "";
}
std::string CsvString(std::string_view s) {
    if (s.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(s);
    std::string out = "\"";
    for (char c : s) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

namespace {

// For the table: a few digits, "-" for a missing value.
std::string Short(double v, int digits) {
    return TableNumber(v, digits);
}
std::string Pad(std::string s, size_t width) {
    if (s.size() < width) s.insert(0, width - s.size(), ' ');
    return s;
}

// --- JSON layout -----------------------------------------------------------------------
// nlohmann's dump would put every member on a line of its own and write the
// shortest round-trip digits; the results keep one line per band or bin and 17
// digits, so the layout is written here and nlohmann writes the strings.

void Scalar(const Json& v, std::string& out) {
    if (v.is_number_float())
        out += std::isfinite(v.get<double>()) ? Digits(v.get<double>(), 17) : "null";
    else
        out += v.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// An object on one line ({"a": 1, "b": 2}), except that a member holding an
// object, and the member after one, start a new line at indent.
void Inline(const Json& v, const std::string& indent, std::string& out) {
    if (!v.is_object()) {
        Scalar(v, out);
        return;
    }
    out += '{';
    bool first = true, afterObject = false;
    for (const auto& [key, value] : v.items()) {
        if (!first) out += value.is_object() || afterObject ? ",\n" + indent : std::string(", ");
        Scalar(Json(key), out);
        out += ": ";
        Inline(value, indent, out);
        first = false;
        afterObject = value.is_object();
    }
    out += '}';
}

// One member per line; an array holds one element per line.
std::string Layout(const Json& doc) {
    std::string out = "{\n";
    size_t member = 0;
    for (const auto& [key, value] : doc.items()) {
        out += "  ";
        Scalar(Json(key), out);
        out += ": ";
        if (value.is_array()) {
            out += '[';
            for (size_t k = 0; k < value.size(); ++k) {
                out += k ? ",\n    " : "\n    ";
                Inline(value[k], "     ", out);
            }
            out += "\n  ]";
        } else {
            Inline(value, "   ", out);
        }
        out += ++member < doc.size() ? ",\n" : "\n";
    }
    return out + "}\n";
}

// --- Shared pieces -------------------------------------------------------------------

struct Measure {
    const char* name;
    const TDecayFit TBandResult::*fit;
    bool sigma; // an ISO 3382-2 uncertainty of this measure
    TSigmaRange range;
};
constexpr std::array<Measure, 3> kMeasures{{{"edt", &TBandResult::EDT, false, TSigmaRange::T20},
                                            {"t20", &TBandResult::T20, true, TSigmaRange::T20},
                                            {"t30", &TBandResult::T30, true, TSigmaRange::T30}}};

// The uncertainty of a measure of band b from the report's cycles, one position.
double SigmaOf(const TResultsReport& r, const TBandResult& b, const Measure& m) {
    return BandSigma(m.range, b, r.Set, static_cast<double>(r.Cycles));
}

// f of the band's reverberation time; NaN without one, or when f fails.
template <class F> double OfReverberationTime(const TBandResult& r, F f) {
    const double t = r.ReverberationTime();
    if (!(t > 0)) return TBandResult::None;
    try {
        return f(t);
    } catch (const EMathError&) {
        return TBandResult::None;
    }
}
double Radius(const TBandResult& r, double volume) {
    return OfReverberationTime(r, [volume](double t) { return ReverberationRadius(volume, t); });
}
double Limit(const TBandResult& r, double volume) {
    return OfReverberationTime(r, [volume](double t) { return LimitFrequency(t, volume); });
}

double BinFrequency(const TResultsReport& r, size_t b) {
    return static_cast<double>(b) * r.SampFreq / r.FFTSize;
}
const char* WindowName(const TResultsReport& r) {
    return WindowNames.at(static_cast<size_t>(r.Window));
}
const char* SetName(TBandSet set) {
    return set == TBandSet::Octave ? "octave" : "third";
}
const char* DirectionName(TFilterDirection d) {
    return d == TFilterDirection::Forward ? "forward" : "reversed";
}
// The time method has no bins: its bands are filters.
bool HasBins(const TResultsReport& r) {
    return r.Method == TBandMethod::Spectrogram;
}

} // namespace

const char* BandMethodName(TBandMethod method) {
    return method == TBandMethod::Time ? "time" : "spectrogram";
}

std::string TableNumber(double v, int digits) {
    return std::isfinite(v) ? Digits(v, digits) : "-";
}

std::string ResultsJson(const TResultsReport& r) {
    Json doc;
    doc["file"] = r.File;
    doc["samp_freq"] = r.SampFreq;
    doc["fft_size"] = r.FFTSize;
    doc["window"] = WindowName(r);
    doc["bandwidth_hz"] = r.Bandwidth;
    doc["frame_s"] = static_cast<double>(r.FFTSize) / r.SampFreq;
    doc["pos1"] = r.Pos1;
    doc["pos2"] = r.Pos2;
    doc["pos3"] = r.Pos3;
    doc["cycles"] = r.Cycles;
    doc["initial_drop_db"] = r.InitialDrop;
    doc["additional_drop_db"] = r.AdditionalDrop;
    if (r.Volume) doc["volume_m3"] = *r.Volume;
    if (r.PerBin) {
        Json& bins = doc["bins"] = Json::array();
        for (size_t b = 0; b < r.T60.size(); ++b)
            bins.push_back({{"frequency_hz", BinFrequency(r, b)},
                            {"start_frame", r.StartFrame.at(b)},
                            {"end_frame", r.EndFrame.at(b)},
                            {"t60_s", r.T60[b]}});
        return Layout(doc);
    }
    doc["band_set"] = SetName(r.Set);
    doc["method"] = BandMethodName(r.Method);
    if (r.Method == TBandMethod::Time) doc["filter_direction"] = DirectionName(r.Direction);
    Json& bands = doc["bands"] = Json::array();
    for (const TBandResult& b : r.Bands) {
        Json band;
        band["nominal_hz"] = b.Band.Nominal;
        band["centre_hz"] = b.Band.Centre;
        band["lower_hz"] = b.Band.Lower;
        band["upper_hz"] = b.Band.Upper;
        band["bins"] = HasBins(r) ? Json(b.Bins.Count()) : Json();
        band["steady_db"] = b.SteadyLevel;
        band["background_db"] = b.Background;
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = b.*(m.fit);
            Json& fit = band[m.name];
            fit["t_s"] = f.T;
            if (m.sigma) fit["sigma_s"] = SigmaOf(r, b, m);
            fit["r"] = f.R;
            fit["xi"] = f.Xi;
            fit["first_frame"] = f.FirstFrame >= 0 ? Json(f.FirstFrame) : Json();
            fit["last_frame"] = f.LastFrame >= 0 ? Json(f.LastFrame) : Json();
            fit["valid"] = f.Valid();
            fit["problems"] = FitProblemText(f.Problems);
        }
        band["c_percent"] = b.C;
        band["c_valid"] = b.CValid;
        band["t60_median_s"] = b.T60Median;
        band["t60_bins"] = b.T60Count;
        if (r.Volume) {
            band["radius_m"] = Radius(b, *r.Volume);
            band["limit_frequency_hz"] = Limit(b, *r.Volume);
        }
        bands.push_back(std::move(band));
    }
    return Layout(doc);
}

std::string ResultsCsv(const TResultsReport& r) {
    std::string out;
    if (r.PerBin) {
        out = "frequency_hz,start_frame,end_frame,t60_s\n";
        for (size_t b = 0; b < r.T60.size(); ++b)
            out += CsvNumber(BinFrequency(r, b)) + "," + CsvNumber(r.StartFrame.at(b)) + "," +
                   CsvNumber(r.EndFrame.at(b)) + "," + CsvNumber(r.T60[b]) + "\n";
        return out;
    }
    out = "nominal_hz,centre_hz,lower_hz,upper_hz,bins,steady_db,background_db";
    for (const Measure& m : kMeasures)
        for (const char* col :
             {"_s", "_sigma_s", "_r", "_xi", "_first_frame", "_last_frame", "_valid", "_problems"})
            if (m.sigma || std::string_view(col) != "_sigma_s")
                out += std::string(",") + m.name + col;
    out += ",c_percent,c_valid,t60_median_s,t60_bins";
    if (r.Volume) out += ",radius_m,limit_frequency_hz";
    out += ",method,filter_direction\n";
    const std::string method = std::string(",") + BandMethodName(r.Method) + "," +
                               (r.Method == TBandMethod::Time ? DirectionName(r.Direction) : "");
    // Each cell appended after its comma (also keeps GCC 12 from a false
    // -Wrestrict on long chains of string concatenation at -O3).
    const auto cell = [&out](std::string_view v) {
        out += ',';
        out += v;
    };
    for (const TBandResult& b : r.Bands) {
        out += CsvNumber(b.Band.Nominal);
        cell(CsvNumber(b.Band.Centre));
        cell(CsvNumber(b.Band.Lower));
        cell(CsvNumber(b.Band.Upper));
        cell(HasBins(r) ? std::to_string(b.Bins.Count()) : "");
        cell(CsvNumber(b.SteadyLevel));
        cell(CsvNumber(b.Background));
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = b.*(m.fit);
            cell(CsvNumber(f.T));
            if (m.sigma) cell(CsvNumber(SigmaOf(r, b, m)));
            cell(CsvNumber(f.R));
            cell(CsvNumber(f.Xi));
            cell(f.FirstFrame >= 0 ? std::to_string(f.FirstFrame) : "");
            cell(f.LastFrame >= 0 ? std::to_string(f.LastFrame) : "");
            cell(f.Valid() ? "1" : "0");
            cell(CsvString(FitProblemText(f.Problems)));
        }
        cell(CsvNumber(b.C));
        cell(b.CValid ? "1" : "0");
        cell(CsvNumber(b.T60Median));
        cell(std::to_string(b.T60Count));
        if (r.Volume) {
            cell(CsvNumber(Radius(b, *r.Volume)));
            cell(CsvNumber(Limit(b, *r.Volume)));
        }
        out += method + "\n";
    }
    return out;
}

std::string ResultsTable(const TResultsReport& r) {
    const double sf = r.SampFreq;
    std::string out = "File:      " + r.File + "\n";
    out += "Analysis:  " + std::to_string(r.SampFreq) + " Hz, " + WindowName(r) +
           " window, bandwidth " + Short(r.Bandwidth, 6) + " Hz: FFT size " +
           std::to_string(r.FFTSize) + ", frame " + Short(1000.0 * r.FFTSize / sf, 4) +
           " ms, bin spacing " + Short(sf / r.FFTSize, 6) + " Hz\n";
    out += "Cycle:     noise " + Short(r.Pos1 / sf, 6) + " s .. " + Short(r.Pos2 / sf, 6) +
           " s, cycle " + Short(r.Pos3 / sf, 6) + " s; " + std::to_string(r.Cycles) +
           " complete cycle(s)\n";
    out += "Per-bin:   initial drop " + Short(r.InitialDrop, 6) + " dB, additional drop " +
           Short(r.AdditionalDrop, 6) + " dB\n";
    if (r.PerBin) {
        out += "\n" + Pad("f [Hz]", 12) + " " + Pad("start", 8) + " " + Pad("end", 8) + " " +
               Pad("T60 [s]", 10) + "\n";
        for (size_t b = 0; b < r.T60.size(); ++b)
            out += Pad(Short(BinFrequency(r, b), 8), 12) + " " +
                   Pad(Short(r.StartFrame.at(b), 8), 8) + " " + Pad(Short(r.EndFrame.at(b), 8), 8) +
                   " " + Pad(r.T60[b] > 0 ? Short(r.T60[b], 4) : "-", 10) + "\n";
        return out;
    }
    if (r.Method == TBandMethod::Time)
        out += std::string("Method:    time: band-pass filtered signals, ") +
               (r.Direction == TFilterDirection::Forward ? "forward" : "time-reversed") +
               " filters, a decay point per 1 ms\n\n";
    else
        out += "Method:    spectrogram: the FFT bins in each band, a decay point per frame\n\n";

    const auto value = [](const TDecayFit& f) {
        return f.HasValue() ? Short(f.T, 3) + (f.Valid() ? " " : "*") : std::string("- ");
    };
    std::string head = Pad("Band [Hz]", 9) + Pad("bins", 6) + Pad("EDT [s]", 9) +
                       Pad("T20 [s]", 9) + Pad("+- ", 8) + Pad("T30 [s]", 9) + Pad("+- ", 8) +
                       Pad("C [%]", 8) + Pad("xi20", 7) + Pad("xi30", 7) + Pad("bkg [dB]", 10) +
                       Pad("T60 bins", 10);
    if (r.Volume) head += Pad("r [m]", 8) + Pad("fL [Hz]", 9);
    out += head + "  problems\n";
    for (const TBandResult& b : r.Bands) {
        out += Pad(Short(b.Band.Nominal, 5), 9) +
               Pad(HasBins(r) ? std::to_string(b.Bins.Count()) : "-", 6) + Pad(value(b.EDT), 9) +
               Pad(value(b.T20), 9) + Pad(Short(SigmaOf(r, b, kMeasures[1]), 2) + " ", 8) +
               Pad(value(b.T30), 9) + Pad(Short(SigmaOf(r, b, kMeasures[2]), 2) + " ", 8) +
               Pad(std::isfinite(b.C) ? Short(b.C, 3) + (b.CValid ? " " : "*") : std::string("- "),
                   8) +
               Pad(Short(b.T20.Xi, 3), 7) + Pad(Short(b.T30.Xi, 3), 7) +
               Pad(Short(b.Background, 3), 10) + Pad(Short(b.T60Median, 3), 10);
        if (r.Volume)
            out += Pad(Short(Radius(b, *r.Volume), 3), 8) + Pad(Short(Limit(b, *r.Volume), 4), 9);
        std::string problems;
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = b.*(m.fit);
            if (f.Problems == fpNone) continue;
            if (!problems.empty()) problems += ' ';
            problems += std::string(m.name) + ":" + FitProblemText(f.Problems);
        }
        out += "  " + problems + "\n";
    }
    out += "\n* not valid (see problems); +-: ISO 3382-2 standard deviation for " +
           std::to_string(r.Cycles) +
           " decay(s) at one position; T60 bins: median of the per-bin two-point T60 in the "
           "band\n";
    return out;
}

std::string DecaysCsv(const std::vector<TBandResult>& bands) {
    std::string out = "time_s";
    size_t rows = 0;
    for (const TBandResult& b : bands) {
        if (b.Decay.Step != bands.front().Decay.Step || b.Decay.Time0 != bands.front().Decay.Time0)
            throw std::invalid_argument("DecaysCsv: the bands have different time axes");
        out += ',';
        out += CsvNumber(b.Band.Nominal) + "_hz";
        rows = std::max(rows, b.Decay.Level.size());
    }
    out += "\n";
    for (size_t k = 0; k < rows; ++k) {
        out += CsvNumber(bands.front().Decay.TimeAt(static_cast<int32_t>(k)));
        for (const TBandResult& b : bands) {
            out += ',';
            if (k < b.Decay.Level.size()) out += CsvNumber(b.Decay.Level[k]);
        }
        out += "\n";
    }
    return out;
}

} // namespace ravlon
