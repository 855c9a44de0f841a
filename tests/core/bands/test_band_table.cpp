// The bands view's table and decisions: the uncertainty each row and the
// results writer give a band (the ISO formula with the band's n, B and T),
// Tmid, the convergence rule, the Schroeder and clipping marks, and the live
// monitor against the evaluation of the same samples as a recording.
#include "core/bands/band_monitor.h"
#include "core/bands/band_results_format.h"
#include "core/bands/band_uncertainty.h"
#include "core/base/numtext.h"
#include "room_recording.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace ravlon;

namespace {

const TBand& BandAt(TBandSet set, double nominal) {
    static const std::vector<TBand> octaves = StandardBands(TBandSet::Octave);
    static const std::vector<TBand> thirds = StandardBands(TBandSet::ThirdOctave);
    for (const TBand& b : set == TBandSet::Octave ? octaves : thirds)
        if (b.Nominal == nominal) return b;
    throw Exception("no band");
}

// A band with valid T20 and T30 (and EDT), as EvaluateDecay leaves it.
TBandResult Band(TBandSet set, double nominal, double t20, double t30) {
    TBandResult r;
    r.Band = BandAt(set, nominal);
    r.EDT.T = t20;
    r.T20.T = t20;
    r.T30.T = t30;
    r.C = 100 * (t30 / t20 - 1);
    r.CValid = true;
    r.Background = -60;
    return r;
}

// The value of column `name` in every data line of a CSV text.
std::vector<std::string> Column(const std::string& csv, const std::string& name) {
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    size_t index = 0, at = 0;
    for (size_t next;
         (next = line.find(',', at)) != std::string::npos && line.substr(at, next - at) != name;
         at = next + 1)
        ++index;
    std::vector<std::string> values;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string field;
        for (size_t i = 0; i <= index; ++i) std::getline(fields, field, ',');
        values.push_back(field);
    }
    return values;
}

} // namespace

TEST(BandTable, RowsAndResultsCarryTheIsoSigmaOfTheBandsDecaysBandwidthAndTime) {
    for (const auto& [set, nominal, factor] :
         {std::tuple{TBandSet::Octave, 1000.0, 0.71}, {TBandSet::ThirdOctave, 250.0, 0.23}}) {
        const TBandResult b = Band(set, nominal, 0.9, 1.1);
        const double bw = factor * b.Band.Centre;
        const std::vector<TBandRow> rows = MakeBandRows({b}, set, 7, {});
        EXPECT_EQ(rows[0].Decays, 7);
        EXPECT_DOUBLE_EQ(rows[0].T20.Sigma, ReverberationSigma(TSigmaRange::T20, 0.9, 7, 1, bw));
        EXPECT_DOUBLE_EQ(rows[0].T30.Sigma, ReverberationSigma(TSigmaRange::T30, 1.1, 7, 1, bw));
        EXPECT_GT(rows[0].T30.Sigma, 0.005);

        TResultsReport report;
        report.SampFreq = 48000;
        report.FFTSize = 1024;
        report.Cycles = 7;
        report.Set = set;
        report.Bands = {b};
        const std::string csv = ResultsCsv(report);
        EXPECT_EQ(StrToFloatDot(Column(csv, "t20_sigma_s")[0]), rows[0].T20.Sigma);
        EXPECT_EQ(StrToFloatDot(Column(csv, "t30_sigma_s")[0]), rows[0].T30.Sigma);
        const std::string json = ResultsJson(report);
        EXPECT_NE(json.find("\"t20\": {\"t_s\": 0.90000000000000002, \"sigma_s\": " +
                            Column(csv, "t20_sigma_s")[0]),
                  std::string::npos)
            << json;
        EXPECT_EQ(json.find("\"edt\": {\"t_s\": 0.90000000000000002, \"sigma_s\""),
                  std::string::npos);
        EXPECT_NE(ResultsTable(report).find("  +-"), std::string::npos);
    }
}

TEST(BandTable, TmidAndTheCycleSummary) {
    SetUserDecimalSeparator('.');
    std::vector<TBandResult> bands{Band(TBandSet::Octave, 500, 0.8, 0.82),
                                   Band(TBandSet::Octave, 1000, 0.76, 0.8)};
    bands[1].T30.Problems = fpBackground; // 1 kHz falls back to its T20
    TBandTable table;
    table.Rows = MakeBandRows(bands, TBandSet::Octave, 7, {});
    table.Cycles = 7;
    table.Tmid = MidFrequencyTime(table.Rows);
    ASSERT_TRUE(table.Tmid.Valid);
    EXPECT_DOUBLE_EQ(table.Tmid.Value, (0.82 + 0.76) / 2);
    EXPECT_DOUBLE_EQ(table.Tmid.Sigma,
                     std::hypot(table.Rows[0].T30.Sigma, table.Rows[1].T20.Sigma) / 2);
    const double percent = 100 * table.Tmid.Sigma / table.Tmid.Value;
    EXPECT_EQ(CycleSummary(table), "Cycle 7: Tmid 0.79 s +- " + FormatFloat("0.0", percent) + " %");
    // Without a valid 1 kHz value there is no Tmid.
    bands[1].T20.Problems = fpNotReached;
    table.Rows = MakeBandRows(bands, TBandSet::Octave, 7, {});
    EXPECT_FALSE(MidFrequencyTime(table.Rows).Valid);
    table.Tmid = MidFrequencyTime(table.Rows);
    EXPECT_EQ(CycleSummary(table), "Cycle 7: Tmid -");
    table.Cycles = 0;
    EXPECT_EQ(CycleSummary(table), "");
}

TEST(BandTable, ConvergedOnlyWhenEveryValidMidBandIsCertainAndSteady) {
    // Octaves 125 Hz .. 8 kHz of 1 s; the previous cycle's values as given.
    const auto rows = [](int64_t n, double change, double t1000 = 1.0) {
        std::vector<TBandResult> bands;
        std::vector<double> before;
        for (double f : {125.0, 250.0, 500.0, 1000.0, 2000.0, 4000.0, 8000.0}) {
            const double t = f == 1000 ? t1000 : 1.0;
            bands.push_back(Band(TBandSet::Octave, f, t, t));
            before.push_back(t / (1 + change / 100));
        }
        bands[0].T30.Problems = bands[0].T20.Problems = fpNotReached; // 125 Hz: ignored anyway
        return MakeBandRows(bands, TBandSet::Octave, n, before);
    };
    // T30 at 250 Hz (B = 178.3 Hz), the least certain: 0.55 sqrt(1.52 / (n B T))
    // is 1.92 % for n = 7 and 2.07 % for n = 6.
    EXPECT_TRUE(Converged(rows(7, 0.5), 2.0));
    EXPECT_FALSE(Converged(rows(6, 0.5), 2.0));
    EXPECT_FALSE(Converged(rows(7, 2.05), 2.0)); // changed more than the target
    EXPECT_FALSE(Converged(rows(7, -2.5), 2.0)); // in either direction
    EXPECT_TRUE(Converged(rows(3, 0.5), 20.0));
    EXPECT_FALSE(Converged(rows(2, 0.5), 50.0)); // never before 3 cycles
    std::vector<TBandRow> unknown = rows(7, 0.5);
    unknown[3].Change.Valid = false; // no earlier value to compare with
    EXPECT_FALSE(Converged(unknown, 2.0));
    // A band without a valid value does not hold the others up, unless none has one.
    std::vector<TBandRow> partly = rows(7, 0.5);
    partly[2].T30.Valid = partly[2].T20.Valid = false;
    partly[2].Change.Valid = false;
    EXPECT_TRUE(Converged(partly, 2.0));
    for (TBandRow& r : partly) r.T30.Valid = r.T20.Valid = false;
    EXPECT_FALSE(Converged(partly, 2.0));
}

TEST(BandTable, BandsBelowTheSchroederFrequencyAreMarked) {
    // V = 100 m3: fS = 2000 sqrt(T / 100) = 200 Hz for T = 1 s, 100 Hz for T = 0.25 s.
    std::vector<TBandResult> bands{Band(TBandSet::Octave, 125, 1.0, 1.0),
                                   Band(TBandSet::Octave, 125, 0.25, 0.25),
                                   Band(TBandSet::Octave, 250, 1.0, 1.0)};
    MarkBelowSchroeder(bands, 100);
    EXPECT_EQ(bands[0].T30.Problems, fpBelowSchroeder);
    EXPECT_FALSE(bands[0].CValid);
    EXPECT_EQ(FitProblemText(bands[0].EDT.Problems), "below-schroeder");
    EXPECT_EQ(bands[1].T30.Problems, fpNone);
    EXPECT_EQ(bands[2].T20.Problems, fpNone);
    const std::vector<TBandRow> rows = MakeBandRows(bands, TBandSet::Octave, 5, {});
    EXPECT_FALSE(rows[0].T30.Valid);
    EXPECT_EQ(rows[0].T30.Reason, "below Schroeder frequency");
    EXPECT_EQ(BandRowTexts(rows[0])[4].Text.substr(0, 1), "1"); // still shown, greyed
    std::vector<TBandResult> unmarked{Band(TBandSet::Octave, 125, 1.0, 1.0)};
    MarkBelowSchroeder(unmarked, 0);
    EXPECT_EQ(unmarked[0].T30.Problems, fpNone);
}

TEST(BandTable, ResultsAveragingAClippedCycleAreNotValid) {
    std::vector<TBandResult> bands{Band(TBandSet::Octave, 500, 0.8, 0.8),
                                   Band(TBandSet::Octave, 1000, 0.8, 0.8)};
    bands[1].T30.Problems = fpBelowSchroeder;
    // A row averages cycles 1 .. decays; the first clipped cycle (0: none).
    struct Case {
        int64_t firstClipped, decays;
        bool marked;
    };
    for (const Case& c : {Case{0, 5, false}, Case{3, 2, false}, Case{3, 3, true}, Case{3, 5, true},
                          Case{1, 2, true}, Case{6, 5, false}}) {
        SCOPED_TRACE(std::to_string(c.firstClipped) + " " + std::to_string(c.decays));
        std::vector<TBandRow> rows = MakeBandRows(bands, TBandSet::Octave, c.decays, {});
        MarkClipped(rows, c.firstClipped);
        for (const TBandCell* cell : {&rows[0].EDT, &rows[0].T20, &rows[0].T30}) {
            EXPECT_EQ(cell->Valid, !c.marked);
            EXPECT_EQ(cell->Reason, c.marked ? "clipped" : "");
            EXPECT_EQ(cell->Value, 0.8); // still shown, greyed
        }
        EXPECT_EQ(rows[1].T30.Reason,
                  c.marked ? "clipped; below Schroeder frequency" : "below Schroeder frequency");
        EXPECT_TRUE(rows[0].C.Valid);
        EXPECT_EQ(MidFrequencyTime(rows).Valid, !c.marked);
    }
}

TEST(BandMonitor, FollowsTheSamplesAsTheRecordingEvaluationDoesAndTracksTheChange) {
    test::RoomRecordingSetup setup;
    setup.Room = test::BandTestRoom();
    setup.Run.SampFreq = 16000;
    setup.Run.Bandwidth = 100;
    setup.Run.PreNoise = 0.2;
    setup.Run.Noise = 0.6;
    setup.Run.PostNoise = 1.2;
    setup.Cycles = 4;
    const std::vector<int16_t> x = test::RoomRecordingSamples(setup);
    const TSpectrogram::RunPlan plan = TSpectrogram::CheckRun(setup.Run);
    TBandMonitor monitor;
    TFFT fft;
    const TSpectrogram store(fft); // no per-bin evaluation: no medians
    monitor.Evaluate(store, {}, {});
    EXPECT_TRUE(monitor.Table().Rows.empty());
    monitor.Setup(16000, plan.Pos1, plan.Pos2, plan.Pos3);
    const size_t cycle = static_cast<size_t>(plan.Pos3);
    TBandMonitor::TOptions thirds;
    thirds.Set = TBandSet::ThirdOctave;
    for (int c = 1; c <= 4; ++c) {
        monitor.AddSamples(x.data() + (c - 1) * cycle, plan.Pos3);
        monitor.Evaluate(store, {}, thirds);
        EXPECT_EQ(monitor.Cycles(), c);
    }
    const TBandTable& t = monitor.Table();
    const TBandDecayResult ref =
        EvaluateSampleBands(x, 16000, plan.Pos1, plan.Pos2, plan.Pos3, {TBandSet::ThirdOctave});
    ASSERT_EQ(t.Rows.size(), ref.Bands.size());
    for (size_t i = 0; i < t.Rows.size(); ++i) {
        EXPECT_EQ(t.Rows[i].Decays, 4);
        EXPECT_NEAR(t.Rows[i].T30.Value, ref.Bands[i].T30.T, 1e-9 * ref.Bands[i].T30.T + 1e-300);
        EXPECT_EQ(t.Rows[i].T30.Valid, ref.Bands[i].T30.Valid());
    }
    // The octaves always run along: Tmid and the change since cycle 3.
    ASSERT_EQ(monitor.Octaves().size(), 7u);
    EXPECT_TRUE(t.Tmid.Valid);
    const TBandRow& k1 = monitor.Octaves()[4];
    ASSERT_TRUE(k1.Change.Valid);
    EXPECT_LT(std::abs(k1.Change.Value), 10);
    // Input clipped in cycle 4: every result averages it, Tmid has none; in cycle 5 not yet.
    TBandMonitor::TOptions clipped;
    clipped.FirstClippedCycle = 4;
    monitor.Evaluate(store, {}, clipped);
    EXPECT_EQ(monitor.Octaves()[4].T30.Reason, "clipped");
    EXPECT_FALSE(monitor.Table().Tmid.Valid);
    clipped.FirstClippedCycle = 5;
    monitor.Evaluate(store, {}, clipped);
    EXPECT_TRUE(monitor.Table().Rows[4].T30.Valid);
    // A new set-up starts from nothing.
    monitor.Setup(16000, plan.Pos1, plan.Pos2, plan.Pos3);
    EXPECT_EQ(monitor.Cycles(), 0);
    monitor.Evaluate(store, {}, {});
    EXPECT_FALSE(monitor.Table().Rows[4].Change.Valid);
    EXPECT_THROW(monitor.Setup(16000, 10, 5, 100), EBandDecayError);
    EXPECT_FALSE(monitor.IsSetUp());
}
