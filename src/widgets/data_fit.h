// TDataFit: fits plot axes to the data when a new analysis arrives, so a
// measurement is seen without touching an axis. A new analysis is a new
// set-up of the store (a run starts, a recording is opened); its axes are
// fitted once, when its first whole cycle is in the store. An axis whose range
// the user set (TAxis::UserSet) keeps it, across cycles and analyses, until
// the user chooses "Reset" on it. UI thread only.
#pragma once

#include "axes/axis.h"
#include "core/model/measurement_model.h"

#include <QPointer>

#include <exception>
#include <optional>
#include <vector>

// Supplies axis' data for "Fit to data" from range(), which may raise: a
// failure (no evaluation yet, a room volume that is not a number) counts as
// no data. margin: TAxis::FitMargin.
template <typename F> void SetDataRange(TAxis* axis, double margin, F range) {
    axis->SetFitMargin(margin);
    axis->OnDataRange = [range]() -> std::optional<ravlon::AxisRange> {
        try {
            return range();
        } catch (const std::exception&) {
            return std::nullopt;
        }
    };
}
// Axes of values (levels, reverberation times, radii) show their data with a
// tenth of its span to spare at both ends.
inline constexpr double kDataFitMargin = 0.1;

class TDataFit {
public:
    // model must outlive this object.
    explicit TDataFit(ravlon::MeasurementModel& model);
    // Fits axis with TAxis::FitToData at every new analysis (its owner supplies
    // OnDataRange). An axis deleted before this object is skipped.
    void Add(TAxis* axis);

private:
    void Changed(unsigned changes);

    ravlon::MeasurementModel& model_;
    std::vector<QPointer<TAxis>> axes_;
    bool pending_ = true; // a set-up whose first whole cycle has not come yet
    ravlon::MeasurementModel::Subscription subscription_;
};
