// A scripted wave device for component tests: it logs every call, fails the
// calls named in `failures` with the given text, and completes buffers only
// when the test says so. Messages go to the component's window like a real
// device's; the test dispatches them with ProcessMessages().
#pragma once

#include "platform/audio/message_window.h"
#include "platform/audio/wave_device.h"

#include <deque>
#include <map>
#include <string>
#include <vector>

namespace ravlon::test {

struct FakeLog {
    std::vector<std::string> calls;
    std::map<std::string, std::string> failures; // call name -> error text
    std::string openError;
    audio::WaveFormat lastFormat;
    int opens = 0;
};

class FakeStream : public audio::WaveStream {
public:
    FakeStream(audio::Direction dir, FakeLog& log, audio::MessageWindow& w)
        : dir_(dir), log_(log), window_(w), handle_(++counter) {
        window_.post(dir_ == audio::Direction::Output ? audio::MM_WOM_OPEN : audio::MM_WIM_OPEN,
                     handle_, 0);
    }
    std::uintptr_t handle() const override { return handle_; }
    std::string prepare(audio::WaveHeader& h) override {
        h.prepared = true;
        return call("prepare");
    }
    std::string unprepare(audio::WaveHeader& h) override {
        h.prepared = false;
        return call("unprepare");
    }
    std::string write(audio::WaveHeader& h) override {
        std::string e = call("write");
        if (e.empty()) {
            h.queued = true;
            queue.push_back(&h);
            written.push_back({h.user, std::vector<std::int16_t>(h.data, h.data + h.length)});
        }
        return e;
    }
    std::string pause() override { return call("pause"); }
    std::string restart() override { return call("restart"); }
    std::string start() override { return call("start"); }
    std::string reset() override {
        std::string e = call("reset");
        while (!queue.empty()) complete(0);
        return e;
    }
    std::string close() override {
        std::string e = call("close");
        window_.post(dir_ == audio::Direction::Output ? audio::MM_WOM_CLOSE : audio::MM_WIM_CLOSE,
                     handle_, 0);
        return e;
    }
    std::string errorText() const override { return failText; }
    bool failureReported() const override { return reported; }
    void setFailureReported() override { reported = true; }
    audio::DropoutCount dropouts() const override { return drops; }

    // Completes the oldest queued buffer; input buffers get `values` samples
    // of value (fill + index).
    void complete(int values, std::int16_t fill = 0) {
        audio::WaveHeader* h = queue.front();
        queue.pop_front();
        if (dir_ == audio::Direction::Input) {
            h->recorded = std::min(values, h->length);
            for (int k = 0; k < h->recorded; ++k) h->data[k] = std::int16_t(fill + k);
        }
        h->queued = false;
        window_.post(dir_ == audio::Direction::Output ? audio::MM_WOM_DONE : audio::MM_WIM_DATA,
                     handle_, std::intptr_t(h));
    }
    void fail(const std::string& text) {
        failText = text;
        window_.post(dir_ == audio::Direction::Output ? audio::MM_WOM_ERROR : audio::MM_WIM_ERROR,
                     handle_, 0);
    }
    void dropout(std::uint64_t values) {
        drops.events += 1;
        drops.values += values;
        window_.post(dir_ == audio::Direction::Output ? audio::MM_WOM_DROPOUT
                                                      : audio::MM_WIM_DROPOUT,
                     handle_, 0);
    }

    struct Written {
        std::intptr_t user;
        std::vector<std::int16_t> data;
    };
    std::deque<audio::WaveHeader*> queue;
    std::vector<Written> written;
    std::string failText;
    bool reported = false;
    audio::DropoutCount drops;

private:
    std::string call(const std::string& name) {
        log_.calls.push_back(name);
        auto it = log_.failures.find(name);
        return it == log_.failures.end() ? std::string() : it->second;
    }
    static inline std::uintptr_t counter = 0;
    audio::Direction dir_;
    FakeLog& log_;
    audio::MessageWindow& window_;
    std::uintptr_t handle_;
};

class FakeBackend : public audio::WaveBackend {
public:
    std::vector<std::string> deviceNames(audio::Direction dir) override {
        return dir == audio::Direction::Output
                   ? std::vector<std::string>{"Fake out A", "Fake out B"}
                   : std::vector<std::string>{"Fake in"};
    }
    std::unique_ptr<audio::WaveStream> open(audio::Direction dir, const audio::WaveFormat& f,
                                            audio::MessageWindow& w, std::string& error) override {
        log.calls.push_back("open");
        log.lastFormat = f;
        ++log.opens;
        if (!log.openError.empty()) {
            error = log.openError;
            return nullptr;
        }
        auto s = std::make_unique<FakeStream>(dir, log, w);
        stream = s.get();
        return s;
    }
    FakeLog log;
    FakeStream* stream = nullptr; // the last opened stream, owned by the component
};

} // namespace ravlon::test
