// Thin file and system routines: temporary files, copying with the file date,
// code page 850 text on disk, lower-casing for case-insensitive comparisons,
// user, host and system folder names.
#pragma once

#include <cstddef>
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

// True when a and b name one file: the same text, or one existing file under
// two spellings ("../", a symbolic or hard link: same device and inode).
bool SameFile(const std::string& a, const std::string& b);

// Copies source to destination in pieces of 8192 bytes and gives the copy the
// source's modification time. The copy goes to a new file in the destination's
// folder, is flushed to disk and then renamed over the destination, so an
// existing destination stays as it was when anything fails (a destination that
// is a symbolic link is followed: the link stays). Refused: a source or an
// existing destination that is not a regular file, and a destination that is
// the source itself (SameFile). False on any failure or short write, with the
// reason (file name and the system's text) in *error when given.
bool CopyFileWithDate(const std::string& source, const std::string& destination,
                      std::string* error = nullptr);

// Replaces the file path by data the same way: a new file in its folder,
// every write checked, flushed, closed and renamed over path. False with the
// reason in *error; an existing file then stays as it was.
bool WriteFileAtomically(const std::string& path, std::string_view data,
                         std::string* error = nullptr);

// Opens path with flags (O_RDONLY or O_RDWR, with O_DSYNC ...) only when it is a
// regular file, and without blocking on a FIFO or device; the descriptor is
// close-on-exec and blocks as usual. -1 with the reason in *error (and errno)
// otherwise.
int OpenRegularFile(const std::string& path, int flags, std::string* error = nullptr);

// Reads the whole of path (at most maxBytes) into out. Only a regular file is
// read, and the open never blocks (a FIFO or device named by a setting must
// not hang the program). False with the reason in *error when path is
// missing, not a regular file or unreadable; out is then empty.
bool ReadRegularFile(const std::string& path, std::string& out, std::size_t maxBytes,
                     std::string* error = nullptr);

// Text in memory is UTF-8; recording headers and label files hold code page 850.
// AnsiToOem: UTF-8 -> CP850 (characters CP850 lacks, and invalid UTF-8, become '?').
// OemToAnsi: CP850 -> UTF-8. ASCII passes through both unchanged.
std::string AnsiToOem(std::string_view utf8);
std::string OemToAnsi(std::string_view cp850);

// The text with every byte that is not part of valid UTF-8 replaced by U+FFFD,
// so that it can go where only valid UTF-8 may (JSON).
std::string ToValidUtf8(std::string_view text);

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
