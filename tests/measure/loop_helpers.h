// Runs the event loop for component tests that use a real clock thread.
#pragma once

#include "platform/appexception.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <string>
#include <vector>

namespace ravlon::test {

// Collects what reaches the application's exception handler while alive.
struct ExceptionCatcher {
    std::vector<std::string> messages;
    ExceptionCatcher() {
        ravlon::SetApplicationExceptionHandler(
            [this](QObject*, const std::string& m) { messages.push_back(m); });
    }
    ~ExceptionCatcher() { ravlon::SetApplicationExceptionHandler({}); }
};

// Processes events until pred() holds or the timeout passes; returns pred().
template <typename P> bool RunUntil(P pred, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// The main window's noise: seed := seed * 134775813 + 1; sample := ((seed * 65535) >> 32) - 32768.
struct NoiseLcg {
    std::uint32_t seed = 0;
    std::int16_t next() {
        seed = seed * 134775813u + 1u;
        return std::int16_t(std::int64_t((std::uint64_t(seed) * 65535u) >> 32) - 32768);
    }
};

} // namespace ravlon::test
