// Unit cMPC: wave playback (TMPCPlay) and recording (TMPCRecord): a ring of buffers
// circulating between the component and the default wave device. Every owner
// callback runs on the UI thread, one buffer at a time, in device order: the
// device's notifications arrive as messages to a hidden window (a QObject)
// that the component owns.
//
// UI thread only. The component owns its ring; the device reads or fills a
// buffer only between its queueing and its done message. Sizes are counted in
// 16-bit values (frames x channels), rates in values per second (sfTot) or
// frames per second (the format's nSamplesPerSec).
#pragma once

#include "core/base/errors.h"
#include "platform/audio/message_window.h"
#include "platform/audio/wave_device.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ravlon {

// 16-bit samples; with several channels interleaved frame by frame.
using TWaveChunk = std::vector<std::int16_t>;
using TMessage = audio::TMessage;

// Fill the first `used` values of arr; `used` may be lowered (0 ends the
// playback after one frame of silence); last = true makes this the final buffer.
using TMPCStash = std::function<void(TWaveChunk& arr, int& used, bool& last)>;
// arr holds `used` recorded values, valid only during the call; last = true
// ends the recording.
using TMPCFetch = std::function<void(TWaveChunk& arr, int used, bool& last)>;
using TMPCPlayOpened = std::function<void()>;
using TMPCPlayClosed = std::function<void()>;
using TMPCPlayMsg = std::function<void(TMessage& Msg)>;
using TMPCRecMsg = std::function<void(TMessage& Msg)>;

class EMPCError : public Exception {
public:
    using Exception::Exception;
};

// The user data of the buffer queued as the final one.
inline constexpr int LastMarker = 100000000;

// The wave format handed to the device (16-bit PCM).
struct TWaveFormat {
    int wFormatTag = 1;
    int nChannels = 1;
    int nSamplesPerSec = 16000;
    int nAvgBytesPerSec = 32000;
    int nBlockAlign = 2;
    int wBitsPerSample = 16;
    int cbSize = 0;
};

namespace detail {

// What the two components have in common: ring, format, device, hidden window.
class MPCRing {
public:
    MPCRing(audio::Direction dir, std::shared_ptr<audio::WaveBackend> backend,
            audio::MessageWindow::Handler handler);
    ~MPCRing();

    void setChans(int v, bool active);
    void setSfTot(int v, bool active);
    void setBuffers(int v, bool active);
    void setChunkSamples(int v, bool active);
    void computeFormat();

    audio::Direction dir;
    std::shared_ptr<audio::WaveBackend> backend;
    int nChunkSamples = 4096;
    int nChans = 1;
    int sfTot = 16000;
    int nBuffers = 4;
    TWaveFormat format;
    std::vector<TWaveChunk> buffers;
    std::vector<audio::WaveHeader> headers;
    std::vector<std::string> devices;
    std::unique_ptr<audio::WaveStream> device;
    std::unique_ptr<audio::MessageWindow> window;
    audio::DropoutCount dropouts;
};

} // namespace detail

class TMPCPlay {
public:
    // backend: where the device comes from (the sound card or the simulated
    // room chosen by RAVLON_AUDIO unless a test gives its own).
    explicit TMPCPlay(std::shared_ptr<audio::WaveBackend> backend = audio::DefaultWaveBackend());
    ~TMPCPlay();
    TMPCPlay(const TMPCPlay&) = delete;
    TMPCPlay& operator=(const TMPCPlay&) = delete;

    TMPCPlayOpened OnOpened;
    TMPCPlayClosed OnClosed;
    TMPCStash OnStash;
    TMPCPlayMsg OnMsg;
    // Called when the device played silence because no buffer was ready
    // (a gap in the output); see Dropouts().
    std::function<void()> OnDropout;

    int nChunkSamples() const { return ring_.nChunkSamples; }
    void setnChunkSamples(int v);
    int nChans() const { return ring_.nChans; }
    void setnChans(int v);
    int sfTot() const { return ring_.sfTot; }
    void setsfTot(int v);
    int nBuffers() const { return ring_.nBuffers; }
    void setnBuffers(int v);

    bool Active() const { return active_; }
    bool EndRequested() const { return endRequested_; }
    const TWaveFormat& Format() const { return ring_.format; }
    const std::vector<std::string>& Devices() const { return ring_.devices; }
    // Gaps since the device was opened: count, and values of silence played.
    std::uint64_t Dropouts() const { return ring_.dropouts.events; }
    std::uint64_t DroppedSamples() const { return ring_.dropouts.values; }

    bool Open();
    void Start();
    void Stop();
    void Requeue(int i);

    // Handles the hidden window's pending messages now (normally the event
    // loop does); handler exceptions reach the caller.
    void ProcessMessages();

private:
    void WndProc(TMessage& Msg);

    detail::MPCRing ring_;
    bool active_ = false;
    bool endRequested_ = false;
};

class TMPCRecord {
public:
    explicit TMPCRecord(std::shared_ptr<audio::WaveBackend> backend = audio::DefaultWaveBackend());
    ~TMPCRecord();
    TMPCRecord(const TMPCRecord&) = delete;
    TMPCRecord& operator=(const TMPCRecord&) = delete;

    TMPCPlayOpened OnOpened;
    TMPCPlayClosed OnClosed;
    TMPCFetch OnFetch;
    TMPCRecMsg OnMsg;
    // Called when recorded audio was lost because no buffer was free: every
    // later sample is shifted against the cycle, so the owner must tell the user.
    std::function<void()> OnDropout;

    int nChunkSamples() const { return ring_.nChunkSamples; }
    void setnChunkSamples(int v);
    int nChans() const { return ring_.nChans; }
    void setnChans(int v);
    int sfTot() const { return ring_.sfTot; }
    void setsfTot(int v);
    int nBuffers() const { return ring_.nBuffers; }
    void setnBuffers(int v);

    bool Active() const { return active_; }
    bool EndRequested() const { return endRequested_; }
    bool Delivering() const { return delivering_; }
    const TWaveFormat& Format() const { return ring_.format; }
    const std::vector<std::string>& Devices() const { return ring_.devices; }
    // Losses since the device was opened: count, and values not recorded.
    std::uint64_t Dropouts() const { return ring_.dropouts.events; }
    std::uint64_t DroppedSamples() const { return ring_.dropouts.values; }

    bool Open();
    void Start();
    void Stop();
    void Requeue(int i);

    void ProcessMessages();

private:
    void WndProc(TMessage& Msg);

    detail::MPCRing ring_;
    bool active_ = false;
    bool endRequested_ = false;
    bool delivering_ = false;
};

} // namespace ravlon
