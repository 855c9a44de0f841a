#include "core/model/measurement_model.h"

#include "core/base/errors.h"
#include "core/base/numtext.h"
#include "core/views/t60_evaluation.h"
#include "core/views/view_math.h"

#include <algorithm>

namespace ravlon {

MeasurementModel::Subscription::Subscription(Subscription&& other) noexcept
    : model_(other.model_), id_(other.id_) {
    other.model_ = nullptr;
}

MeasurementModel::Subscription&
MeasurementModel::Subscription::operator=(Subscription&& other) noexcept {
    if (this != &other) {
        if (model_) model_->Unsubscribe(id_);
        model_ = other.model_;
        id_ = other.id_;
        other.model_ = nullptr;
    }
    return *this;
}

MeasurementModel::Subscription::~Subscription() {
    if (model_) model_->Unsubscribe(id_);
}

MeasurementModel::MeasurementModel() : store_(std::make_unique<TSpectrogram>(fft_)) {}

void MeasurementModel::SetFrequency(double f) {
    frequency_ = f;
    Notify(ChangeFrequency);
}

double MeasurementModel::SnappedFrequency() const {
    return ravlon::SnappedFrequency(frequency_, store_->Bins(), store_->SampFreq());
}

void MeasurementModel::SetTime(double t) {
    time_ = t;
    Notify(ChangeTime);
}

double MeasurementModel::SnappedTime() const {
    return ravlon::SnappedTime(time_, store_->Frames(), store_->Pos3(), store_->SampFreq());
}

void MeasurementModel::SetInitialDrop(double v) {
    if (v == initialDrop_) return;
    initialDrop_ = v;
    Changed(ChangeDrops);
}

void MeasurementModel::SetAdditionalDrop(double v) {
    if (v == additionalDrop_) return;
    additionalDrop_ = v;
    Changed(ChangeDrops);
}

void MeasurementModel::SetRoomVolumeText(const std::string& text) {
    if (text == volumeText_) return;
    volumeText_ = text;
    Notify(ChangeVolume);
}

double MeasurementModel::RoomVolume() const {
    return StrToFloat(volumeText_);
}

const T60Evaluation& MeasurementModel::Evaluation() {
    if (!evalValid_) {
        evalValid_ = true;
        evalFailure_ = nullptr;
        ++evaluations_;
        try {
            EvaluateT60(*store_, fft_.FFTSize(), fft_.WindowSize(), initialDrop_, additionalDrop_,
                        eval_.T60Values, eval_.StartFrames, eval_.EndFrames);
        } catch (...) {
            evalFailure_ = std::current_exception();
        }
    }
    if (evalFailure_) std::rethrow_exception(evalFailure_);
    return eval_;
}

void MeasurementModel::Changed(unsigned changes) {
    if (changes & (ChangeSetup | ChangeStore | ChangeDrops)) evalValid_ = false;
    if (changes & ChangeSetup) {
        try {
            meter_.Configure(store_->SampFreq(), store_->Pos3());
        } catch (const ERangeError&) {
            meter_.Reset(); // no rate yet: levels only, no cycles
        }
    }
    Notify(changes);
}

MeasurementModel::Subscription MeasurementModel::Observe(Observer observer) {
    const uint64_t id = nextId_++;
    observers_.push_back({id, std::make_shared<Observer>(std::move(observer))});
    return Subscription(this, id);
}

MeasurementModel::Subscription MeasurementModel::ObserveSamples(SampleSink sink) {
    const uint64_t id = nextId_++;
    sinks_.push_back({id, std::make_shared<SampleSink>(std::move(sink))});
    return Subscription(this, id);
}

void MeasurementModel::SamplesTaken(const int16_t* samples, int32_t count, bool analysed) {
    const auto clippedCycles = [this] {
        return int64_t(meter_.ClippedCycles().size()) + meter_.UnlistedCycles();
    };
    const int64_t clippedBefore = clippedCycles();
    meter_.AddBuffer(std::span(samples, std::size_t(std::max(count, 0))));
    // By index: a sink may subscribe or leave meanwhile (the list never
    // reallocates during a run, so this allocates nothing).
    for (size_t i = 0; i < sinks_.size(); ++i) {
        const std::shared_ptr<SampleSink> sink = sinks_[i].sink;
        (*sink)(samples, count, analysed);
    }
    if (clippedCycles() != clippedBefore) Notify(ChangeClipping);
}

void MeasurementModel::Unsubscribe(uint64_t id) {
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const Entry& e) { return e.id == id; }),
                     observers_.end());
    sinks_.erase(std::remove_if(sinks_.begin(), sinks_.end(),
                                [id](const SinkEntry& e) { return e.id == id; }),
                 sinks_.end());
}

void MeasurementModel::Notify(unsigned changes) {
    // A copy: an observer may subscribe or unsubscribe while being told.
    const std::vector<Entry> current = observers_;
    for (const Entry& e : current) {
        const bool stillThere = std::any_of(observers_.begin(), observers_.end(),
                                            [&](const Entry& o) { return o.id == e.id; });
        if (stillThere) (*e.observer)(changes);
    }
}

} // namespace ravlon
