// The application-wide handler of exceptions that reach the event loop.
// The application's notify() catches every exception a handler throws and
// passes it here, so no exception ever crosses the Qt event loop. The error
// log installs itself as the handler; without one, the exception is shown in
// the standard exception message box. UI thread only.
#pragma once

#include "core/base/errors.h"

#include <exception>
#include <functional>
#include <string>
#include <utility>

class QObject;

namespace ravlon {

// receiver: the object whose event raised (may be null); message: the text.
using ApplicationExceptionHandler =
    std::function<void(QObject* receiver, const std::string& message)>;

void SetApplicationExceptionHandler(ApplicationExceptionHandler handler);

// Routes one caught exception to the installed handler, or shows it.
void HandleApplicationException(QObject* receiver, const std::string& message);

// The standard exception message box: the message, caption = the application
// name, error icon, OK.
void ShowExceptionMessage(const std::string& message);

// Wrong input (EInputError) is no fault of the program: its message, caption
// = the application name, exclamation icon, OK; nothing is logged.
void ShowInputError(const std::string& message);

// Runs f and hands anything it throws to the application's handler (wrong
// input to ShowInputError): Qt's signal code must never see an exception (it
// skips its own clean-up).
template <typename F> void RunGuarded(QObject* receiver, F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (const EInputError& e) {
        ShowInputError(e.what());
    } catch (const std::exception& e) {
        HandleApplicationException(receiver, e.what());
    } catch (...) {
        HandleApplicationException(receiver, "Unknown exception");
    }
}

// A slot for connect(): the nullary f, guarded as RunGuarded does. Signal
// arguments are not passed on.
template <typename F> auto Guarded(QObject* receiver, F f) {
    return [receiver, f = std::move(f)]() mutable noexcept { RunGuarded(receiver, f); };
}

} // namespace ravlon
