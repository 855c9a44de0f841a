#include "platform/audio/queued_stream.h"

#include <algorithm>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ravlon::audio {

namespace {
// More than the largest ring a component may own (1000 buffers).
constexpr std::size_t kQueueCapacity = 1024;
std::uintptr_t nextHandle = 1;
bool wakeupAllowed = true;

unsigned msgFor(Direction dir, WaveMessage out, WaveMessage in) {
    return dir == Direction::Output ? out : in;
}
} // namespace

QueuedStream::QueuedStream(Direction dir, const WaveFormat& format, MessageWindow& target)
    : dir_(dir), format_(format), target_(target), handle_(nextHandle++), submit_(kQueueCapacity),
      done_(kQueueCapacity) {
    if (wakeupAllowed) eventFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (eventFd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, &target_, [this] {
            std::uint64_t n = 0;
            [[maybe_unused]] const auto r = ::read(eventFd_, &n, sizeof n);
            drain();
        });
    } else {
        poll_ = std::make_unique<QTimer>();
        poll_->setInterval(kPollMilliseconds);
        QObject::connect(poll_.get(), &QTimer::timeout, &target_, [this] { drain(); });
        poll_->start();
    }
}

void QueuedStream::SetWakeupDescriptorAllowed(bool allowed) {
    wakeupAllowed = allowed;
}

QueuedStream::~QueuedStream() {
    if (attached_) target_.removeSource(this);
    poll_.reset();
    notifier_.reset();
    if (eventFd_ >= 0) ::close(eventFd_);
}

void QueuedStream::announceOpen() {
    target_.addSource(this);
    attached_ = true;
    target_.post(msgFor(dir_, MM_WOM_OPEN, MM_WIM_OPEN), handle_, 0);
}

std::string QueuedStream::prepare(WaveHeader& h) {
    if (!open_) return "The device is closed.";
    if (h.length < 0 || (h.length > 0 && h.data == nullptr))
        return "The buffer has no memory for its length.";
    if (h.queued) return "The buffer is still queued.";
    h.prepared = true;
    return {};
}

std::string QueuedStream::unprepare(WaveHeader& h) {
    if (h.queued) return "The buffer is still queued.";
    h.prepared = false;
    return {};
}

std::string QueuedStream::write(WaveHeader& h) {
    if (!open_) return "The device is closed.";
    if (failed()) {
        failureReported_ = true;
        return errorText();
    }
    if (!h.prepared) return "The buffer is not prepared.";
    if (h.queued) return "The buffer is still queued.";
    h.recorded = 0;
    h.queued = true;
    if (!submit_.push(&h)) {
        h.queued = false;
        return "Too many buffers queued.";
    }
    if (dir_ == Direction::Output && !paused_ && !running_) {
        std::string e = deviceStart();
        if (!e.empty()) return e;
        running_ = true;
    }
    return {};
}

std::string QueuedStream::pause() {
    if (dir_ != Direction::Output) return "Only an output can pause.";
    paused_ = true;
    if (running_) {
        running_ = false;
        return deviceStop();
    }
    return {};
}

std::string QueuedStream::restart() {
    if (dir_ != Direction::Output) return "Only an output can restart.";
    paused_ = false;
    if (!running_ && !submit_.empty()) {
        std::string e = deviceStart();
        if (!e.empty()) return e;
        running_ = true;
    }
    return {};
}

std::string QueuedStream::start() {
    if (dir_ != Direction::Input) return "Only an input can start recording.";
    if (!open_) return "The device is closed.";
    if (failed()) return errorText();
    if (running_) return {};
    std::string e = deviceStart();
    if (!e.empty()) return e;
    running_ = true;
    return {};
}

std::string QueuedStream::reset() {
    std::string e = deviceStop();
    running_ = false;
    returnAll();
    return e;
}

std::string QueuedStream::close() {
    if (!open_) return {};
    std::string e = deviceStop();
    running_ = false;
    returnAll();
    const std::string c = deviceClose();
    open_ = false;
    if (attached_) {
        target_.removeSource(this);
        attached_ = false;
    }
    target_.post(msgFor(dir_, MM_WOM_CLOSE, MM_WIM_CLOSE), handle_, 0);
    return e.empty() ? c : e;
}

std::string QueuedStream::errorText() const {
    if (!failed()) return {};
    return std::string(failText_, ::strnlen(failText_, sizeof failText_));
}

DropoutCount QueuedStream::dropouts() const {
    return {dropEvents_.load(std::memory_order_acquire),
            dropValues_.load(std::memory_order_acquire)};
}

void QueuedStream::returnAll() {
    WaveHeader* h = nullptr;
    while (done_.pop(h)) {
        h->queued = false;
        target_.post(msgFor(dir_, MM_WOM_DONE, MM_WIM_DATA), handle_, std::intptr_t(h));
    }
    if (current_) {
        current_->recorded = dir_ == Direction::Input ? position_ : 0;
        current_->queued = false;
        target_.post(msgFor(dir_, MM_WOM_DONE, MM_WIM_DATA), handle_, std::intptr_t(current_));
        current_ = nullptr;
    }
    while (submit_.pop(h)) {
        h->recorded = 0;
        h->queued = false;
        target_.post(msgFor(dir_, MM_WOM_DONE, MM_WIM_DATA), handle_, std::intptr_t(h));
    }
    position_ = 0;
    pendingGap_ = 0;
    streamed_ = false;
}

void QueuedStream::drain() {
    WaveHeader* h = nullptr;
    while (done_.pop(h)) {
        h->queued = false;
        target_.post(msgFor(dir_, MM_WOM_DONE, MM_WIM_DATA), handle_, std::intptr_t(h));
    }
    const std::uint64_t events = dropEvents_.load(std::memory_order_acquire);
    if (events != reportedDropEvents_) {
        reportedDropEvents_ = events;
        target_.post(msgFor(dir_, MM_WOM_DROPOUT, MM_WIM_DROPOUT), handle_, 0);
    }
    if (failed() && !failureHandled_ && open_) {
        failureHandled_ = true;
        deviceStop();
        running_ = false;
        // What was recorded before the failure still reaches the owner.
        while (done_.pop(h)) {
            h->queued = false;
            target_.post(msgFor(dir_, MM_WOM_DONE, MM_WIM_DATA), handle_, std::intptr_t(h));
        }
        if (dir_ == Direction::Input && current_ && position_ > 0) {
            current_->recorded = position_;
            current_->queued = false;
            target_.post(MM_WIM_DATA, handle_, std::intptr_t(current_));
            current_ = nullptr;
            position_ = 0;
        }
        target_.post(msgFor(dir_, MM_WOM_ERROR, MM_WIM_ERROR), handle_, 0);
    }
}

void QueuedStream::wake() noexcept {
    if (eventFd_ < 0) return;
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto r = ::write(eventFd_, &one, sizeof one);
}

void QueuedStream::finish(WaveHeader* h) noexcept {
    // The done queue holds at most as many entries as the submit queue did.
    done_.push(h);
    wake();
}

bool QueuedStream::hasQueued() const noexcept {
    return current_ != nullptr || !submit_.empty();
}

bool QueuedStream::takeNextBuffer(std::size_t missing) noexcept {
    if (!submit_.pop(current_)) {
        if (streamed_) pendingGap_ += missing;
        return false;
    }
    position_ = 0;
    if (pendingGap_ > 0) {
        dropValues_.fetch_add(pendingGap_, std::memory_order_release);
        dropEvents_.fetch_add(1, std::memory_order_release);
        pendingGap_ = 0;
        wake();
    }
    return true;
}

void QueuedStream::renderOutput(std::int16_t* dst, std::size_t values) noexcept {
    std::size_t done = 0;
    while (done < values) {
        if (!current_ && !takeNextBuffer(values - done)) {
            std::fill(dst + done, dst + values, std::int16_t(0));
            return;
        }
        const std::size_t n =
            std::min<std::size_t>(values - done, std::size_t(current_->length - position_));
        std::copy_n(current_->data + position_, n, dst + done);
        done += n;
        position_ += int(n);
        if (position_ >= current_->length) {
            streamed_ = true;
            finish(current_);
            current_ = nullptr;
        }
    }
}

void QueuedStream::captureInput(const std::int16_t* src, std::size_t values) noexcept {
    std::size_t done = 0;
    while (done < values) {
        if (!current_ && !takeNextBuffer(values - done)) return;
        const std::size_t n =
            std::min<std::size_t>(values - done, std::size_t(current_->length - position_));
        std::copy_n(src + done, n, current_->data + position_);
        done += n;
        position_ += int(n);
        if (position_ >= current_->length) {
            current_->recorded = position_;
            streamed_ = true;
            finish(current_);
            current_ = nullptr;
        }
    }
}

void QueuedStream::noteDriverDropout() noexcept {
    dropEvents_.fetch_add(1, std::memory_order_release);
    wake();
}

void QueuedStream::deviceFailed(const char* text) noexcept {
    if (failClaimed_.exchange(true)) return;
    std::strncpy(failText_, text ? text : "The device failed.", sizeof failText_ - 1);
    failText_[sizeof failText_ - 1] = '\0';
    failed_.store(true, std::memory_order_release);
    wake();
}

} // namespace ravlon::audio
