// Thin file and system routines: temporary files, copying with the file date,
// code page 850 text on disk, lower-casing for case-insensitive comparisons,
// user, host and system folder names.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace ravlon {

// Creates a new, empty file with a unique name "~" + prefix + unique part in the
// system's temporary folder (TMPDIR, else /tmp), exclusively, and returns its
// full path. Raises Exception when no file can be created.
std::string MakeTempFile(std::string_view prefix);

// The short (8.3) form of a path: there is none here, so the path unchanged.
std::string ShortPathOf(std::string_view path);

// Called between the pieces of a long copy so that the user interface can
// process pending events; the UI layer installs it, the default does nothing.
void SetProcessMessagesHook(std::function<void()> hook);

// Copies source to destination in pieces of 8192 bytes and gives the copy the
// source's modification time. False when the source cannot be opened, the
// destination cannot be created, or a write is short.
bool CopyFileWithDate(const std::string& source, const std::string& destination,
                      std::string* error = nullptr);

// Text in memory is UTF-8; recording headers and label files hold code page 850.
// AnsiToOem: UTF-8 -> CP850 (characters CP850 lacks, and invalid UTF-8, become '?').
// OemToAnsi: CP850 -> UTF-8. ASCII passes through both unchanged.
std::string AnsiToOem(std::string_view utf8);
std::string OemToAnsi(std::string_view cp850);

// Lower case of UTF-8 text (ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic).
std::string LowerCaseAnsi(std::string_view utf8);

// The logged-on user's name; raises Exception with the system's text when the
// lookup fails with an error code, empty when there is simply no name.
std::string LoginUserName();
// The computer's network name; empty if it cannot be obtained.
std::string HostComputerName();
// The folder of system-wide configuration files (stands in for the Windows directory).
std::string SystemWindowsDir();

// The current local date and time as "short date" + blank + "long time" text.
std::string LocalDateTimeText();

} // namespace ravlon
