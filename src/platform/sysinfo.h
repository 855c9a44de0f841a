// Facts about the computer and the running system for the about box.
// Any thread.
#pragma once

#include <cstdint>
#include <string>

namespace ravlon {

// Total physical memory in bytes; 0 when it cannot be read.
uint64_t PhysicalMemoryBytes();

// The name of the running operating system for version lines, for example
// "Debian GNU/Linux 12 (bookworm)"; "Linux" when the system gives none.
std::string OSVersionsText();

} // namespace ravlon
