#include "platform/audio/chosen_backend.h"

namespace ravlon::audio {

namespace {

// A stream that keeps the back end it came from alive: the simulated room's
// streams refer to their back end, which a new choice would otherwise free.
class BoundStream : public WaveStream {
public:
    BoundStream(std::shared_ptr<WaveBackend> backend, std::unique_ptr<WaveStream> stream)
        : backend_(std::move(backend)), stream_(std::move(stream)) {}

    std::uintptr_t handle() const override { return stream_->handle(); }
    std::string prepare(WaveHeader& h) override { return stream_->prepare(h); }
    std::string unprepare(WaveHeader& h) override { return stream_->unprepare(h); }
    std::string write(WaveHeader& h) override { return stream_->write(h); }
    std::string pause() override { return stream_->pause(); }
    std::string restart() override { return stream_->restart(); }
    std::string start() override { return stream_->start(); }
    std::string reset() override { return stream_->reset(); }
    std::string close() override { return stream_->close(); }
    std::string errorText() const override { return stream_->errorText(); }
    bool failureReported() const override { return stream_->failureReported(); }
    void setFailureReported() override { stream_->setFailureReported(); }
    DropoutCount dropouts() const override { return stream_->dropouts(); }

private:
    std::shared_ptr<WaveBackend> backend_; // declared first: outlives the stream
    std::unique_ptr<WaveStream> stream_;
};

} // namespace

ChosenWaveBackend::ChosenWaveBackend(std::optional<std::string> environment, Enumerator enumerate)
    : environment_(std::move(environment)), enumerate_(std::move(enumerate)) {
    current_ = environment_ ? MakeWaveBackend(*environment_) : MakeWaveBackend(AudioSettings());
}

std::string ChosenWaveBackend::choose(const AudioSettings& wanted) {
    if (environment_) {
        choice_ = AudioChoice{wanted, {}, {}, {}};
        return {};
    }
    choice_ =
        wanted.IsRoom() ? AudioChoice{wanted, {}, {}, {}} : CheckAudioChoice(wanted, enumerate());
    current_ = MakeWaveBackend(choice_.settings);
    return choice_.message;
}

const std::vector<AudioSystemInfo>& ChosenWaveBackend::enumerate() {
    systems_ = enumerate_();
    return systems_;
}

std::string ChosenWaveBackend::statusText() const {
    return AudioStatusText(choice_, environment_ ? &*environment_ : nullptr);
}

std::vector<std::string> ChosenWaveBackend::deviceNames(Direction dir) {
    return current_->deviceNames(dir);
}

std::unique_ptr<WaveStream> ChosenWaveBackend::open(Direction dir, const WaveFormat& format,
                                                    MessageWindow& target, std::string& error) {
    std::unique_ptr<WaveStream> stream = current_->open(dir, format, target, error);
    if (!stream) return nullptr;
    return std::make_unique<BoundStream>(current_, std::move(stream));
}

} // namespace ravlon::audio
