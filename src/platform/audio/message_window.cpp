#include "platform/audio/message_window.h"

#include "platform/appexception.h"

#include <QMetaObject>
#include <algorithm>
#include <exception>

namespace ravlon::audio {

MessageWindow::MessageWindow(Handler handler) : handler_(std::move(handler)), ring_(64) {}

MessageWindow::~MessageWindow() = default;

void MessageWindow::post(unsigned msg, std::uintptr_t wparam, std::intptr_t lparam) {
    if (count_ == ring_.size()) {
        std::vector<TMessage> bigger(ring_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i) bigger[i] = ring_[(head_ + i) % ring_.size()];
        ring_ = std::move(bigger);
        head_ = 0;
    }
    ring_[(head_ + count_) % ring_.size()] = TMessage{msg, wparam, lparam, 0};
    ++count_;
    schedule();
}

void MessageWindow::schedule() {
    if (scheduled_) return;
    scheduled_ = true;
    QMetaObject::invokeMethod(this, &MessageWindow::scheduledPump, Qt::QueuedConnection);
}

void MessageWindow::addSource(MessageSource* s) {
    sources_.push_back(s);
}

void MessageWindow::removeSource(MessageSource* s) {
    sources_.erase(std::remove(sources_.begin(), sources_.end(), s), sources_.end());
}

void MessageWindow::pump() {
    // A handler may close a device (removing its source): iterate over a copy.
    const std::vector<MessageSource*> sources = sources_;
    for (MessageSource* s : sources)
        if (std::find(sources_.begin(), sources_.end(), s) != sources_.end()) s->drain();
    while (count_ > 0) {
        TMessage m = ring_[head_];
        head_ = (head_ + 1) % ring_.size();
        --count_;
        if (handler_) handler_(m);
    }
}

void MessageWindow::scheduledPump() {
    scheduled_ = false;
    try {
        pump();
    } catch (const std::exception& e) {
        if (count_ > 0) schedule();
        HandleApplicationException(this, e.what());
    }
}

} // namespace ravlon::audio
