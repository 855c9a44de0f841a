// ravlon-analyze: the analysis of an opened recording, without windows. Runs
// the main window's set-up and re-analysis (OpenRecordingAnalysis), the
// per-bin T60 evaluation of the reverberation time view (EvaluateT60), and the
// band evaluation (EDT, T20, T30 per octave or one-third octave), and prints
// the results as a table, CSV or JSON.
#include "core/bands/band_evaluation.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/measure/open_recording.h"
#include "core/recording/recording_file.h"
#include "core/views/t60_evaluation.h"
#include "core/views/view_math.h"

#include <sndfile.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace ravlon;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitInput = 2;
constexpr int kExitAnalysis = 3;

constexpr const char* kUsage =
    R"(Usage: ravlon-analyze FILE [options]

Analyses a recording as Ravlon does when it opens it (same set-up, same
re-analysis of every cycle, same per-bin T60 evaluation) and reports the
reverberation per octave or one-third-octave band: EDT, T20 and T30 by
least-squares regression (ISO 3382-1/-2), or the per-bin results.

FILE is a Ravlon recording (.ravlon; channel 0 is analysed, the cycle
positions come from its items "pos1", "pos2", "pos3") or a mono audio file
readable by libsndfile (WAV, FLAC, AIFF ...), which needs --pre, --noise and
--post: the cycle positions are then computed as a measurement run does.

Options (a value may also be given as --option=value):
  --bandwidth HZ        analysis bandwidth (default 500)
  --window NAME         rectangular, Bartlett, Hamming, Hanning, Blackman
                        (default Hanning)
  --initial-drop DB     initial drop of the per-bin T60 (default 5)
  --additional-drop DB  additional drop of the per-bin T60 (default 30)
  --bands SET           octave (63 Hz - 8 kHz, default), third
                        (50 Hz - 10 kHz) or bins (per-bin frequency, start
                        frame, end frame and T60 as the reverberation time
                        view computes them)
  --format FORMAT       table (default), csv or json
  --volume M3           room volume: adds the reverberation radius
                        0.056 sqrt(V/T) and the limit frequency
                        1900 sqrt(T/V) per band (T: T30 when valid, else T20)
  --pre S, --noise S, --post S
                        cycle durations in seconds (audio files only)
  -h, --help            this text

Band results: a value marked "*" in the table (valid = 0 in CSV, false in
JSON) cannot be trusted; the problems column says why: background (less than
10 dB below the end of the range), few-bins (under 3 bins in the band),
few-frames (under 4 frames in the range: the frames are too long for the
decay, lower the bandwidth), not-reached (the decay never reaches the end of
the range), not-decaying, no-steady-level. Numbers in CSV and JSON use "."
and full double precision; a missing value is empty (CSV) or null (JSON).

Exit codes:
  0  success
  1  usage error: unknown option, bad or missing option value
  2  input file error: missing or unreadable file, not a recording or audio
     file, a recording without "pos1".."pos3", an audio file with several
     channels; or a write that failed (the temporary copy of an audio file,
     the results)
  3  analysis error: settings refused (e.g. "Window size out of range"), no
     complete cycle in the file
)";

struct UsageError {
    std::string message;
};
struct InputError {
    std::string message;
};
struct AnalysisError {
    std::string message;
};

enum class Format { Table, Csv, Json };
enum class BandsMode { Octave, Third, Bins };

struct Options {
    std::string file;
    double bandwidth = 500.0;
    int32_t window = 3;
    double initialDrop = 5.0;
    double additionalDrop = 30.0;
    BandsMode bands = BandsMode::Octave;
    Format format = Format::Table;
    std::optional<double> volume, pre, noise, post;
};

constexpr std::array<const char*, 5> kWindowNames{"rectangular", "Bartlett", "Hamming", "Hanning",
                                                  "Blackman"};

// A drop beyond this many dB cannot be reached by any recording, and 10^(drop/10)
// must stay a finite number.
constexpr double kMaxDrop = 1000.0;

double NumberOption(std::string_view name, std::string_view text, double min, bool minIncluded,
                    double max = std::numeric_limits<double>::max()) {
    double v = 0;
    try {
        v = StrToFloatDot(text);
    } catch (const EConvertError&) {
        throw UsageError{std::string(name) + ": '" + std::string(text) + "' is not a number"};
    }
    if (!std::isfinite(v) || v < min || (!minIncluded && v == min) || v > max) {
        const std::string range =
            max < std::numeric_limits<double>::max()
                ? FloatToStrDot(min) + " to " + FloatToStrDot(max)
                : (minIncluded ? "at least " : "more than ") + FloatToStrDot(min);
        throw UsageError{std::string(name) + ": " + std::string(text) + " is out of range (" +
                         range + ")"};
    }
    return v;
}

Options ParseOptions(int argc, char** argv) {
    Options o;
    std::vector<std::string_view> args(argv + 1, argv + argc);
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view a = args[i];
        if (a == "-h" || a == "--help") throw UsageError{};
        if (a.size() < 2 || a.substr(0, 2) != "--") {
            if (a.size() > 1 && a[0] == '-') throw UsageError{"unknown option " + std::string(a)};
            if (!o.file.empty()) throw UsageError{"more than one FILE given"};
            o.file = std::string(a);
            continue;
        }
        std::string_view name = a, value;
        bool hasValue = false;
        if (auto eq = a.find('='); eq != std::string_view::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            hasValue = true;
        }
        static constexpr std::array<std::string_view, 10> known{
            "--bandwidth", "--window", "--initial-drop", "--additional-drop", "--bands",
            "--format",    "--volume", "--pre",          "--noise",           "--post"};
        if (std::find(known.begin(), known.end(), name) == known.end())
            throw UsageError{"unknown option " + std::string(name)};
        if (!hasValue) {
            if (i + 1 >= args.size()) throw UsageError{std::string(name) + " needs a value"};
            value = args[++i];
        }
        if (name == "--bandwidth") {
            o.bandwidth = NumberOption(name, value, 0, false);
        } else if (name == "--window") {
            const std::string lower = LowerCaseAnsi(value);
            auto it = std::find_if(kWindowNames.begin(), kWindowNames.end(),
                                   [&](const char* w) { return LowerCaseAnsi(w) == lower; });
            if (it == kWindowNames.end())
                throw UsageError{"--window: '" + std::string(value) +
                                 "' is not one of rectangular, Bartlett, Hamming, Hanning, "
                                 "Blackman"};
            o.window = static_cast<int32_t>(it - kWindowNames.begin());
        } else if (name == "--initial-drop") {
            o.initialDrop = NumberOption(name, value, 0, true, kMaxDrop);
        } else if (name == "--additional-drop") {
            o.additionalDrop = NumberOption(name, value, 0, true, kMaxDrop);
        } else if (name == "--bands") {
            if (value == "octave")
                o.bands = BandsMode::Octave;
            else if (value == "third")
                o.bands = BandsMode::Third;
            else if (value == "bins")
                o.bands = BandsMode::Bins;
            else
                throw UsageError{"--bands: '" + std::string(value) +
                                 "' is not one of octave, third, bins"};
        } else if (name == "--format") {
            if (value == "table")
                o.format = Format::Table;
            else if (value == "csv")
                o.format = Format::Csv;
            else if (value == "json")
                o.format = Format::Json;
            else
                throw UsageError{"--format: '" + std::string(value) +
                                 "' is not one of table, csv, json"};
        } else if (name == "--volume") {
            o.volume = NumberOption(name, value, 0, false);
        } else if (name == "--pre") {
            o.pre = NumberOption(name, value, 0, true);
        } else if (name == "--noise") {
            o.noise = NumberOption(name, value, 0, true);
        } else {
            o.post = NumberOption(name, value, 0, true);
        }
    }
    if (o.file.empty()) throw UsageError{"no FILE given"};
    return o;
}

// --- Numbers as text ----------------------------------------------------------

// Full double precision, "." separator, whatever the locale.
std::string Exact(double v) {
    std::array<char, 40> buf{};
    auto [end, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, 17);
    if (ec != std::errc()) return "";
    return std::string(buf.data(), end);
}
std::string CsvNumber(double v) {
    return std::isfinite(v) ? Exact(v) : "";
}
std::string JsonNumber(double v) {
    return std::isfinite(v) ? Exact(v) : "null";
}
std::string Short(double v, int digits = 4) {
    if (!std::isfinite(v)) return "-";
    std::array<char, 40> buf{};
    auto [end, ec] =
        std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::general, digits);
    if (ec != std::errc()) return "-";
    return std::string(buf.data(), end);
}
std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            std::array<char, 8> esc{};
            std::snprintf(esc.data(), esc.size(), "\\u%04x", c);
            out += esc.data();
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
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

// --- Input --------------------------------------------------------------------

// A temporary recording removed when it goes out of scope.
struct TempRecording {
    std::string name;
    ~TempRecording() {
        if (!name.empty()) std::remove(name.c_str());
    }
};

struct SndCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

// Copies a mono audio file into a temporary recording with the cycle positions
// a run would use, so that it is analysed exactly like an opened recording.
void AudioToRecording(SNDFILE* snd, const SF_INFO& info, const Options& o, TempRecording& temp) {
    if (info.channels != 1)
        throw InputError{o.file + " has " + std::to_string(info.channels) +
                         " channels; only mono audio files can be analysed"};
    if (!o.pre || !o.noise || !o.post)
        throw UsageError{"an audio file needs --pre, --noise and --post (seconds)"};
    TSpectrogram::RunSettings s;
    s.SampFreq = info.samplerate;
    s.Window = o.window;
    s.Bandwidth = o.bandwidth;
    s.PreNoise = *o.pre;
    s.Noise = *o.noise;
    s.PostNoise = *o.post;
    TSpectrogram::RunPlan plan;
    try {
        plan = TSpectrogram::CheckRun(s);
    } catch (const Exception& e) {
        throw AnalysisError{e.what()};
    }

    temp.name = MakeTempFile("RAV");
    TSMPfile rec;
    // Every write is checked: a part of the audio must never pass for all of it.
    const auto writeFailed = [&rec] {
        return InputError{"cannot write the temporary recording: " + rec.LastError()};
    };
    if (!rec.new_file(temp.name)) throw writeFailed();
    rec.insert_nonpresent_defaults();
    rec.set_sftot(info.samplerate);
    rec.set_item("pos1", std::to_string(plan.Pos1));
    rec.set_item("pos2", std::to_string(plan.Pos2));
    rec.set_item("pos3", std::to_string(plan.Pos3));
    if (!rec.save_file("")) throw writeFailed();
    auto block = std::make_unique<TSMPBlock>();
    for (;;) {
        sf_count_t n = sf_read_short(snd, block->Samples, TSMPfile::BlockSamples);
        if (n <= 0) break;
        block->Count = static_cast<int32_t>(n);
        if (!rec.write_block(0, *block)) throw writeFailed();
    }
    if (sf_error(snd) != SF_ERR_NO_ERROR) throw InputError{o.file + ": " + sf_strerror(snd)};
    if (!rec.save_file("") || !rec.close_file()) throw writeFailed();
}

// Opens FILE as a recording (an audio file is converted first) with its
// positions checked, ready for OpenRecordingAnalysis.
void OpenInput(const Options& o, TSMPfile& rec, TempRecording& temp) {
    std::error_code ec;
    if (!std::filesystem::exists(o.file, ec)) throw InputError{o.file + ": no such file"};
    if (!std::filesystem::is_regular_file(o.file, ec))
        throw InputError{o.file + ": not a regular file"};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> snd(sf_open(o.file.c_str(), SFM_READ, &info));
    std::string path = o.file;
    if (snd) {
        AudioToRecording(snd.get(), info, o, temp);
        path = temp.name;
    } else if (o.pre || o.noise || o.post) {
        // A recording carries its own positions: the options are wrong. Anything
        // else is a file that is neither, such as a damaged audio file.
        if (rec.open_file(o.file, true) && !rec.get_item("pos3").empty())
            throw UsageError{"--pre, --noise and --post apply to audio files only; " + o.file +
                             " is a recording, which carries its own positions"};
        throw InputError{o.file + ": not an audio file that libsndfile reads (" +
                         sf_strerror(nullptr) + ")"};
    }
    if (path.size() > TSMPfile::MaxShortString)
        throw InputError{o.file + ": the file name is longer than 255 characters"};
    if (!rec.open_file(path, true))
        throw InputError{o.file + ": not a readable recording or audio file"};
    for (const char* key : {"pos1", "pos2", "pos3"}) {
        const std::string text = rec.get_item(key);
        int32_t v = 0;
        if (text.empty())
            throw InputError{o.file + ": the recording has no item \"" + key +
                             "\" (not made by a measurement run)"};
        if (!TryStrToInt(text, v))
            throw InputError{o.file + ": the item \"" + std::string(key) +
                             "\" is not an integer: '" + text + "'"};
    }
    try {
        const double rate = rec.channel_rate(0);
        if (!(rate >= 1)) throw InputError{o.file + ": the recording has no sampling rate"};
    } catch (const EInvalidSMPHeader& e) {
        throw InputError{o.file + ": " + e.what()};
    }
}

// --- Output -----------------------------------------------------------------------

struct Analysis {
    const Options* options = nullptr;
    const TSpectrogram* store = nullptr;
    ReanalysisResult reanalysis;
    std::vector<double> t60, start, end;
    std::vector<TBandResult> bands;
};

struct Measure {
    const char* name;
    const TDecayFit TBandResult::*fit;
};
constexpr std::array<Measure, 3> kMeasures{
    {{"edt", &TBandResult::EDT}, {"t20", &TBandResult::T20}, {"t30", &TBandResult::T30}}};

double Radius(const TBandResult& r, double volume) {
    const double t = r.ReverberationTime();
    if (!(t > 0)) return TBandResult::None;
    try {
        return ReverberationRadius(volume, t);
    } catch (const EMathError&) {
        return TBandResult::None;
    }
}
double Limit(const TBandResult& r, double volume) {
    const double t = r.ReverberationTime();
    if (!(t > 0)) return TBandResult::None;
    try {
        return LimitFrequency(t, volume);
    } catch (const EMathError&) {
        return TBandResult::None;
    }
}

double BinFrequency(const TSpectrogram& s, int32_t b) {
    return static_cast<double>(b) * s.SampFreq() / s.BlockSize();
}

void PrintJson(const Analysis& a) {
    const Options& o = *a.options;
    const TSpectrogram& s = *a.store;
    std::string out = "{\n";
    out += "  \"file\": " + JsonString(ToValidUtf8(o.file)) + ",\n";
    out += "  \"samp_freq\": " + std::to_string(s.SampFreq()) + ",\n";
    out += "  \"fft_size\": " + std::to_string(s.BlockSize()) + ",\n";
    out += "  \"window\": " + JsonString(kWindowNames[static_cast<size_t>(o.window)]) + ",\n";
    out += "  \"bandwidth_hz\": " + JsonNumber(o.bandwidth) + ",\n";
    out +=
        "  \"frame_s\": " + JsonNumber(static_cast<double>(s.BlockSize()) / s.SampFreq()) + ",\n";
    out += "  \"pos1\": " + std::to_string(s.Pos1()) + ",\n";
    out += "  \"pos2\": " + std::to_string(s.Pos2()) + ",\n";
    out += "  \"pos3\": " + std::to_string(s.Pos3()) + ",\n";
    out += "  \"cycles\": " + std::to_string(a.reanalysis.Cycles) + ",\n";
    out += "  \"initial_drop_db\": " + JsonNumber(o.initialDrop) + ",\n";
    out += "  \"additional_drop_db\": " + JsonNumber(o.additionalDrop) + ",\n";
    if (o.volume) out += "  \"volume_m3\": " + JsonNumber(*o.volume) + ",\n";
    if (o.bands == BandsMode::Bins) {
        out += "  \"bins\": [";
        for (size_t b = 0; b < a.t60.size(); ++b) {
            out += b ? ",\n    " : "\n    ";
            out += "{\"frequency_hz\": " + JsonNumber(BinFrequency(s, static_cast<int32_t>(b))) +
                   ", \"start_frame\": " + JsonNumber(a.start[b]) +
                   ", \"end_frame\": " + JsonNumber(a.end[b]) +
                   ", \"t60_s\": " + JsonNumber(a.t60[b]) + "}";
        }
        out += "\n  ]\n}\n";
        std::fputs(out.c_str(), stdout);
        return;
    }
    out += std::string("  \"band_set\": ") +
           (o.bands == BandsMode::Octave ? "\"octave\"" : "\"third\"") + ",\n";
    out += "  \"bands\": [";
    for (size_t i = 0; i < a.bands.size(); ++i) {
        const TBandResult& r = a.bands[i];
        out += i ? ",\n    {" : "\n    {";
        out += "\"nominal_hz\": " + JsonNumber(r.Band.Nominal) +
               ", \"centre_hz\": " + JsonNumber(r.Band.Centre) +
               ", \"lower_hz\": " + JsonNumber(r.Band.Lower) +
               ", \"upper_hz\": " + JsonNumber(r.Band.Upper) +
               ", \"bins\": " + std::to_string(r.Bins.Count()) +
               ", \"steady_db\": " + JsonNumber(r.SteadyLevel) +
               ", \"background_db\": " + JsonNumber(r.Background);
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = r.*(m.fit);
            out +=
                std::string(",\n     \"") + m.name + "\": {\"t_s\": " + JsonNumber(f.T) +
                ", \"r\": " + JsonNumber(f.R) + ", \"xi\": " + JsonNumber(f.Xi) +
                ", \"first_frame\": " +
                (f.FirstFrame >= 0 ? std::to_string(f.FirstFrame) : "null") +
                ", \"last_frame\": " + (f.LastFrame >= 0 ? std::to_string(f.LastFrame) : "null") +
                ", \"valid\": " + (f.Valid() ? "true" : "false") +
                ", \"problems\": " + JsonString(FitProblemText(f.Problems)) + "}";
        }
        out += ",\n     \"c_percent\": " + JsonNumber(r.C) +
               ", \"c_valid\": " + (r.CValid ? "true" : "false") +
               ", \"t60_median_s\": " + JsonNumber(r.T60Median) +
               ", \"t60_bins\": " + std::to_string(r.T60Count);
        if (o.volume)
            out += ", \"radius_m\": " + JsonNumber(Radius(r, *o.volume)) +
                   ", \"limit_frequency_hz\": " + JsonNumber(Limit(r, *o.volume));
        out += "}";
    }
    out += "\n  ]\n}\n";
    std::fputs(out.c_str(), stdout);
}

void PrintCsv(const Analysis& a) {
    const Options& o = *a.options;
    const TSpectrogram& s = *a.store;
    std::string out;
    if (o.bands == BandsMode::Bins) {
        out = "frequency_hz,start_frame,end_frame,t60_s\n";
        for (size_t b = 0; b < a.t60.size(); ++b)
            out += CsvNumber(BinFrequency(s, static_cast<int32_t>(b))) + "," +
                   CsvNumber(a.start[b]) + "," + CsvNumber(a.end[b]) + "," + CsvNumber(a.t60[b]) +
                   "\n";
        std::fputs(out.c_str(), stdout);
        return;
    }
    out = "nominal_hz,centre_hz,lower_hz,upper_hz,bins,steady_db,background_db";
    for (const Measure& m : kMeasures)
        for (const char* col :
             {"_s", "_r", "_xi", "_first_frame", "_last_frame", "_valid", "_problems"})
            out += std::string(",") + m.name + col;
    out += ",c_percent,c_valid,t60_median_s,t60_bins";
    if (o.volume) out += ",radius_m,limit_frequency_hz";
    out += "\n";
    for (const TBandResult& r : a.bands) {
        out += CsvNumber(r.Band.Nominal) + "," + CsvNumber(r.Band.Centre) + "," +
               CsvNumber(r.Band.Lower) + "," + CsvNumber(r.Band.Upper) + "," +
               std::to_string(r.Bins.Count()) + "," + CsvNumber(r.SteadyLevel) + "," +
               CsvNumber(r.Background);
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = r.*(m.fit);
            out += "," + CsvNumber(f.T) + "," + CsvNumber(f.R) + "," + CsvNumber(f.Xi) + "," +
                   (f.FirstFrame >= 0 ? std::to_string(f.FirstFrame) : "") + "," +
                   (f.LastFrame >= 0 ? std::to_string(f.LastFrame) : "") + "," +
                   (f.Valid() ? "1" : "0") + "," + CsvString(FitProblemText(f.Problems));
        }
        out += "," + CsvNumber(r.C) + "," + (r.CValid ? "1" : "0") + "," + CsvNumber(r.T60Median) +
               "," + std::to_string(r.T60Count);
        if (o.volume)
            out += "," + CsvNumber(Radius(r, *o.volume)) + "," + CsvNumber(Limit(r, *o.volume));
        out += "\n";
    }
    std::fputs(out.c_str(), stdout);
}

std::string Pad(std::string s, size_t width) {
    if (s.size() < width) s.insert(0, width - s.size(), ' ');
    return s;
}

void PrintTable(const Analysis& a) {
    const Options& o = *a.options;
    const TSpectrogram& s = *a.store;
    const double sf = s.SampFreq();
    std::printf("File:      %s\n", o.file.c_str());
    std::printf("Analysis:  %d Hz, %s window, bandwidth %s Hz: FFT size %d, frame %s ms, bin "
                "spacing %s Hz\n",
                s.SampFreq(), kWindowNames[static_cast<size_t>(o.window)],
                Short(o.bandwidth, 6).c_str(), s.BlockSize(),
                Short(1000.0 * s.BlockSize() / sf, 4).c_str(),
                Short(sf / s.BlockSize(), 6).c_str());
    std::printf("Cycle:     noise %s s .. %s s, cycle %s s; %lld complete cycle(s)\n",
                Short(s.Pos1() / sf, 6).c_str(), Short(s.Pos2() / sf, 6).c_str(),
                Short(s.Pos3() / sf, 6).c_str(), static_cast<long long>(a.reanalysis.Cycles));
    std::printf("Per-bin:   initial drop %s dB, additional drop %s dB\n\n",
                Short(o.initialDrop, 6).c_str(), Short(o.additionalDrop, 6).c_str());
    if (o.bands == BandsMode::Bins) {
        std::printf("%12s %8s %8s %10s\n", "f [Hz]", "start", "end", "T60 [s]");
        for (size_t b = 0; b < a.t60.size(); ++b)
            std::printf("%12s %8s %8s %10s\n",
                        Short(BinFrequency(s, static_cast<int32_t>(b)), 8).c_str(),
                        Short(a.start[b], 8).c_str(), Short(a.end[b], 8).c_str(),
                        a.t60[b] > 0 ? Short(a.t60[b], 4).c_str() : "-");
        return;
    }
    const auto value = [](const TDecayFit& f) {
        return f.HasValue() ? Short(f.T, 3) + (f.Valid() ? " " : "*") : std::string("- ");
    };
    std::string head = Pad("Band [Hz]", 9) + Pad("bins", 6) + Pad("EDT [s]", 9) +
                       Pad("T20 [s]", 9) + Pad("T30 [s]", 9) + Pad("C [%]", 8) + Pad("xi20", 7) +
                       Pad("xi30", 7) + Pad("bkg [dB]", 10) + Pad("T60 bins", 10);
    if (o.volume) head += Pad("r [m]", 8) + Pad("fL [Hz]", 9);
    std::printf("%s  problems\n", head.c_str());
    for (const TBandResult& r : a.bands) {
        std::string line =
            Pad(Short(r.Band.Nominal, 5), 9) + Pad(std::to_string(r.Bins.Count()), 6) +
            Pad(value(r.EDT), 9) + Pad(value(r.T20), 9) + Pad(value(r.T30), 9) +
            Pad(std::isfinite(r.C) ? Short(r.C, 3) + (r.CValid ? " " : "*") : std::string("- "),
                8) +
            Pad(Short(r.T20.Xi, 3), 7) + Pad(Short(r.T30.Xi, 3), 7) +
            Pad(Short(r.Background, 3), 10) + Pad(Short(r.T60Median, 3), 10);
        if (o.volume)
            line += Pad(Short(Radius(r, *o.volume), 3), 8) + Pad(Short(Limit(r, *o.volume), 4), 9);
        std::string problems;
        for (const Measure& m : kMeasures) {
            const TDecayFit& f = r.*(m.fit);
            if (f.Problems == fpNone) continue;
            if (!problems.empty()) problems += ' ';
            problems += std::string(m.name) + ":" + FitProblemText(f.Problems);
        }
        std::printf("%s  %s\n", line.c_str(), problems.c_str());
    }
    std::printf("\n* not valid (see problems); T60 bins: median of the per-bin two-point T60 "
                "in the band\n");
}

int Run(const Options& o) {
    TSMPfile rec;
    TempRecording temp;
    try {
        OpenInput(o, rec, temp);
    } catch (const Exception& e) {
        throw InputError{o.file + ": " + e.what()};
    }
    TFFT fft;
    TSpectrogram store(fft);
    Analysis a;
    a.options = &o;
    a.store = &store;
    const auto noCycle = [&store](int64_t samples) {
        return AnalysisError{"the file holds no complete cycle (" + std::to_string(samples) +
                             " samples, a cycle is " + std::to_string(store.Pos3()) + ")"};
    };
    TOpenRecordingSteps steps;
    steps.Bandwidth = [&o] { return o.bandwidth; };
    // The store of a long cycle takes up to 1 GiB: a file too short for one
    // analysed cycle is refused before it is allocated.
    steps.OnPositions = [&] {
        const int64_t size = std::max(fft.FFTSize(), 1);
        if (rec.get_sample_count(0) < store.Pos3() / size * size)
            throw noCycle(rec.get_sample_count(0));
    };
    a.reanalysis = OpenRecordingAnalysis(rec, store, o.window, steps);
    rec.close_file();
    if (a.reanalysis.Cycles == 0) throw noCycle(a.reanalysis.Samples + a.reanalysis.Skipped);
    EvaluateT60(store, fft.FFTSize(), fft.WindowSize(), o.initialDrop, o.additionalDrop, a.t60,
                a.start, a.end);
    if (o.bands != BandsMode::Bins)
        a.bands = EvaluateBands(
            store, o.bands == BandsMode::Octave ? TBandSet::Octave : TBandSet::ThirdOctave, a.t60);
    switch (o.format) {
    case Format::Table:
        PrintTable(a);
        break;
    case Format::Csv:
        PrintCsv(a);
        break;
    case Format::Json:
        PrintJson(a);
        break;
    }
    // Results cut short by a full disk must not pass for complete ones.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw InputError{std::string("cannot write the results: ") + std::strerror(errno)};
    return kExitOk;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    try {
        o = ParseOptions(argc, argv);
    } catch (const UsageError& e) {
        if (e.message.empty()) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        std::fprintf(stderr, "ravlon-analyze: %s\nTry 'ravlon-analyze --help'.\n",
                     e.message.c_str());
        return kExitUsage;
    }
    try {
        return Run(o);
    } catch (const UsageError& e) {
        std::fprintf(stderr, "ravlon-analyze: %s\nTry 'ravlon-analyze --help'.\n",
                     e.message.c_str());
        return kExitUsage;
    } catch (const InputError& e) {
        std::fprintf(stderr, "ravlon-analyze: %s\n", e.message.c_str());
        return kExitInput;
    } catch (const AnalysisError& e) {
        std::fprintf(stderr, "ravlon-analyze: analysis failed: %s\n", e.message.c_str());
        return kExitAnalysis;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ravlon-analyze: analysis failed: %s\n", e.what());
        return kExitAnalysis;
    }
}
