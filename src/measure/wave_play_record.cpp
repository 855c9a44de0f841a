#include "measure/wave_play_record.h"

#include <algorithm>

namespace ravlon {

using namespace audio;

namespace detail {

MPCRing::MPCRing(Direction d, std::shared_ptr<WaveBackend> b, MessageWindow::Handler handler)
    : dir(d), backend(std::move(b)), window(std::make_unique<MessageWindow>(std::move(handler))) {
    if (backend) devices = backend->deviceNames(dir);
    setBuffers(4, false);
    computeFormat();
}

MPCRing::~MPCRing() {
    // The owner stops the device first; if not, release it without messages
    // to a component that is going away.
    if (device) {
        device->reset();
        device->close();
        device.reset();
    }
}

void MPCRing::computeFormat() {
    format.wFormatTag = 1;
    format.nChannels = nChans;
    format.nSamplesPerSec = sfTot / nChans;
    format.wBitsPerSample = 16;
    format.nAvgBytesPerSec = nChans * format.nSamplesPerSec * 16 / 8;
    format.nBlockAlign = nChans * 16 / 8;
    format.cbSize = 0;
}

void MPCRing::setChans(int v, bool active) {
    if (active) throw EMPCError("Cannot change nChans while owning board");
    nChans = v <= 0 ? 1 : v;
    computeFormat();
}

void MPCRing::setSfTot(int v, bool active) {
    if (active) throw EMPCError("Cannot change sfTot while owning board");
    sfTot = v <= 0 ? 1 : v;
    computeFormat();
}

// The device holds pointers into the ring while it runs: resizing then
// would hand it freed memory.
void MPCRing::setBuffers(int v, bool active) {
    if (active) throw EMPCError("Cannot change nBuffers while owning board");
    nBuffers = std::clamp(v, 0, 1000);
    buffers.resize(std::size_t(nBuffers));
    headers.resize(std::size_t(nBuffers));
    for (TWaveChunk& b : buffers) b.resize(std::size_t(nChunkSamples));
}

void MPCRing::setChunkSamples(int v, bool active) {
    if (active) throw EMPCError("Cannot change nChunkSamples while owning board");
    nChunkSamples = std::max(v, 0);
    for (TWaveChunk& b : buffers) b.resize(std::size_t(nChunkSamples));
}

} // namespace detail

namespace {

void check(const std::string& prefix, const std::string& error) {
    if (!error.empty()) throw EMPCError(prefix + error);
}

WaveFormat deviceFormat(const TWaveFormat& f) {
    return {f.nSamplesPerSec, f.nChannels};
}

// A done message belongs to the open device and names one of our headers.
WaveHeader* ownHeader(const TMessage& m, const detail::MPCRing& ring) {
    if (!ring.device || m.WParam != ring.device->handle()) return nullptr;
    auto* h = reinterpret_cast<WaveHeader*>(m.LParam);
    for (const WaveHeader& own : ring.headers)
        if (&own == h) return h;
    return nullptr;
}

// The hidden window's messages of one direction.
struct DeviceMessages {
    unsigned open, close, done, error, dropout;
    const char* unprepareError; // prefix of a failed unprepare
    const char* streamError;    // prefix of a device failing while it streams
};
constexpr DeviceMessages kOutputMessages{MM_WOM_OPEN,    MM_WOM_CLOSE,   MM_WOM_DONE,
                                         MM_WOM_ERROR,   MM_WOM_DROPOUT, "WaveOutUnPrepareHeader:",
                                         "WaveOutWrite:"};
constexpr DeviceMessages kInputMessages{MM_WIM_OPEN,   MM_WIM_CLOSE,   MM_WIM_DATA,
                                        MM_WIM_ERROR,  MM_WIM_DROPOUT, "waveinUnPrepareHeader:",
                                        "waveinWrite:"};

// The message handler both components share: the owner's OnMsg first, then
// open/close notices, a returned buffer goes back to the device (or ends the
// stream when it carries LastMarker), device failures and dropouts.
template <class Component>
void HandleDeviceMessage(Component& c, detail::MPCRing& ring, const DeviceMessages& m,
                         TMessage& Msg) {
    if (c.OnMsg) c.OnMsg(Msg);
    const unsigned id = Msg.Msg;
    if (id == m.open) {
        if (c.OnOpened) c.OnOpened();
    } else if (id == m.close) {
        if (c.OnClosed) c.OnClosed();
    } else if (id == m.done) {
        if (!c.Active()) return;
        WaveHeader* h = ownHeader(Msg, ring);
        if (!h) return;
        const std::intptr_t u = h->user;
        check(m.unprepareError, ring.device->unprepare(*h));
        if (u == LastMarker)
            c.Stop();
        else
            c.Requeue(int(u));
    } else if (id == m.error) {
        if (c.Active() && ring.device && Msg.WParam == ring.device->handle() &&
            !ring.device->failureReported()) {
            ring.device->setFailureReported();
            throw EMPCError(m.streamError + ring.device->errorText());
        }
    } else if (id == m.dropout) {
        if (ring.device && Msg.WParam == ring.device->handle()) {
            ring.dropouts = ring.device->dropouts();
            if (c.OnDropout) c.OnDropout();
        }
    } else {
        Msg.Result = 0;
    }
}

} // namespace

// ---------------------------------------------------------------- TMPCPlay

TMPCPlay::TMPCPlay(std::shared_ptr<WaveBackend> backend)
    : ring_(Direction::Output, std::move(backend), [this](TMessage& m) { WndProc(m); }) {}

TMPCPlay::~TMPCPlay() = default;

void TMPCPlay::setnChunkSamples(int v) {
    ring_.setChunkSamples(v, active_);
}
void TMPCPlay::setnChans(int v) {
    ring_.setChans(v, active_);
}
void TMPCPlay::setsfTot(int v) {
    ring_.setSfTot(v, active_);
}
void TMPCPlay::setnBuffers(int v) {
    ring_.setBuffers(v, active_);
}

bool TMPCPlay::Open() {
    if (active_) return false;
    std::string error = "No audio back end.";
    if (ring_.backend)
        ring_.device = ring_.backend->open(Direction::Output, deviceFormat(ring_.format),
                                           *ring_.window, error);
    if (!ring_.device) throw EMPCError("WaveOutOpen:" + error);
    ring_.dropouts = {};
    active_ = true;
    return true;
}

void TMPCPlay::Start() {
    if (!OnStash) throw EMPCError("Nothing assigned to OnStash!");
    endRequested_ = false;
    if (!active_) Open();
    check("WaveOutPause:", ring_.device->pause());
    for (int i = 0; i < ring_.nBuffers; ++i) Requeue(i);
    if (active_) check("WaveOutRestart:", ring_.device->restart());
}

void TMPCPlay::Requeue(int i) {
    if (i < 0 || i >= ring_.nBuffers) throw ERangeError("Buffer index out of range");
    if (endRequested_) return;
    TWaveChunk& buf = ring_.buffers[std::size_t(i)];
    int used = int(buf.size());
    if (OnStash) OnStash(buf, used, endRequested_);
    if (!active_) return;
    // The owner may only lower used; never read past the buffer.
    used = std::clamp(used, 0, int(buf.size()));
    if (used == 0) {
        endRequested_ = true;
        used = std::min(ring_.nChans, int(buf.size()));
        std::fill_n(buf.begin(), used, std::int16_t(0));
    }
    WaveHeader& h = ring_.headers[std::size_t(i)];
    h.data = buf.data();
    h.length = used;
    h.loops = 1;
    h.flags = 0;
    h.user = endRequested_ ? LastMarker : i;
    check("WaveOutPrepareHeader:", ring_.device->prepare(h));
    check("WaveOutWrite:", ring_.device->write(h));
}

void TMPCPlay::Stop() {
    if (!active_) return;
    check("WaveOutReset:", ring_.device->reset());
    for (WaveHeader& h : ring_.headers)
        check("WaveOutUnPrepareHeader:", ring_.device->unprepare(h));
    check("WaveOutClose:", ring_.device->close());
    ring_.device.reset();
    active_ = false;
}

void TMPCPlay::ProcessMessages() {
    ring_.window->pump();
}

void TMPCPlay::WndProc(TMessage& Msg) {
    HandleDeviceMessage(*this, ring_, kOutputMessages, Msg);
}

// -------------------------------------------------------------- TMPCRecord

TMPCRecord::TMPCRecord(std::shared_ptr<WaveBackend> backend)
    : ring_(Direction::Input, std::move(backend), [this](TMessage& m) { WndProc(m); }) {}

TMPCRecord::~TMPCRecord() = default;

void TMPCRecord::setnChunkSamples(int v) {
    ring_.setChunkSamples(v, active_);
}
void TMPCRecord::setnChans(int v) {
    ring_.setChans(v, active_);
}
void TMPCRecord::setsfTot(int v) {
    ring_.setSfTot(v, active_);
}
void TMPCRecord::setnBuffers(int v) {
    ring_.setBuffers(v, active_);
}

bool TMPCRecord::Open() {
    if (active_) return false;
    std::string error = "No audio back end.";
    if (ring_.backend)
        ring_.device =
            ring_.backend->open(Direction::Input, deviceFormat(ring_.format), *ring_.window, error);
    if (!ring_.device) throw EMPCError("waveinOpen:" + error);
    ring_.dropouts = {};
    active_ = true;
    return true;
}

void TMPCRecord::Start() {
    if (!OnFetch) throw EMPCError("Nothing assigned to OnFetch!");
    endRequested_ = false;
    if (!active_) Open();
    delivering_ = false;
    for (int i = 0; i < ring_.nBuffers; ++i) Requeue(i);
    delivering_ = true;
    if (active_) check("waveinStart:", ring_.device->start());
}

void TMPCRecord::Requeue(int i) {
    if (i < 0 || i >= ring_.nBuffers) throw ERangeError("Buffer index out of range");
    if (endRequested_) return;
    TWaveChunk& buf = ring_.buffers[std::size_t(i)];
    WaveHeader& h = ring_.headers[std::size_t(i)];
    if (delivering_ && OnFetch) {
        const int used = std::clamp(h.recorded, 0, int(buf.size()));
        OnFetch(buf, used, endRequested_);
    }
    if (!active_) return;
    h.data = buf.data();
    h.length = int(buf.size());
    h.loops = 1;
    h.flags = 0;
    h.user = endRequested_ ? LastMarker : i;
    check("waveinPrepareHeader:", ring_.device->prepare(h));
    check("waveinWrite:", ring_.device->write(h));
}

void TMPCRecord::Stop() {
    if (!active_) return;
    check("waveinReset:", ring_.device->reset());
    for (WaveHeader& h : ring_.headers) check("waveinUnPrepareHeader:", ring_.device->unprepare(h));
    check("waveinClose:", ring_.device->close());
    ring_.device.reset();
    active_ = false;
}

void TMPCRecord::ProcessMessages() {
    ring_.window->pump();
}

void TMPCRecord::WndProc(TMessage& Msg) {
    HandleDeviceMessage(*this, ring_, kInputMessages, Msg);
}

} // namespace ravlon
