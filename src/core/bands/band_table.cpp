#include "core/bands/band_table.h"

#include "core/bands/band_results_format.h"
#include "core/bands/band_uncertainty.h"
#include "core/base/numtext.h"

#include <algorithm>
#include <cmath>

namespace ravlon {

namespace {

TBandCell FitCell(const TDecayFit& f) {
    TBandCell c;
    c.Value = f.T;
    c.Valid = f.Valid();
    if (!c.Valid) c.Reason = f.Problems ? FitProblemReasons(f.Problems) : "no value";
    return c;
}

TBandCell Plain(double value, bool valid, const char* reason) {
    TBandCell c;
    c.Value = value;
    c.Valid = valid && std::isfinite(value);
    if (!c.Valid) c.Reason = reason;
    return c;
}

// The band's T30 when valid, else its T20 when valid, else none.
const TBandCell* TimeCell(const TBandRow& row) {
    if (row.T30.Valid) return &row.T30;
    if (row.T20.Valid) return &row.T20;
    return nullptr;
}

// A number as shown to the user: the tool's table digits, the user's separator.
std::string Shown(double v, int digits) {
    std::string s = TableNumber(v, digits);
    std::replace(s.begin(), s.end(), '.', UserDecimalSeparator());
    return s;
}

} // namespace

std::vector<TBandRow> MakeBandRows(const std::vector<TBandResult>& bands, TBandSet set,
                                   int64_t decays, const std::vector<double>& previous) {
    std::vector<TBandRow> rows;
    rows.reserve(bands.size());
    const auto n = static_cast<double>(decays);
    for (size_t i = 0; i < bands.size(); ++i) {
        const TBandResult& b = bands[i];
        TBandRow& row = rows.emplace_back();
        row.Band = b.Band;
        row.Decays = decays;
        row.EDT = FitCell(b.EDT);
        row.T20 = FitCell(b.T20);
        row.T20.Sigma = BandSigma(TSigmaRange::T20, b, set, n);
        row.T30 = FitCell(b.T30);
        row.T30.Sigma = BandSigma(TSigmaRange::T30, b, set, n);
        row.C = Plain(b.C, b.CValid, "");
        if (!row.C.Valid)
            row.C.Reason = std::isfinite(b.C) ? FitProblemReasons(b.T20.Problems | b.T30.Problems)
                                              : "needs T20 and T30";
        row.Margin = Plain(-b.Background, true, "no steady level");
        row.T60Bins = Plain(b.T60Median, b.T60Count > 0, "no per-bin T60 in the band");
        const double t = b.ReverberationTime();
        const double before = i < previous.size() ? previous[i] : TBandResult::None;
        row.Change =
            Plain(100.0 * (t - before) / before, t > 0 && before > 0,
                  t > 0 ? "no value at an earlier cycle to compare with" : "no valid T30 or T20");
    }
    return rows;
}

void MarkClipped(std::vector<TBandRow>& rows, int64_t firstClipped) {
    if (firstClipped <= 0) return;
    for (TBandRow& row : rows) {
        if (row.Decays < firstClipped) continue;
        for (TBandCell* c : {&row.EDT, &row.T20, &row.T30}) {
            c->Reason = c->Valid ? "clipped" : "clipped; " + c->Reason;
            c->Valid = false;
        }
    }
}

TBandCell MidFrequencyTime(const std::vector<TBandRow>& octaves) {
    TBandCell mid;
    mid.Reason = "the 500 Hz and 1 kHz octave bands need a valid T30 or T20";
    const TBandCell *t500 = nullptr, *t1000 = nullptr;
    for (const TBandRow& row : octaves) {
        if (row.Band.Nominal == 500) t500 = TimeCell(row);
        if (row.Band.Nominal == 1000) t1000 = TimeCell(row);
    }
    if (!t500 || !t1000) return mid;
    mid.Value = (t500->Value + t1000->Value) / 2;
    mid.Sigma = std::hypot(t500->Sigma, t1000->Sigma) / 2;
    mid.Valid = true;
    mid.Reason.clear();
    return mid;
}

bool Converged(const std::vector<TBandRow>& octaves, double targetPercent) {
    if (!(targetPercent > 0)) return false;
    int checked = 0;
    for (const TBandRow& row : octaves) {
        if (row.Band.Nominal < 250 || row.Band.Nominal > 4000) continue;
        const TBandCell* t = TimeCell(row);
        if (!t) continue;
        if (row.Decays < MinConvergedCycles) return false;
        const TSigmaRange range = t == &row.T30 ? TSigmaRange::T30 : TSigmaRange::T20;
        const double sigma =
            AveragingSigma(range, t->Value, static_cast<double>(row.Decays), 1,
                           UncertaintyBandwidth(TBandSet::Octave, row.Band.Centre));
        if (!(100.0 * sigma / t->Value <= targetPercent)) return false;
        if (!row.Change.Valid || !(std::abs(row.Change.Value) < targetPercent)) return false;
        ++checked;
    }
    return checked > 0;
}

std::string TmidText(const TBandCell& tmid) {
    if (!tmid.Valid) return "Tmid -";
    std::string text = "Tmid " + FormatFloat("0.00", tmid.Value) + " s";
    if (std::isfinite(tmid.Sigma))
        text += " +- " + FormatFloat("0.0", 100.0 * tmid.Sigma / tmid.Value) + " %";
    return text;
}

std::string CycleSummary(const TBandTable& table) {
    if (table.Cycles <= 0) return "";
    return "Cycle " + std::to_string(table.Cycles) + ": " + TmidText(table.Tmid);
}

std::vector<std::string> BandColumnTitles() {
    return {"Band [Hz]", "EDT [s]",     "T20 [s]", "+- T20 [s]",   "T30 [s]",   "+- T30 [s]",
            "C [%]",     "Margin [dB]", "n",       "T60 bins [s]", "Change [%]"};
}

std::vector<TCellText> BandRowTexts(const TBandRow& row) {
    const auto cell = [](const TBandCell& c, int digits) {
        return TCellText{Shown(c.Value, digits), c.Valid, c.Reason};
    };
    const auto sigma = [](const TBandCell& c) {
        return TCellText{Shown(c.Sigma, 2), c.Valid, c.Reason};
    };
    TCellText change = cell(row.Change, 2);
    if (row.Change.Value > 0) change.Text = "+" + change.Text;
    return {{Shown(row.Band.Nominal, 5), true, ""},
            cell(row.EDT, 3),
            cell(row.T20, 3),
            sigma(row.T20),
            cell(row.T30, 3),
            sigma(row.T30),
            cell(row.C, 3),
            cell(row.Margin, 3),
            {std::to_string(row.Decays), true, ""},
            cell(row.T60Bins, 3),
            change};
}

std::string BandTableText(const TBandTable& table) {
    const std::vector<std::string> titles = BandColumnTitles();
    std::string text;
    for (const std::string& t : titles) text += t + "\t";
    text += "Not valid\n";
    for (const TBandRow& row : table.Rows) {
        const std::vector<TCellText> cells = BandRowTexts(row);
        std::string notes;
        for (size_t i = 0; i < cells.size(); ++i) {
            text += cells[i].Text + "\t";
            // The +- columns repeat their value's reason.
            if (cells[i].Valid || titles[i].starts_with("+-")) continue;
            notes += (notes.empty() ? "" : "; ") + titles[i] + ": " + cells[i].Reason;
        }
        text += notes + "\n";
    }
    if (table.Tmid.Valid)
        text += "\nTmid [s]\t" + Shown(table.Tmid.Value, 3) + "\t+-\t" +
                Shown(table.Tmid.Sigma, 2) + "\n";
    return text;
}

} // namespace ravlon
