// ravlon-analyze: the analysis of opened recordings, without windows. Runs
// the main window's set-up and re-analysis, the per-bin T60 evaluation of the
// reverberation time view and the band evaluation (EDT, T20, T30 with their
// uncertainty per octave or one-third octave, from band-filtered signals or
// from the spectrogram) on each file (core/session/position_analysis.h, the
// analysis the program's result export runs too), and prints the results as
// a table, CSV or JSON (band_results_format.h, the program's export writes the
// same). Several files, or a session's positions, are averaged per band as
// ISO 3382-2 describes (core/session/session_average.h), and --report writes
// the measurement report (report/, Qt Gui without windows).
#include "core/bands/band_decays.h"
#include "core/bands/band_evaluation.h"
#include "core/bands/band_results_format.h"
#include "core/bands/recording_results.h"
#include "core/base/fileutil.h"
#include "core/base/numtext.h"
#include "core/recording/recording_file.h"
#include "core/session/position_analysis.h"
#include "core/session/recording_wav.h"
#include "core/session/session_report.h"
#include "report/report_writer.h"

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
readable by libsndfile (WAV, FLAC, AIFF ...). A WAV exported by Ravlon
carries its cycle as cue points; any other audio file needs --pre, --noise
and --post: the cycle positions are then computed as a measurement run does.
Several FILEs are analysed one after another; with --average (or --session,
or --report) their bands are also averaged: the mean over the positions where
a band is valid, the standard deviation between them and the ISO 3382-2
uncertainty of the mean. A value may also be given as --option=value.
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
     channels, a session without session.json or without a position that can
     be analysed (a position that cannot is left out with a warning); or a
     write that failed (the temporary copy of an audio file, the results, the
     decays, the report)
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
    std::vector<std::string> files;
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
    bool average = false;
    std::string session; // empty: none
    std::string report;  // empty: none
    bool bandwidthGiven = false, windowGiven = false;
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
    app.add_option("FILE", o.files, "recordings or mono audio files (see above)")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
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
              "the bands below the Schroeder\nfrequency 2000 sqrt(T/V); default with "
              "--session: the session's volume");
    AddNumber(app, "--pre", o.pre, NumberIn(0, true), "S",
              "seconds before the noise (audio files only)");
    AddNumber(app, "--noise", o.noise, NumberIn(0, true), "S",
              "seconds of noise (audio files only)");
    AddNumber(app, "--post", o.post, NumberIn(0, true), "S",
              "seconds after the noise (audio files only)");
    app.add_flag("--average", o.average,
                 "also averages the bands of the FILEs, as the\npositions of one room");
    app.add_option("--session", o.session,
                   "analyses and averages the positions a session\nfolder includes (no FILE then)")
        ->check(CLI::ExistingDirectory)
        ->type_name("DIR")
        ->option_text("DIR");
    app.add_option("--report", o.report,
                   "writes the measurement report (HTML with the\ngraphs embedded, or PDF); "
                   "implies --average")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const std::string ext =
                    LowerCaseAnsi(std::filesystem::path(text).extension().string());
                return ext == ".html" || ext == ".htm" || ext == ".pdf"
                           ? ""
                           : "'" + text + "' is not a .html or .pdf file name";
            },
            ""))
        ->type_name("FILE.html|FILE.pdf")
        ->option_text("FILE.html|FILE.pdf");
    app.parse(argc, argv);
    o.bandwidthGiven = app.count("--bandwidth") > 0;
    o.windowGiven = app.count("--window") > 0;
    o.average = o.average || !o.session.empty() || !o.report.empty();

    if (o.files.empty() && o.session.empty())
        throw CLI::ValidationError("FILE", "a recording or --session DIR is needed");
    if (!o.files.empty() && !o.session.empty())
        throw CLI::ValidationError("--session", "takes the positions from the session; give no "
                                                "FILE as well");
    for (size_t i = 0; i < o.files.size(); ++i)
        for (size_t k = 0; k < i; ++k)
            if (SameFile(o.files[i], o.files[k]))
                throw CLI::ValidationError("FILE", o.files[i] + " is given twice");
    const bool bins = o.bands == BandsMode::Bins;
    if (o.average && bins)
        throw CLI::ValidationError(o.report.empty() ? "--average" : "--report",
                                   "the per-bin output (--bands bins) has no bands to average");
    if (!o.decays.empty() && (o.files.size() != 1 || o.average))
        throw CLI::ValidationError("--decays", "writes the decays of a single FILE");
    for (const std::string& file : o.files)
        if (!o.report.empty() && SameFile(o.report, file))
            throw CLI::ValidationError("--report", o.report + " is a file being analysed");
    if (o.reverseFilter && (bins || o.method != TBandMethod::Time))
        throw CLI::ValidationError("--reverse-filter", bins ? "the per-bin output (--bands bins) "
                                                              "has no band filters"
                                                            : "applies to the time method only, "
                                                              "not to --method spectrogram");
    if (!o.decays.empty() && bins)
        throw CLI::ValidationError("--decays",
                                   "the per-bin output (--bands bins) has no band decays");
    // A slip of the keyboard must not replace the recording.
    if (!o.decays.empty() && SameFile(o.decays, o.files.front()))
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
// a run would use (or those of its cue points), so that it is analysed
// exactly like an opened recording.
void AudioToRecording(SNDFILE* snd, const SF_INFO& info, const std::string& file, const Options& o,
                      TempRecording& temp) {
    if (info.channels != 1)
        throw InputError{file + " has " + std::to_string(info.channels) +
                         " channels; only mono audio files can be analysed"};
    TWavCycle cycle;
    const std::optional<TWavCycle> cues =
        !o.pre && !o.noise && !o.post ? ReadWavCycle(file) : std::nullopt;
    if (cues) {
        cycle = *cues;
    } else {
        if (!o.pre || !o.noise || !o.post)
            throw UsageError{"an audio file needs --pre, --noise and --post (seconds) unless "
                             "its cue points carry the cycle (a WAV exported by Ravlon)"};
        TSpectrogram::RunSettings s;
        s.SampFreq = info.samplerate;
        s.Window = o.window;
        s.Bandwidth = o.bandwidth;
        s.PreNoise = *o.pre;
        s.Noise = *o.noise;
        s.PostNoise = *o.post;
        try {
            const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(s);
            cycle = {plan.Pos1, plan.Pos2, plan.Pos3};
        } catch (const Exception& e) {
            throw AnalysisError{e.what()};
        }
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
    rec.set_item("pos1", std::to_string(cycle.Pos1));
    rec.set_item("pos2", std::to_string(cycle.Pos2));
    rec.set_item("pos3", std::to_string(cycle.Pos3));
    if (!rec.save_file("")) throw writeFailed();
    auto block = std::make_unique<TSMPBlock>();
    for (;;) {
        sf_count_t n = sf_read_short(snd, block->Samples, TSMPfile::BlockSamples);
        if (n <= 0) break;
        block->Count = static_cast<int32_t>(n);
        if (!rec.write_block(0, *block)) throw writeFailed();
    }
    if (sf_error(snd) != SF_ERR_NO_ERROR) throw InputError{file + ": " + sf_strerror(snd)};
    if (!rec.save_file("") || !rec.close_file()) throw writeFailed();
}

// Opens file as a recording (an audio file is converted first) with its
// positions checked, ready for the analysis.
void OpenInput(const std::string& file, const Options& o, TSMPfile& rec, TempRecording& temp) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) throw InputError{file + ": no such file"};
    if (!std::filesystem::is_regular_file(file, ec))
        throw InputError{file + ": not a regular file"};
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndCloser> snd(sf_open(file.c_str(), SFM_READ, &info));
    std::string path = file;
    if (snd) {
        AudioToRecording(snd.get(), info, file, o, temp);
        path = temp.name;
    } else if (o.pre || o.noise || o.post) {
        // A recording carries its own positions: the options are wrong. Anything
        // else is a file that is neither, such as a damaged audio file.
        if (rec.open_file(file, true) && !rec.get_item("pos3").empty())
            throw UsageError{"--pre, --noise and --post apply to audio files only; " + file +
                             " is a recording, which carries its own positions"};
        throw InputError{file + ": not an audio file that libsndfile reads (" +
                         sf_strerror(nullptr) + ")"};
    }
    if (path.size() > TSMPfile::MaxShortString)
        throw InputError{file + ": the file name is longer than 255 characters"};
    if (!rec.open_file(path, true))
        throw InputError{file + ": not a readable recording or audio file"};
    try {
        CheckAnalysisInput(rec, file);
    } catch (const EAnalysisInput& e) {
        throw InputError{e.what()};
    }
}

// --- Analysis and output ------------------------------------------------------------

TAnalysisSettings BaseSettings(const Options& o) {
    TAnalysisSettings s;
    s.Bandwidth = o.bandwidth;
    s.Window = o.window;
    s.InitialDrop = o.initialDrop;
    s.AdditionalDrop = o.additionalDrop;
    s.PerBin = o.bands == BandsMode::Bins;
    s.Set = o.bands == BandsMode::Third ? TBandSet::ThirdOctave : TBandSet::Octave;
    s.Method = o.method;
    s.Direction = o.reverseFilter ? TFilterDirection::Reversed : TFilterDirection::Forward;
    s.Volume = o.volume;
    return s;
}

TResultsReport Analyse(const std::string& file, const Options& o,
                       const TAnalysisSettings& settings) {
    TSMPfile rec;
    TempRecording temp;
    try {
        OpenInput(file, o, rec, temp);
    } catch (const Exception& e) {
        throw InputError{file + ": " + e.what()};
    }
    try {
        TResultsReport report = AnalyseRecording(rec, file, settings);
        rec.close_file();
        return report;
    } catch (const Exception& e) {
        throw AnalysisError{e.what()};
    }
}

void Warn(const std::string& text) {
    std::fprintf(stderr, "ravlon-analyze: warning: %s\n", text.c_str());
}

// The session's included positions, analysed; the others named in LeftOut.
TSessionReport AnalyseSession(const Options& o) {
    TSessionLoad load;
    try {
        load = ReadSession(o.session);
    } catch (const ESessionError& e) {
        throw InputError{e.what()};
    }
    for (const std::string& problem : load.Problems) Warn(problem);
    const TSession& session = load.Session;
    std::vector<TReportPosition> positions;
    std::vector<std::string> leftOut;
    for (const TSessionPosition& p : session.Positions) {
        if (!p.Included || !p.Present) {
            leftOut.push_back(p.Label + (p.Present ? " (excluded)" : " (recording missing)"));
            continue;
        }
        TAnalysisSettings settings = PositionAnalysisSettings(p, BaseSettings(o));
        if (o.bandwidthGiven) settings.Bandwidth = o.bandwidth;
        if (o.windowGiven) settings.Window = o.window;
        if (!o.volume) settings.Volume = session.Info.Volume; // as the program's report
        try {
            positions.push_back(
                MakeReportPosition(p, Analyse(session.RecordingPath(p), o, settings)));
        } catch (const InputError& e) {
            Warn(e.message);
            leftOut.push_back(p.Label + " (" + e.message + ")");
        } catch (const AnalysisError& e) {
            Warn("position \"" + p.Label + "\": " + e.message);
            leftOut.push_back(p.Label + " (" + e.message + ")");
        }
    }
    if (positions.empty())
        throw InputError{o.session + ": the session has no included position that can be "
                                     "analysed"};
    TSessionReport report = MakeSessionReport(std::move(positions), session.Info);
    report.LeftOut = std::move(leftOut);
    return report;
}

// The positions' outputs one after another, then the average.
std::string SeveralResults(const Options& o, const TSessionReport& report) {
    std::vector<std::string> labels;
    for (const TReportPosition& p : report.Positions) labels.push_back(p.Label);
    std::string text;
    switch (o.format) {
    case Format::Csv:
        return o.average ? ReportCsv(report) : PositionsCsv(report.Positions);
    case Format::Json:
        text = "{\n\"positions\": [\n";
        for (size_t i = 0; i < report.Positions.size(); ++i)
            text += (i ? ",\n" : "") + ResultsJson(report.Positions[i].Results);
        text += "]";
        if (o.average) text += ",\n\"average\": " + AverageJson(report.Average, labels);
        return text + "}\n";
    case Format::Table:
        for (const TReportPosition& p : report.Positions) text += ResultsTable(p.Results) + "\n";
        if (o.average) text += AverageTable(report.Average, labels);
        return text;
    }
    return text;
}

int Run(const Options& o) {
    TSessionReport report;
    if (!o.session.empty()) {
        report = AnalyseSession(o);
    } else {
        std::vector<TReportPosition> positions;
        for (const std::string& file : o.files) {
            TReportPosition p;
            p.Label = p.Recording = file;
            p.Results = Analyse(file, o, BaseSettings(o));
            positions.push_back(std::move(p));
        }
        report = MakeSessionReport(std::move(positions), {});
    }

    // The decays and the report first: a failure leaves no results that look complete.
    std::string error;
    if (!o.decays.empty() &&
        !WriteFileAtomically(o.decays, DecaysCsv(report.Positions.front().Results.Bands), &error))
        throw InputError{"cannot write the decays: " + error};
    if (!o.report.empty()) {
        try {
            WriteReport(report, o.report);
        } catch (const Exception& e) {
            throw InputError{std::string("cannot write the report: ") + e.what()};
        }
    }
    const TResultsReport& single = report.Positions.front().Results;
    const std::string text = report.Positions.size() > 1 || o.average ? SeveralResults(o, report)
                             : o.format == Format::Csv                ? ResultsCsv(single)
                             : o.format == Format::Json               ? ResultsJson(single)
                                                                      : ResultsTable(single);
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
