// The buffer queue shared by the real and the simulated device. The UI thread
// hands buffers over through one lock-free queue, the audio thread hands them
// back through another and wakes the UI thread through an eventfd (where none
// can be created, a short timer polls instead, so a run never stalls); the UI
// thread then posts the done messages in the order the buffers completed.
//
// Audio-thread members (renderOutput, captureInput, noteDriverDropout,
// deviceFailed, hasQueued) never allocate, lock or call the program; they run
// only between deviceStart() and deviceStop(). Everything else: UI thread.
#pragma once

#include "platform/audio/message_window.h"
#include "platform/audio/spsc_queue.h"
#include "platform/audio/wave_device.h"

#include <QSocketNotifier>
#include <QTimer>
#include <atomic>
#include <memory>

namespace ravlon::audio {

class QueuedStream : public WaveStream, public MessageSource {
public:
    // Tests: streams made while this is false behave as if the wake-up
    // descriptor could not be created (they poll).
    static void SetWakeupDescriptorAllowed(bool allowed);
    // The poll period where there is no wake-up descriptor.
    static constexpr int kPollMilliseconds = 5;

    QueuedStream(Direction dir, const WaveFormat& format, MessageWindow& target);
    ~QueuedStream() override;

    // Posts the open message and attaches to the window; call once the
    // device is open.
    void announceOpen();

    std::uintptr_t handle() const override { return handle_; }
    std::string prepare(WaveHeader& h) override;
    std::string unprepare(WaveHeader& h) override;
    std::string write(WaveHeader& h) override;
    std::string pause() override;
    std::string restart() override;
    std::string start() override;
    std::string reset() override;
    std::string close() override;
    std::string errorText() const override;
    bool failureReported() const override { return failureReported_; }
    void setFailureReported() override { failureReported_ = true; }
    DropoutCount dropouts() const override;

    void drain() override;

    const WaveFormat& format() const { return format_; }
    Direction direction() const { return dir_; }

    // Audio thread.
    void renderOutput(std::int16_t* dst, std::size_t values) noexcept;
    void captureInput(const std::int16_t* src, std::size_t values) noexcept;
    void noteDriverDropout() noexcept;
    bool hasQueued() const noexcept;
    bool polling() const { return poll_ != nullptr; }
    bool failed() const noexcept { return failed_.load(std::memory_order_acquire); }
    // Also callable from a device's error thread; the first text wins.
    void deviceFailed(const char* text) noexcept;

protected:
    // After deviceStart() the audio side may run; when deviceStop() returns it
    // no longer runs and no callback is still inside renderOutput or
    // captureInput (a device whose stop does not wait must make it wait).
    // Both are idempotent.
    virtual std::string deviceStart() = 0;
    virtual std::string deviceStop() = 0;
    virtual std::string deviceClose() = 0;

private:
    void wake() noexcept;
    void finish(WaveHeader* h) noexcept; // audio thread: hand a buffer back
    // Audio thread: the next queued buffer becomes current, and a gap before
    // it is reported. Without one, `missing` values count towards the gap
    // (once streaming has begun) and the result is false.
    bool takeNextBuffer(std::size_t missing) noexcept;
    void returnAll(); // UI thread, device stopped

    Direction dir_;
    WaveFormat format_;
    MessageWindow& target_;
    std::uintptr_t handle_;
    bool open_ = true;
    bool paused_ = false;
    bool running_ = false;
    bool attached_ = false;
    bool failureHandled_ = false;
    bool failureReported_ = false;

    SpscQueue<WaveHeader*> submit_; // UI -> audio
    SpscQueue<WaveHeader*> done_;   // audio -> UI
    int eventFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::unique_ptr<QTimer> poll_; // only without eventFd_

    // Audio side (read by the UI thread only while the device is stopped).
    WaveHeader* current_ = nullptr;
    int position_ = 0;
    bool streamed_ = false;        // a buffer has been played / filled
    std::uint64_t pendingGap_ = 0; // silence / lost input since the last buffer

    std::atomic<std::uint64_t> dropEvents_{0};
    std::atomic<std::uint64_t> dropValues_{0};
    std::uint64_t reportedDropEvents_ = 0;

    std::atomic<bool> failed_{false};
    std::atomic<bool> failClaimed_{false};
    char failText_[128] = {};
};

} // namespace ravlon::audio
