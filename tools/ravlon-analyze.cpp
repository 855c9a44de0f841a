// ravlon-analyze: the analysis of an opened recording, without windows. Runs
// AnalyseRecordingResults (recording_results.h: the main window's set-up and
// re-analysis, the per-bin T60 of the reverberation time view, and the band
// evaluation: EDT, T20 and T30 with their uncertainty per octave or
// one-third octave, from band-filtered signals or from the spectrogram) and
// prints the results as a table, CSV or JSON (band_results_format.h); the
// program's result export runs the same function and writes the same text.
#include "core/bands/band_results_format.h"
#include "core/bands/recording_results.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/measure/spectrogram.h"
#include "core/recording/recording_file.h"

#include <CLI/CLI.hpp>
#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace ravlon;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 1;
constexpr int kExitInput = 2;
constexpr int kExitAnalysis = 3;

constexpr const char* kDescription =
    R"(Analyses a recording as Ravlon does when it opens it (same set-up, same
re-analysis of every cycle, same per-bin T60 evaluation) and reports the
reverberation per octave or one-third-octave band: EDT, T20 and T30 by
least-squares regression (ISO 3382-1/-2), or the per-bin results.

FILE is a Ravlon recording (.ravlon; channel 0 is analysed, the cycle
positions come from its items "pos1", "pos2", "pos3") or a mono audio file
readable by libsndfile (WAV, FLAC, AIFF ...), which needs --pre, --noise and
--post: the cycle positions are then computed as a measurement run does.
A value may also be given as --option=value.
)";

constexpr const char* kFooter =
    R"(Band results: a value marked "*" in the table (valid = 0 in CSV, false in
JSON) cannot be trusted; the problems column says why: background (less than
10 dB below the end of the range), few-bins (under 3 bins in the band),
few-frames (under 4 points in the range: with the spectrogram method the
frames are too long for the decay, raise the bandwidth), not-reached (the
decay never reaches the end of the range), not-decaying, no-steady-level,
below-schroeder (with --volume: the band lies below the room's Schroeder
frequency 2000 sqrt(T/V)). The "+-" columns (sigma_s in CSV and JSON) give
the ISO 3382-2 standard deviation of T20 and T30 for the cycles averaged at
one position.
Numbers in CSV and JSON use "." and full double precision; a missing value is
empty (CSV) or null (JSON). The time method has no bins: its bins column is
"-" (table), empty (CSV) or null (JSON).

Exit codes:
  0  success
  1  usage error: unknown option, bad or missing option value
  2  input file error: missing or unreadable file, not a recording or audio
     file, a recording without "pos1".."pos3", an audio file with several
     channels; or a write that failed (the temporary copy of an audio file,
     the results, the decays)
  3  analysis error: settings refused (e.g. "Window size out of range"), no
     complete cycle in the file)";

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
    TBandMethod method = TBandMethod::Time;
    bool reverseFilter = false;
    std::string decays; // empty: none
    std::optional<double> volume, pre, noise, post;
};

// A drop beyond this many dB cannot be reached by any recording, and 10^(drop/10)
// must stay a finite number.
constexpr double kMaxDrop = 1000.0;
constexpr double kNoMax = std::numeric_limits<double>::max();

// A number as the "." routines read it, whatever the locale: finite and within
// the range. CLI11 puts the option's name before the message.
CLI::Validator NumberIn(double min, bool minIncluded, double max = kNoMax) {
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            double v = 0;
            try {
                v = StrToFloatDot(text);
            } catch (const EConvertError&) {
                return "'" + text + "' is not a number";
            }
            if (std::isfinite(v) && v >= min && (minIncluded || v != min) && v <= max) return "";
            const std::string range =
                max < kNoMax ? FloatToStrDot(min) + " to " + FloatToStrDot(max)
                             : (minIncluded ? "at least " : "more than ") + FloatToStrDot(min);
            return text + " is out of range (" + range + ")";
        },
        "");
}

// A number option; the value is read by StrToFloatDot once NumberIn accepted it.
template <class Target>
void AddNumber(CLI::App& app, const std::string& name, Target& target, const CLI::Validator& range,
               const std::string& valueName, const std::string& help) {
    app.add_option_function<std::string>(
           name, [&target](const std::string& text) { target = StrToFloatDot(text); }, help)
        ->check(range)
        ->type_name(valueName)
        ->option_text(valueName);
}

// An option naming one of names (compared case-insensitively when asked); set
// receives the index of the name given.
void AddChoice(CLI::App& app, const std::string& name, std::vector<std::string> names,
               bool ignoreCase, std::function<void(size_t)> set, const std::string& valueName,
               const std::string& help) {
    const auto find = [names, ignoreCase](const std::string& text) {
        return std::find_if(names.begin(), names.end(),
                            [&](const std::string& n) {
                                return ignoreCase ? LowerCaseAnsi(n) == LowerCaseAnsi(text)
                                                  : n == text;
                            }) -
               names.begin();
    };
    const CLI::Validator oneOf(
        [find, names](std::string& text) -> std::string {
            if (static_cast<size_t>(find(text)) < names.size()) return "";
            std::string list;
            for (const std::string& n : names) list += (list.empty() ? "" : ", ") + n;
            return "'" + text + "' is not one of " + list;
        },
        "");
    app.add_option_function<std::string>(
           name, [find, set](const std::string& text) { set(static_cast<size_t>(find(text))); },
           help)
        ->check(oneOf)
        ->type_name(valueName)
        ->option_text(valueName);
}

// The options; throws CLI::ParseError (CLI::CallForHelp for --help).
void ParseOptions(CLI::App& app, Options& o, int argc, char** argv) {
    app.footer(kFooter);
    app.set_help_flag("-h,--help", "this text");
    app.get_formatter()->column_width(24);
    // A later value of an option replaces an earlier one.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("FILE", o.file, "a recording or a mono audio file (see above)")
        ->required()
        ->type_name("");
    AddNumber(app, "--bandwidth", o.bandwidth, NumberIn(0, false), "HZ",
              "analysis bandwidth (default 500)");
    AddChoice(
        app, "--window", {WindowNames.begin(), WindowNames.end()}, true,
        [&o](size_t i) { o.window = static_cast<int32_t>(i); }, "NAME",
        "rectangular, Bartlett, Hamming, Hanning, Blackman\n(default Hanning)");
    AddNumber(app, "--initial-drop", o.initialDrop, NumberIn(0, true, kMaxDrop), "DB",
              "initial drop of the per-bin T60 (default 5)");
    AddNumber(app, "--additional-drop", o.additionalDrop, NumberIn(0, true, kMaxDrop), "DB",
              "additional drop of the per-bin T60 (default 30)");
    AddChoice(
        app, "--bands", {"octave", "third", "bins"}, false,
        [&o](size_t i) { o.bands = static_cast<BandsMode>(i); }, "SET",
        "octave (63 Hz - 8 kHz, default), third\n(50 Hz - 10 kHz) or bins (per-bin frequency, "
        "start\nframe, end frame and T60 as the reverberation time\nview computes them; "
        "--method does not apply)");
    AddChoice(
        app, "--method", {"time", "spectrogram"}, false,
        [&o](size_t i) { o.method = static_cast<TBandMethod>(i); }, "METHOD",
        "where the band decays come from: time (default):\nband-pass filtered signals, a "
        "decay point per 1 ms;\nspectrogram: the FFT bins in each band, a point\nper frame");
    app.add_flag("--reverse-filter", o.reverseFilter,
                 "time method: filter the recording backwards in\ntime, so the filters' own "
                 "ringing does not\nlengthen short decays in the lowest bands");
    app.add_option("--decays", o.decays,
                   "writes the averaged decay of every band to FILE:\ntime and level (dB re the "
                   "steady level), one row\nper decay point (1 ms with the time method)")
        ->check(CLI::Validator(
            [](std::string& text) { return text.empty() ? "needs a file name" : ""; }, ""))
        ->type_name("FILE.csv")
        ->option_text("FILE.csv");
    AddChoice(
        app, "--format", {"table", "csv", "json"}, false,
        [&o](size_t i) { o.format = static_cast<Format>(i); }, "FORMAT",
        "table (default), csv or json");
    AddNumber(app, "--volume", o.volume, NumberIn(0, false), "M3",
              "room volume: adds the reverberation radius\n0.056 sqrt(V/T) and the limit "
              "frequency\n1900 sqrt(T/V) per band (T: T30 when valid, else T20)\nand marks "
              "the bands below the Schroeder\nfrequency 2000 sqrt(T/V)");
    AddNumber(app, "--pre", o.pre, NumberIn(0, true), "S",
              "seconds before the noise (audio files only)");
    AddNumber(app, "--noise", o.noise, NumberIn(0, true), "S",
              "seconds of noise (audio files only)");
    AddNumber(app, "--post", o.post, NumberIn(0, true), "S",
              "seconds after the noise (audio files only)");
    app.parse(argc, argv);

    const bool bins = o.bands == BandsMode::Bins;
    if (o.reverseFilter && (bins || o.method != TBandMethod::Time))
        throw CLI::ValidationError("--reverse-filter", bins ? "the per-bin output (--bands bins) "
                                                              "has no band filters"
                                                            : "applies to the time method only, "
                                                              "not to --method spectrogram");
    if (!o.decays.empty() && bins)
        throw CLI::ValidationError("--decays",
                                   "the per-bin output (--bands bins) has no band decays");
    // A slip of the keyboard must not replace the recording.
    if (!o.decays.empty() && SameFile(o.decays, o.file))
        throw CLI::ValidationError("--decays", o.decays + " is the file being analysed");
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

// --- Analysis and output ------------------------------------------------------------

int Run(const Options& o) {
    TSMPfile rec;
    TempRecording temp;
    try {
        OpenInput(o, rec, temp);
    } catch (const Exception& e) {
        throw InputError{o.file + ": " + e.what()};
    }
    TResultsReport report;
    report.File = o.file;
    report.Window = o.window;
    report.Bandwidth = o.bandwidth;
    report.InitialDrop = o.initialDrop;
    report.AdditionalDrop = o.additionalDrop;
    report.Volume = o.volume;
    report.PerBin = o.bands == BandsMode::Bins;
    report.Set = o.bands == BandsMode::Third ? TBandSet::ThirdOctave : TBandSet::Octave;
    report.Method = o.method;
    report.Direction = o.reverseFilter ? TFilterDirection::Reversed : TFilterDirection::Forward;
    AnalyseRecordingResults(rec, report);
    rec.close_file();

    // The decays first: a failure leaves no results that look complete.
    std::string error;
    if (!o.decays.empty() && !WriteFileAtomically(o.decays, DecaysCsv(report.Bands), &error))
        throw InputError{"cannot write the decays: " + error};
    const std::string text = o.format == Format::Csv    ? ResultsCsv(report)
                             : o.format == Format::Json ? ResultsJson(report)
                                                        : ResultsTable(report);
    std::fputs(text.c_str(), stdout);
    // Results cut short by a full disk must not pass for complete ones.
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        throw InputError{std::string("cannot write the results: ") + std::strerror(errno)};
    return kExitOk;
}

int UsageFailure(const std::string& message) {
    std::fprintf(stderr, "ravlon-analyze: %s\nTry 'ravlon-analyze --help'.\n", message.c_str());
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app(kDescription, "ravlon-analyze");
    try {
        ParseOptions(app, o, argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitInput;
    } catch (const CLI::ParseError& e) {
        return UsageFailure(e.what());
    }
    try {
        return Run(o);
    } catch (const UsageError& e) {
        return UsageFailure(e.message);
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
