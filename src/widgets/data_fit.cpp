#include "widgets/data_fit.h"

#include "core/views/data_range.h"

TDataFit::TDataFit(ravlon::MeasurementModel& model)
    : model_(model), subscription_(model.Observe([this](unsigned c) { Changed(c); })) {}

void TDataFit::Add(TAxis* axis) {
    axes_.emplace_back(axis);
}

void TDataFit::Changed(unsigned changes) {
    if (changes & ravlon::ChangeSetup) pending_ = true;
    if (!pending_ || !(changes & ravlon::ChangeStore) || !HasCompleteCycle(model_.Store())) return;
    pending_ = false;
    for (const QPointer<TAxis>& axis : axes_) {
        if (!axis || axis->UserSet()) continue;
        try {
            axis->FitToData();
        } catch (const std::exception&) {
            // Data that cannot be measured leaves the axis as it is.
        }
    }
}
