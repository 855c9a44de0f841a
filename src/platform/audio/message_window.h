// The component's hidden notification window: a QObject on the UI thread
// with a queue of posted messages, dispatched one after another to a handler.
// Devices post from the UI thread only; audio threads wake their stream, which
// drains into post() on the UI thread. An exception thrown by the handler
// during event-loop dispatch goes to the application's exception handler.
#pragma once

#include <QObject>

#include <cstdint>
#include <functional>
#include <vector>

namespace ravlon::audio {

struct TMessage {
    unsigned Msg = 0;
    std::uintptr_t WParam = 0;
    std::intptr_t LParam = 0;
    std::intptr_t Result = 0;
};

class MessageSource {
public:
    virtual ~MessageSource() = default;
    // Moves what the device has finished into the window (UI thread).
    virtual void drain() = 0;
};

class MessageWindow : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<void(TMessage&)>;
    explicit MessageWindow(Handler handler);
    ~MessageWindow() override;

    void post(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam);

    // Dispatches every pending message now, including what the attached
    // devices have finished; exceptions of the handler reach the caller.
    void pump();
    bool hasPending() const { return count_ > 0; }

    void addSource(MessageSource* s);
    void removeSource(MessageSource* s);

private:
    void scheduledPump();
    void schedule();

    Handler handler_;
    // A ring that only grows: posting never allocates once it is big enough.
    std::vector<TMessage> ring_;
    std::size_t head_ = 0;
    std::size_t count_ = 0;
    bool scheduled_ = false;
    std::vector<MessageSource*> sources_;
};

} // namespace ravlon::audio
