// The connection state and one HTTP GET with a timeout. The GET runs a local
// event loop: the window keeps painting and timers keep running, user input
// waits until the request ends, which is at the latest after the timeout.
// UI thread only.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace ravlon {

// True unless the system reports that it is offline (an unknown state, or no
// network information back end, counts as connected).
bool IsInternetConnected();

// Replaces the state (tests); an empty function restores the system's.
void SetConnectionStateHandler(std::function<bool()> handler);

struct HttpGetResult {
    bool ok = false;   // a 2xx answer whose body was read completely
    std::string body;  // the body when ok
    std::string error; // why not, when !ok
};

// Fetches an http or https address. Fails (ok false) for any other scheme, a
// network error, a status outside 2xx, a body larger than maxBytes, or no
// complete answer within timeoutMs.
HttpGetResult HttpGet(const std::string& url, int timeoutMs = 10000,
                      std::size_t maxBytes = 64 * 1024);

} // namespace ravlon
