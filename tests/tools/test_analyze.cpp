// ravlon-analyze as a subprocess: its per-bin results equal EvaluateT60 on a
// store built the main window's way, bit for bit; CSV and JSON parse back (JSON
// with Python's strict parser) and agree with the core band evaluation of
// either method; the decay file holds the core's decays; a mono WAV is
// analysed like the recording it came from; bad input gives clear errors with
// the documented exit codes.
#include "core/bands/band_decays.h"
#include "core/bands/band_evaluation.h"
#include "core/bands/band_uncertainty.h"
#include "core/bands/room_recording.h"
#include "core/base/numtext.h"
#include "core/measure/reanalysis.h"
#include "core/views/t60_evaluation.h"
#include "core/views/view_math.h"

#include "support/fault_files.h"
#include "tools/tool_runner.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

using test::Number;
using test::Quote;
using test::ReadAll;
using test::SplitCsv;
using test::SplitLines;
using Result = test::ToolResult;

class AnalyzeTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("ravlon-analyze-test-" + std::to_string(::getpid())));
        fs::create_directories(*dir_);
        setup_ = new test::RoomRecordingSetup;
        setup_->Room = test::BandTestRoom();
        setup_->Run.SampFreq = 16000;
        setup_->Run.Bandwidth = 100;
        setup_->Run.PreNoise = 0.2;
        setup_->Run.Noise = 0.6;
        setup_->Run.PostNoise = 1.2;
        setup_->Cycles = 4;
        ASSERT_TRUE(test::WriteRoomRecording(Recording(), *setup_));
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
        delete setup_;
    }
    static std::string Recording() { return (*dir_ / "room.ravlon").string(); }
    static fs::path Dir() { return *dir_; }

    // prefix: shell text before the command (environment, limits).
    static Result Run(const std::vector<std::string>& args, const std::string& prefix = "") {
        return test::RunTool(*dir_, args, prefix);
    }

    // A 16 kHz recording with pos1 0, the given pos2 and pos3 (empty: no item)
    // and one block of silence.
    static bool WriteShortRecording(const std::string& name, const std::string& pos2,
                                    const std::string& pos3) {
        TSMPfile f;
        if (!f.new_file(name)) return false;
        f.insert_nonpresent_defaults();
        f.set_sftot(16000);
        f.set_item("pos1", "0");
        f.set_item("pos2", pos2);
        f.set_item("pos3", pos3);
        auto block = std::make_unique<TSMPBlock>();
        block->Count = TSMPfile::BlockSamples;
        return f.save_file("") && f.write_block(0, *block) && f.close_file();
    }

    static bool HavePython() { return test::HavePython(); }
    static std::string Python(const std::string& script, const std::string& input) {
        return test::RunPython(*dir_, script, input);
    }

    // The store the main window builds when it opens file with these settings.
    struct MainWindowStore {
        TFFT fft;
        TSpectrogram s{fft};
        std::vector<double> t60, start, end;
    };
    static std::unique_ptr<MainWindowStore> OpenLikeMainWindow(const std::string& file, int window,
                                                               double bandwidth, double initial,
                                                               double additional) {
        auto m = std::make_unique<MainWindowStore>();
        TSMPfile f;
        EXPECT_TRUE(f.open_file(file, true));
        m->s.SetSampFreq(Round(f.channel_rate(0)));
        m->s.SetupWindow(window);
        const int32_t p1 = StrToInt(f.get_item("pos1"));
        const int32_t p2 = StrToInt(f.get_item("pos2"));
        const int32_t p3 = StrToInt(f.get_item("pos3"));
        m->s.SetupFFTSize();
        m->s.SetupWindowSize(bandwidth);
        m->s.SetPositions(p1, p2, p3);
        m->s.ClearStore();
        m->s.ResetCounters();
        m->s.RequestRepaint();
        TSpectrogram& s = m->s;
        ReanalyseRecording(
            f, s,
            [&](const TSMPBlock& b, bool analyse) {
                if (analyse) s.AddSamples(b.Samples, b.Count);
            },
            [&] { s.UpdateNoiseReference(); });
        EvaluateT60(s, m->fft.FFTSize(), m->fft.WindowSize(), initial, additional, m->t60, m->start,
                    m->end);
        return m;
    }

    static void ExpectBinsEqual(const std::string& csv, const MainWindowStore& m) {
        const std::vector<std::string> lines = SplitLines(csv);
        ASSERT_EQ(lines.size(), m.t60.size() + 1);
        EXPECT_EQ(lines[0], "frequency_hz,start_frame,end_frame,t60_s");
        int withValue = 0;
        for (size_t b = 0; b < m.t60.size(); ++b) {
            const std::vector<std::string> f = SplitCsv(lines[b + 1]);
            ASSERT_EQ(f.size(), 4u) << lines[b + 1];
            EXPECT_EQ(Number(f[0]), double(b) * m.s.SampFreq() / m.s.BlockSize());
            EXPECT_EQ(Number(f[1]), m.start[b]) << b;
            EXPECT_EQ(Number(f[2]), m.end[b]) << b;
            EXPECT_EQ(Number(f[3]), m.t60[b]) << b;
            withValue += m.t60[b] > 0;
        }
        EXPECT_GT(withValue, int(m.t60.size()) / 2); // the comparison is not of zeros
    }

    // A CSV text as rows of named fields.
    static std::vector<std::map<std::string, std::string>> CsvRows(const std::string& csv) {
        const std::vector<std::string> lines = SplitLines(csv);
        std::vector<std::map<std::string, std::string>> rows;
        if (lines.empty()) return rows;
        const std::vector<std::string> head = SplitCsv(lines[0]);
        for (size_t i = 1; i < lines.size(); ++i) {
            const std::vector<std::string> f = SplitCsv(lines[i]);
            EXPECT_EQ(f.size(), head.size()) << lines[i];
            auto& row = rows.emplace_back();
            for (size_t k = 0; k < std::min(f.size(), head.size()); ++k) row[head[k]] = f[k];
        }
        return rows;
    }

    // The core's band decays of the test recording, octaves.
    static TBandDecayResult TimeBands(TFilterDirection direction) {
        TSMPfile f;
        EXPECT_TRUE(f.open_file(Recording(), true));
        TBandDecayOptions o;
        o.Direction = direction;
        return EvaluateRecordingBands(f, o);
    }

    // Every value of the tool's band CSV row is the core's (empty when it has none).
    static void ExpectBandsEqual(const std::string& csv, const std::vector<TBandResult>& bands) {
        const auto rows = CsvRows(csv);
        ASSERT_EQ(rows.size(), bands.size());
        for (size_t i = 0; i < bands.size(); ++i) {
            SCOPED_TRACE(bands[i].Band.Nominal);
            auto row = rows[i];
            EXPECT_EQ(Number(row["nominal_hz"]), bands[i].Band.Nominal);
            EXPECT_EQ(row["bins"], ""); // filters, not bins
            for (const auto& [name, fit] : {std::pair{"edt_s", &bands[i].EDT},
                                            {"t20_s", &bands[i].T20},
                                            {"t30_s", &bands[i].T30}}) {
                if (fit->HasValue())
                    EXPECT_EQ(Number(row[name]), fit->T) << name;
                else
                    EXPECT_EQ(row[name], "") << name;
            }
            EXPECT_EQ(row["method"], "time");
        }
    }

    static fs::path* dir_;
    static test::RoomRecordingSetup* setup_;
};

fs::path* AnalyzeTool::dir_ = nullptr;
test::RoomRecordingSetup* AnalyzeTool::setup_ = nullptr;

// Writes samples as a 16-bit WAV with the given channel count (interleaved copies).
bool WriteWav(const std::string& path, const std::vector<int16_t>& mono, int rate, int channels) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) return false;
    std::vector<int16_t> frames;
    for (int16_t v : mono)
        for (int c = 0; c < channels; ++c) frames.push_back(v);
    const sf_count_t n = sf_writef_short(f, frames.data(), sf_count_t(mono.size()));
    sf_close(f);
    return n == sf_count_t(mono.size());
}

std::vector<int16_t> ReadSamples(const std::string& recording) {
    TSMPfile f;
    EXPECT_TRUE(f.open_file(recording, true));
    std::vector<int16_t> all;
    auto block = std::make_unique<TSMPBlock>();
    for (;;) {
        f.read_block(0, *block);
        if (block->Count <= 0) break;
        all.insert(all.end(), block->Samples, block->Samples + block->Count);
    }
    return all;
}

} // namespace

TEST_F(AnalyzeTool, PerBinCsvEqualsEvaluateT60OnTheMainWindowStore) {
    Result r = Run({Recording(), "--bands", "bins", "--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    auto m = OpenLikeMainWindow(Recording(), 3, 500, 5, 30);
    ExpectBinsEqual(r.out, *m);

    // Other settings: another FFT size and window, other drops.
    r = Run({Recording(), "--bands=bins", "--format=csv", "--window", "hamming", "--bandwidth",
             "100", "--initial-drop", "3", "--additional-drop", "20"});
    ASSERT_EQ(r.code, 0) << r.err;
    m = OpenLikeMainWindow(Recording(), 2, 100, 3, 20);
    EXPECT_EQ(m->s.BlockSize(), 512);
    ExpectBinsEqual(r.out, *m);
}

TEST_F(AnalyzeTool, PerBinJsonParsesBackToTheSameNumbers) {
    if (!HavePython()) GTEST_SKIP() << "python3 with its json module is not installed";
    const Result r = Run({Recording(), "--bands", "bins", "--format", "json"});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string lines =
        Python("import json, sys\n"
               "def bad(c): raise ValueError(c)\n"
               "d = json.load(sys.stdin, parse_constant=bad)\n"
               "print(d['samp_freq'], d['fft_size'], d['cycles'])\n"
               "for b in d['bins']:\n"
               "    print('%r,%r,%r,%r' % (float(b['frequency_hz']), float(b['start_frame']),\n"
               "          float(b['end_frame']), float(b['t60_s'])))\n",
               r.out);
    auto m = OpenLikeMainWindow(Recording(), 3, 500, 5, 30);
    std::vector<std::string> rows = SplitLines(lines);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], "16000 64 4");
    rows[0] = "frequency_hz,start_frame,end_frame,t60_s";
    std::string csv;
    for (const std::string& row : rows) csv += row + "\n";
    ExpectBinsEqual(csv, *m);
}

TEST_F(AnalyzeTool, OctaveCsvAndJsonAgreeWithTheCoreEvaluation) {
    const Result csv = Run({Recording(), "--bandwidth", "100", "--format", "csv", "--volume", "200",
                            "--method", "spectrogram"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    auto m = OpenLikeMainWindow(Recording(), 3, 100, 5, 30);
    std::vector<TBandResult> bands = EvaluateBands(m->s, TBandSet::Octave, m->t60);
    MarkBelowSchroeder(bands, 200);
    ASSERT_EQ(bands.size(), 7u); // 16 kHz: up to the 4 kHz octave

    const std::vector<std::string> lines = SplitLines(csv.out);
    ASSERT_EQ(lines.size(), bands.size() + 1);
    const std::vector<std::string> head = SplitCsv(lines[0]);
    std::map<std::string, size_t> col;
    for (size_t i = 0; i < head.size(); ++i) col[head[i]] = i;
    for (const char* name :
         {"nominal_hz", "lower_hz", "upper_hz", "bins", "t20_s", "t30_valid", "t30_problems",
          "c_percent", "t60_median_s", "radius_m", "limit_frequency_hz", "method"})
        ASSERT_TRUE(col.count(name)) << name;
    for (size_t i = 0; i < bands.size(); ++i) {
        const std::vector<std::string> f = SplitCsv(lines[i + 1]);
        ASSERT_EQ(f.size(), head.size()) << lines[i + 1];
        const TBandResult& b = bands[i];
        SCOPED_TRACE(b.Band.Nominal);
        EXPECT_EQ(Number(f[col["nominal_hz"]]), b.Band.Nominal);
        EXPECT_EQ(Number(f[col["lower_hz"]]), b.Band.Lower);
        EXPECT_EQ(Number(f[col["bins"]]), b.Bins.Count());
        EXPECT_EQ(f[col["method"]], "spectrogram");
        if (b.T20.HasValue())
            EXPECT_EQ(Number(f[col["t20_s"]]), b.T20.T);
        else
            EXPECT_EQ(f[col["t20_s"]], "");
        EXPECT_EQ(f[col["t30_valid"]], b.T30.Valid() ? "1" : "0");
        EXPECT_EQ(f[col["t30_problems"]], FitProblemText(b.T30.Problems));
        const double t = b.ReverberationTime();
        if (t > 0) {
            EXPECT_EQ(Number(f[col["radius_m"]]), ReverberationRadius(200, t));
            EXPECT_EQ(Number(f[col["limit_frequency_hz"]]), LimitFrequency(t, 200));
        } else {
            EXPECT_EQ(f[col["radius_m"]], "");
        }
    }
    // The mid bands of the room decay validly and near its T60.
    EXPECT_NEAR(bands[4].T30.T, 1.0, 0.1);

    if (!HavePython()) GTEST_SKIP() << "python3 with its json module is not installed";
    const Result json = Run({Recording(), "--bandwidth", "100", "--format", "json", "--volume",
                             "200", "--bands", "octave", "--method", "spectrogram"});
    ASSERT_EQ(json.code, 0) << json.err;
    const std::string rows =
        Python("import json, sys\n"
               "def bad(c): raise ValueError(c)\n"
               "d = json.load(sys.stdin, parse_constant=bad)\n"
               "assert d['band_set'] == 'octave' and d['volume_m3'] == 200\n"
               "assert d['method'] == 'spectrogram' and 'filter_direction' not in d\n"
               "for b in d['bands']:\n"
               "    t = b['t20']['t_s']\n"
               "    print('%r,%s,%s,%s' % (float(b['nominal_hz']), '' if t is None else repr(t),\n"
               "          'true' if b['t30']['valid'] else 'false', b['t30']['problems']))\n",
               json.out);
    const std::vector<std::string> jl = SplitLines(rows);
    ASSERT_EQ(jl.size(), bands.size()) << rows;
    for (size_t i = 0; i < bands.size(); ++i) {
        const std::vector<std::string> f = SplitCsv(jl[i]);
        ASSERT_EQ(f.size(), 4u) << jl[i];
        EXPECT_EQ(Number(f[0]), bands[i].Band.Nominal);
        if (bands[i].T20.HasValue()) {
            EXPECT_EQ(Number(f[1]), bands[i].T20.T);
        }
        EXPECT_EQ(f[2], bands[i].T30.Valid() ? "true" : "false");
        EXPECT_EQ(f[3], FitProblemText(bands[i].T30.Problems));
    }
}

TEST_F(AnalyzeTool, TimeMethodIsTheDefaultAndItsDecayFileHoldsTheCoreDecays) {
    const fs::path decays = Dir() / "decays.csv";
    const Result r = Run({Recording(), "--format", "csv", "--decays", decays.string()});
    ASSERT_EQ(r.code, 0) << r.err;
    const TBandDecayResult core = TimeBands(TFilterDirection::Forward);
    ASSERT_EQ(core.Bands.size(), 7u);
    ExpectBandsEqual(r.out, core.Bands);
    EXPECT_EQ(CsvRows(r.out)[0]["filter_direction"], "forward");
    ASSERT_TRUE(core.Bands[4].T30.Valid());
    EXPECT_NEAR(core.Bands[4].T30.T, 1.0, 0.1); // the room's 1 kHz octave
    // The per-bin T60 summary is the program's own per-bin evaluation, whatever the method.
    const auto timeRows = CsvRows(r.out);
    const auto binRows =
        CsvRows(Run({Recording(), "--format", "csv", "--method", "spectrogram"}).out);
    ASSERT_EQ(binRows.size(), timeRows.size());
    for (size_t i = 0; i < timeRows.size(); ++i) {
        EXPECT_EQ(timeRows[i].at("t60_median_s"), binRows[i].at("t60_median_s"));
        EXPECT_EQ(timeRows[i].at("t60_bins"), binRows[i].at("t60_bins"));
    }
    EXPECT_NE(timeRows[4].at("t60_bins"), "0");

    // One column per band, one row per 1 ms point, the core's levels.
    const auto rows = CsvRows(ReadAll(decays));
    ASSERT_EQ(rows.size(), core.Bands[0].Decay.Level.size());
    ASSERT_GT(rows.size(), 1900u); // a cycle of 2.016 s
    for (size_t k = 0; k < rows.size(); ++k) {
        auto row = rows[k];
        EXPECT_EQ(Number(row["time_s"]), core.Bands[0].Decay.TimeAt(int32_t(k)));
        if (k > 0) {
            EXPECT_NEAR(Number(row["time_s"]) - Number(rows[k - 1].at("time_s")), 1e-3, 1e-9);
        }
        for (const TBandResult& b : core.Bands) {
            const double level = b.Decay.Level[k];
            const std::string& text = row[FloatToStrDot(b.Band.Nominal) + "_hz"];
            if (std::isfinite(level))
                ASSERT_EQ(Number(text), level) << b.Band.Nominal << " Hz, point " << k;
            else
                ASSERT_EQ(text, "");
        }
    }

    if (!HavePython()) GTEST_SKIP() << "python3 with its json module is not installed";
    const Result json = Run({Recording(), "--format", "json", "--method", "time"});
    ASSERT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(Python("import json, sys\n"
                     "d = json.load(sys.stdin)\n"
                     "print(d['method'], d['filter_direction'], d['bands'][0]['bins'])\n",
                     json.out),
              "time forward None\n");
}

TEST_F(AnalyzeTool, UncertaintyAndSchroederMarksInEveryFormat) {
    const Result csv = Run({Recording(), "--format", "csv", "--volume", "300"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    TBandDecayResult core = TimeBands(TFilterDirection::Forward);
    MarkBelowSchroeder(core.Bands, 300);
    const auto rows = CsvRows(csv.out);
    ASSERT_EQ(rows.size(), core.Bands.size());
    int marked = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const TBandResult& b = core.Bands[i];
        const double n = double(core.Cycles);
        EXPECT_EQ(Number(rows[i].at("t20_sigma_s")), BandSigma(TSigmaRange::T20, b, {}, n));
        EXPECT_EQ(Number(rows[i].at("t30_sigma_s")), BandSigma(TSigmaRange::T30, b, {}, n));
        EXPECT_EQ(rows[i].at("t30_problems"), FitProblemText(b.T30.Problems));
        marked += (b.T30.Problems & fpBelowSchroeder) != 0;
    }
    EXPECT_GE(marked, 1); // 63 Hz: 0.4 s in 300 m3 gives fS = 73 Hz
    EXPECT_NE(Run({Recording(), "--volume", "300"}).out.find("t30:below-schroeder"),
              std::string::npos);

    if (!HavePython()) GTEST_SKIP() << "python3 with its json module is not installed";
    const Result json = Run({Recording(), "--format", "json", "--volume", "300"});
    ASSERT_EQ(json.code, 0) << json.err;
    const std::vector<std::string> lines =
        SplitLines(Python("import json, sys\n"
                          "def bad(c): raise ValueError(c)\n"
                          "d = json.load(sys.stdin, parse_constant=bad)\n"
                          "for b in d['bands']:\n"
                          "    assert 'sigma_s' not in b['edt']\n"
                          "    print('%r,%r' % (b['t20']['sigma_s'], b['t30']['sigma_s']))\n",
                          json.out));
    ASSERT_EQ(lines.size(), rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::vector<std::string> f = SplitCsv(lines[i]);
        ASSERT_EQ(f.size(), 2u) << lines[i];
        EXPECT_EQ(Number(f[0]), Number(rows[i].at("t20_sigma_s")));
        EXPECT_EQ(Number(f[1]), Number(rows[i].at("t30_sigma_s")));
    }
}

TEST_F(AnalyzeTool, ReverseFilterChangesTheLowBandsAndOnlyAppliesToTheTimeMethod) {
    const Result forward = Run({Recording(), "--format", "csv"});
    const Result reversed = Run({Recording(), "--format", "csv", "--reverse-filter"});
    ASSERT_EQ(reversed.code, 0) << reversed.err;
    const TBandDecayResult core = TimeBands(TFilterDirection::Reversed);
    ExpectBandsEqual(reversed.out, core.Bands);
    EXPECT_EQ(CsvRows(reversed.out)[0]["filter_direction"], "reversed");
    EXPECT_NE(CsvRows(forward.out)[0]["edt_s"], CsvRows(reversed.out)[0]["edt_s"]);

    for (const std::vector<std::string>& refused :
         {std::vector<std::string>{"--reverse-filter", "--method", "spectrogram"},
          {"--reverse-filter", "--bands", "bins"},
          {"--decays", (Dir() / "d.csv").string(), "--bands", "bins"},
          {"--decays", Recording()}}) {
        std::vector<std::string> args{Recording()};
        args.insert(args.end(), refused.begin(), refused.end());
        const Result r = Run(args);
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find(refused[0] + ": "), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    // A decay file that cannot be written: no results that pass for complete.
    const Result r = Run({Recording(), "--decays", (Dir() / "missing" / "d.csv").string()});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot write the decays"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
}

TEST_F(AnalyzeTool, ThirdOctaveTableAndHelp) {
    Result r = Run({Recording(), "--bands", "third"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("Band [Hz]"), std::string::npos);
    EXPECT_NE(r.out.find("4 complete cycle(s)"), std::string::npos);
    EXPECT_NE(r.out.find("\n     6300 "), std::string::npos) << r.out; // last third at 16 kHz
    EXPECT_EQ(r.out.find("\n     8000 "), std::string::npos);
    r = Run({"--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("Exit codes"), std::string::npos);
}

TEST_F(AnalyzeTool, MonoWavIsAnalysedLikeTheRecordingItCameFrom) {
    const std::string wav = (Dir() / "room.wav").string();
    ASSERT_TRUE(WriteWav(wav, ReadSamples(Recording()), 16000, 1));
    // Positions from the durations at the FFT size of the bandwidth, as the run
    // that made the recording computed them.
    const Result fromWav = Run({wav, "--pre", "0.2", "--noise", "0.6", "--post", "1.2", "--bands",
                                "bins", "--format", "csv", "--bandwidth", "100"});
    ASSERT_EQ(fromWav.code, 0) << fromWav.err;
    const Result fromRec =
        Run({Recording(), "--bands", "bins", "--format", "csv", "--bandwidth", "100"});
    ASSERT_EQ(fromRec.code, 0) << fromRec.err;
    EXPECT_EQ(fromWav.out, fromRec.out);
    // The time method reads the converted recording.
    const Result bandsFromWav = Run({wav, "--pre", "0.2", "--noise", "0.6", "--post", "1.2",
                                     "--format", "csv", "--bandwidth", "100"});
    ASSERT_EQ(bandsFromWav.code, 0) << bandsFromWav.err;
    EXPECT_EQ(bandsFromWav.out, Run({Recording(), "--format", "csv", "--bandwidth", "100"}).out);

    const std::string stereo = (Dir() / "stereo.wav").string();
    ASSERT_TRUE(WriteWav(stereo, std::vector<int16_t>(16000, 5), 16000, 2));
    Result r = Run({stereo, "--pre", "0.2", "--noise", "0.6", "--post", "1.2"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("2 channels"), std::string::npos) << r.err;
    r = Run({wav});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--pre, --noise and --post"), std::string::npos) << r.err;
    r = Run({Recording(), "--pre", "1"});
    EXPECT_EQ(r.code, 1) << r.err;
}

TEST_F(AnalyzeTool, BadInputGivesClearErrorsAndExitCodes) {
    Result r = Run({(Dir() / "missing.ravlon").string()});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;

    // A recording without "pos3".
    const std::string nopos = (Dir() / "nopos.ravlon").string();
    ASSERT_TRUE(WriteShortRecording(nopos, "1024", ""));
    r = Run({nopos});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no item \"pos3\""), std::string::npos) << r.err;

    // Bytes that are neither a recording nor an audio file.
    const std::string junk = (Dir() / "junk.bin").string();
    std::ofstream(junk, std::ios::binary) << std::string(5000, '\x7f');
    r = Run({junk});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_FALSE(r.err.empty());

    // Less than one cycle of samples.
    const std::string shortRec = (Dir() / "short.ravlon").string();
    {
        test::RoomRecordingSetup s = *setup_;
        s.Cycles = 0;
        ASSERT_TRUE(test::WriteRoomRecording(shortRec, s));
    }
    r = Run({shortRec});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("no complete cycle"), std::string::npos) << r.err;

    r = Run({Recording(), "--bandwidth", "100000"}); // window size rounds to 0
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("Window size out of range"), std::string::npos) << r.err;

    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{Recording(), "--bandwidth", "abc"},
          {Recording(), "--bandwidth", "-5"},
          {Recording(), "--bandwidth", "0"},
          {Recording(), "--bandwidth", "nan"},
          {Recording(), "--window", "kaiser"},
          {Recording(), "--bands", "sixth"},
          {Recording(), "--format", "xml"},
          {Recording(), "--volume", "0"},
          {Recording(), "--initial-drop", "-1"},
          {Recording(), "--additional-drop", "1e20"},
          {Recording(), "--frobnicate"},
          {Recording(), "--bandwidth"},
          {Recording(), Recording()},
          {}}) {
        r = Run(bad);
        EXPECT_EQ(r.code, 1) << (bad.size() > 1 ? bad[1] : "") << ": " << r.err;
        EXPECT_NE(r.err.find("ravlon-analyze: "), std::string::npos);
        EXPECT_TRUE(r.out.empty());
        // A value that is refused is named with its option.
        if (bad.size() == 3) {
            EXPECT_NE(r.err.find(bad[1] + ": "), std::string::npos) << r.err;
        }
    }
    r = Run({Recording(), "--initial-drop", "1e20"});
    EXPECT_NE(r.err.find("--initial-drop: 1e20 is out of range"), std::string::npos) << r.err;

    // A damaged audio file is an input problem, also with the audio options.
    const std::string damaged = (Dir() / "damaged.wav").string();
    std::ofstream(damaged, std::ios::binary)
        << std::string("RIFF\x24\0\0\0WAVEfmt \x10\0\0\0", 20) << std::string(200, '\x55');
    r = Run({damaged, "--pre", "0.2", "--noise", "0.6", "--post", "1.2"});
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("damaged.wav: not an audio file"), std::string::npos) << r.err;

    // Results that cannot be written are a failure too.
    if (fs::exists("/dev/full")) {
        const int status = std::system(
            (Quote(RAVLON_ANALYZE) + " " + Quote(Recording()) + " >/dev/full 2>/dev/null").c_str());
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 2);
    }
}

TEST_F(AnalyzeTool, FullTemporaryFolderIsAnInputErrorNotAPartialResult) {
    ravlon::testing::SmallTmpfs disk(64);
    if (!disk.Mounted()) GTEST_SKIP() << disk.Error();
    const std::string wav = (Dir() / "three-cycles.wav").string();
    ASSERT_TRUE(WriteWav(wav, ReadSamples(Recording()), 16000, 1)); // 256 KB of samples
    const Result r = Run({wav, "--pre", "0.2", "--noise", "0.6", "--post", "1.2"},
                         "TMPDIR=" + Quote(disk.Dir()) + " ");
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find(std::strerror(ENOSPC)), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
}

TEST_F(AnalyzeTool, HugeCycleInATinyFileIsRefusedBeforeItsStoreIsAllocated) {
    const std::string tiny = (Dir() / "tiny.ravlon").string();
    ASSERT_TRUE(WriteShortRecording(tiny, "16000", "268000000")); // a store of almost 1 GiB
    // Without the sanitizers' own reservations, a memory limit far below the
    // store shows that it is never allocated.
#if defined(__SANITIZE_ADDRESS__)
    const std::string limit;
#else
    const std::string limit = "ulimit -v 400000; ";
#endif
    const Result r = Run({tiny}, limit);
    EXPECT_EQ(r.code, 3) << r.err;
    EXPECT_NE(r.err.find("no complete cycle"), std::string::npos) << r.err;
}

TEST_F(AnalyzeTool, FileNameThatIsNotUtf8StillGivesValidJson) {
    if (!HavePython()) GTEST_SKIP() << "python3 with its json module is not installed";
    const fs::path odd = Dir() / "room-\xff\xfe.ravlon";
    fs::copy_file(Recording(), odd, fs::copy_options::overwrite_existing);
    const Result r = Run({odd.string(), "--format", "json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Python("import json, sys\n"
                     "d = json.loads(sys.stdin.buffer.read().decode('utf-8'))\n"
                     "print(d['file'].endswith('room-\\ufffd\\ufffd.ravlon'))\n",
                     r.out),
              "True\n");
}
