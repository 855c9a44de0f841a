// The wave device interface: output and input streams of 16-bit PCM fed and
// drained in buffers that the owner keeps (WaveHeader), with one notification
// per buffer posted to a MessageWindow on the UI thread, in device order.
//
// Every member of WaveStream and WaveBackend is called on the UI thread only.
// Functions that can fail return the device's error text ("" = success).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ravlon::audio {

class MessageWindow;

enum class Direction { Output, Input };

// Messages posted to the notification window. WParam: the stream's handle
// (WaveStream::handle), LParam: the WaveHeader* for the done messages.
enum WaveMessage : unsigned {
    MM_WOM_OPEN = 955,
    MM_WOM_CLOSE = 956,
    MM_WOM_DONE = 957,
    MM_WIM_OPEN = 958,
    MM_WIM_CLOSE = 959,
    MM_WIM_DATA = 960,
    // The device failed while streaming: errorText() says why.
    MM_WOM_ERROR = 0x8001,
    MM_WIM_ERROR = 0x8002,
    // Audio was lost since the last such message: see dropouts().
    MM_WOM_DROPOUT = 0x8003,
    MM_WIM_DROPOUT = 0x8004,
};

struct WaveFormat {
    int rate = 16000; // frames per second
    int channels = 1; // interleaved 16-bit values per frame
};

// One buffer. The owner keeps the memory; between write() and its done
// message the device reads (output) or fills (input) data[0 .. length).
struct WaveHeader {
    std::int16_t* data = nullptr;
    int length = 0;   // values (not bytes)
    int recorded = 0; // input: values filled by the device
    std::intptr_t user = 0;
    unsigned flags = 0;
    int loops = 1;
    bool prepared = false;
    bool queued = false; // between write() and the done message's drain
};

struct DropoutCount {
    std::uint64_t events = 0; // device periods in which audio was lost
    std::uint64_t values = 0; // 16-bit values replaced by silence / not recorded
};

class WaveStream {
public:
    virtual ~WaveStream() = default;

    // Identifies this stream in the messages it posts; never reused.
    virtual std::uintptr_t handle() const = 0;

    virtual std::string prepare(WaveHeader& h) = 0;
    virtual std::string unprepare(WaveHeader& h) = 0;
    // Queues a prepared buffer (output: to play; input: to fill).
    virtual std::string write(WaveHeader& h) = 0;
    // Output: hold playback until restart(), so queued buffers start together.
    virtual std::string pause() = 0;
    virtual std::string restart() = 0;
    // Input: begin recording into the queued buffers.
    virtual std::string start() = 0;
    // Stops the device and returns every queued buffer (done messages follow).
    virtual std::string reset() = 0;
    // Releases the device; the close message follows. The stream is dead after.
    virtual std::string close() = 0;

    // The device's failure text after an MM_xOM_ERROR; "" while healthy.
    virtual std::string errorText() const = 0;
    // True once the failure has been reported to the owner (by a failing
    // write() or by the error message), so it is reported once only.
    virtual bool failureReported() const = 0;
    virtual void setFailureReported() = 0;
    virtual DropoutCount dropouts() const = 0;
};

class WaveBackend {
public:
    virtual ~WaveBackend() = default;
    // Names of the devices of one direction (at most 31 characters each).
    virtual std::vector<std::string> deviceNames(Direction dir) = 0;
    // Opens the default device; on failure returns null and sets error.
    virtual std::unique_ptr<WaveStream> open(Direction dir, const WaveFormat& format,
                                             MessageWindow& target, std::string& error) = 0;
};

// The process-wide back end chosen by RAVLON_AUDIO: unset, empty or "card":
// the sound card through RtAudio; "room" or "room:<settings>": the simulated
// room (see core/room/room_model.h). Created on first use; UI thread only.
std::shared_ptr<WaveBackend> DefaultWaveBackend();

// Builds the back end for a RAVLON_AUDIO value (for tests and tools).
std::shared_ptr<WaveBackend> MakeWaveBackend(const std::string& setting);

} // namespace ravlon::audio
