// The spatial average: means over the valid positions only, the spread, the
// ISO uncertainty with N positions and the harmonic mean of their cycles, the
// mark of a band valid at fewer than half of the positions, Tmid; the
// averaged table as CSV and as the bands view's rows.
#include "core/session/session_average.h"
#include "core/session/session_band_table.h"
#include "core/session/session_report.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ravlon;

namespace {

TDecayFit Fit(double t, bool valid) {
    TDecayFit f;
    f.T = t;
    f.Problems = valid ? fpNone : fpBackground;
    return f;
}

TBandResult Band(double nominal, TDecayFit t20, TDecayFit t30) {
    TBandResult b;
    for (const TBand& band : StandardBands(TBandSet::Octave))
        if (band.Nominal == nominal) b.Band = band;
    b.T20 = t20;
    b.T30 = t30;
    return b;
}

// Three positions: 1 kHz valid everywhere (T30 1.0, 1.1, 0.9), 500 Hz valid
// at the third only, 2 kHz measured at the first only.
std::vector<TPositionBands> Positions() {
    return {
        {"A",
         10,
         {Band(500, Fit(0.7, false), Fit(0.75, false)), Band(1000, Fit(1.2, false), Fit(1.0, true)),
          Band(2000, Fit(0.6, true), Fit(0.6, true))}},
        {"B",
         20,
         {Band(500, Fit(0.7, false), Fit(0.9, false)),
          Band(1000, Fit(1.1, false), Fit(1.1, true))}},
        {"C",
         20,
         {Band(500, Fit(0.8, true), Fit(0.8, true)), Band(1000, Fit(1.0, false), Fit(0.9, true))}}};
}

TEST(SessionAverage, MeanSpreadAndUncertaintyOverTheValidPositions) {
    const std::vector<TPositionBands> positions = Positions();
    const TSessionAverage avg = AverageBands(positions, TBandSet::Octave);
    ASSERT_EQ(avg.Bands.size(), 3u);
    EXPECT_EQ(avg.Positions, 3);
    const TAveragedBand& k1 = avg.Bands[1];
    EXPECT_EQ(k1.Band.Nominal, 1000);
    EXPECT_NEAR(k1.T30.Mean, 1.0, 1e-15);
    EXPECT_NEAR(k1.T30.StdDev, 0.1, 1e-15);
    EXPECT_EQ(k1.T30.Used, (std::vector<int32_t>{0, 1, 2}));
    EXPECT_FALSE(k1.T30.FewPositions);
    // 0.55 T sqrt((1 + 1.52 / n) / (N B T)), n = 3 / (1/10 + 1/20 + 1/20) = 15, N = 3, B = 710.
    EXPECT_NEAR(k1.T30.Uncertainty, 0.012506398988, 1e-11);
    // T20 valid nowhere: no value, marked.
    EXPECT_FALSE(k1.T20.HasValue());
    EXPECT_TRUE(k1.T20.FewPositions);
    EXPECT_TRUE(std::isnan(k1.T20.Uncertainty));
    EXPECT_TRUE(std::isnan(k1.EDT.Uncertainty)); // ISO gives none for EDT

    // Invalid at two positions: the third alone, marked, no spread.
    const TAveragedBand& k500 = avg.Bands[0];
    EXPECT_EQ(k500.T30.Mean, 0.8);
    EXPECT_EQ(k500.T30.Used, std::vector<int32_t>{2});
    EXPECT_TRUE(k500.T30.FewPositions);
    EXPECT_TRUE(std::isnan(k500.T30.StdDev));
    // A band two positions lack counts as not valid there.
    EXPECT_EQ(avg.Bands[2].T30.Used, std::vector<int32_t>{0});
    EXPECT_TRUE(avg.Bands[2].T30.FewPositions);
    // One position valid of two is half, not fewer than half.
    const TSessionAverage two = AverageBands(std::span(positions).subspan(1), TBandSet::Octave);
    EXPECT_FALSE(two.Bands[0].T30.FewPositions);

    // Tmid: the mean of the 500 Hz and 1 kHz values; a position lacking one has none.
    EXPECT_NEAR(avg.Tmid, 0.9, 1e-15);
    EXPECT_TRUE(std::isnan(PositionTmid(positions[0].Bands, TBandSet::Octave)));
    EXPECT_NEAR(PositionTmid(positions[2].Bands, TBandSet::Octave), 0.85, 1e-15);
    // One position's uncertainty: 0.88 T sqrt((1 + 1.90 / 20) / (B T)) at 500 Hz, T = 0.8,
    // B = 0.71 fc with fc = 1000 * 10^-0.3 = 501.187 Hz.
    EXPECT_NEAR(PositionUncertainty(positions[2].Bands[0].T20, true, positions[2].Bands[0].Band,
                                    TBandSet::Octave, 20),
                0.043662193588, 1e-11);
}

TEST(SessionAverage, CsvHoldsTheAveragedTable) {
    const TSessionAverage avg = AverageBands(Positions(), TBandSet::Octave);
    const std::string csv = AverageCsv(avg);
    EXPECT_EQ(csv.substr(0, csv.find('\n')),
              "nominal_hz,centre_hz,positions,edt_s,edt_std_s,edt_u_s,edt_positions,"
              "edt_few_positions,t20_s,t20_std_s,t20_u_s,t20_positions,t20_few_positions,t30_s,"
              "t30_std_s,t30_u_s,t30_positions,t30_few_positions");
    // 500 Hz: T20 and T30 from the third position only, both marked.
    EXPECT_NE(csv.find("\n500,501.18723362727224,3,,,,0,1,0.80000000000000004,,"
                       "0.043662193588472148,1,1,0.80000000000000004,,"),
              std::string::npos)
        << csv;
    const std::string table = AverageTable(avg, {"A", "B", "C"});
    EXPECT_NE(table.find("Average of 3 position(s): A, B, C"), std::string::npos) << table;
    EXPECT_NE(table.find("t30 valid at 1 of 3 positions"), std::string::npos) << table;
    EXPECT_NE(table.find("Tmid: 0.9 s"), std::string::npos) << table;
}

} // namespace

TEST(SessionAverage, BandsViewRowsShowMeanUncertaintyPositionsAndNotes) {
    const TSessionAverage avg = AverageBands(Positions(), TBandSet::Octave);
    const TBandTable table = SessionBandTable(avg, TBandSet::Octave);
    ASSERT_EQ(table.Rows.size(), 3u);
    EXPECT_EQ(table.Note, "Average of 3 positions (n: positions with a valid value)");
    struct Case {
        size_t row;
        bool t30Valid;
        std::string t30Reason, t20Reason;
        int64_t n;
    };
    for (const Case& c :
         {Case{0, false, "valid at 1 of 3 positions", "valid at 1 of 3 positions", 1},
          Case{1, true, "", "valid at 0 of 3 positions", 3},
          Case{2, false, "valid at 1 of 3 positions", "valid at 1 of 3 positions", 1}}) {
        const TBandRow& row = table.Rows[c.row];
        const TAveragedBand& band = avg.Bands[c.row];
        SCOPED_TRACE(row.Band.Nominal);
        EXPECT_EQ(row.T30.Value, band.T30.Mean); // shown, greyed when marked
        EXPECT_EQ(row.T30.Sigma, band.T30.Uncertainty);
        EXPECT_EQ(row.T30.Valid, c.t30Valid);
        EXPECT_EQ(row.T30.Reason, c.t30Reason);
        EXPECT_EQ(row.T20.Reason, c.t20Reason);
        EXPECT_EQ(row.Decays, c.n);
        // No C, margin, per-bin T60 or change for an average: empty, not "not valid".
        const std::vector<TCellText> texts = BandRowTexts(row);
        EXPECT_EQ(texts[6].Text, "-");
        EXPECT_TRUE(texts[6].Valid);
    }
    EXPECT_TRUE(table.Tmid.Valid);
    EXPECT_EQ(table.Tmid.Value, avg.Tmid);
    EXPECT_DOUBLE_EQ(table.Tmid.Sigma,
                     std::hypot(avg.Bands[0].T30.Uncertainty, avg.Bands[1].T30.Uncertainty) / 2);
    // Thirds: the session averages octaves, and says so.
    const TBandTable thirds = SessionBandTable(avg, TBandSet::ThirdOctave);
    EXPECT_TRUE(thirds.Rows.empty());
    EXPECT_FALSE(thirds.Tmid.Valid);
    EXPECT_EQ(thirds.Note, "The session average is per octave band: choose octaves to see it.");
    EXPECT_EQ(SessionBandTable(AverageBands({}, TBandSet::Octave), TBandSet::Octave).Note,
              "No analysed position is included in the session.");
}
