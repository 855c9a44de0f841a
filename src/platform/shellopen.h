// Opening a document or an address with the desktop's handler (browser, mail
// program, viewer), standing in for the shell's "open" verb. Everything the
// program opens goes through ShellOpen, so tests can see what would be opened.
// UI thread only.
#pragma once

#include <functional>
#include <string>

namespace ravlon {

// target: an address with a scheme ("https://...", "mailto:...") or a local
// file path. Returns false when nothing could be opened.
bool ShellOpen(const std::string& target);

// Replaces the desktop handler (tests); an empty handler restores it.
using ShellOpenHandler = std::function<bool(const std::string& target)>;
void SetShellOpenHandler(ShellOpenHandler handler);

// True for an absolute http or https address with a host: the only kind of
// address taken from untrusted input that the program opens.
bool IsWebAddress(const std::string& address);

} // namespace ravlon
