// Folder roots that stand in for the shell folders, the Windows directory and
// the program's own location. Tests redirect the system-wide roots and the
// program file to temporary folders, so no test touches the machine's files.
// UI thread only (the overrides are plain process-wide values).
#pragma once

#include <functional>
#include <string>

namespace ravlon {

// Shell folder identifiers that the settings store asks for.
enum Csidl : int {
    CSIDL_APPDATA = 26,        // per-user roaming application data
    CSIDL_LOCAL_APPDATA = 28,  // per-user local application data
    CSIDL_COMMON_APPDATA = 35, // all users' application data
};

// The folder of a CSIDL value without a trailing separator; empty when the
// folder is not known. 26 -> the user's configuration folder (XDG config
// home), 28 -> the user's data folder (XDG data home), 35 -> the first
// system-wide data folder (XDG data dirs), or <system folder>/share while the
// system folder is overridden.
std::string SpecialFolderPath(int csidl);

// Replaces the lookup (tests: "no folder library"); an empty function restores it.
using SpecialFolderLookup = std::function<std::string(int csidl)>;
void SetSpecialFolderLookup(SpecialFolderLookup lookup);

// The system configuration folder: stands in for the Windows directory and
// holds the machine-wide registry file. SystemWindowsDir() unless overridden.
std::string WindowsDirectory();
// The machine-wide configuration folder (holds the machine-wide registry
// file): the first system-wide XDG configuration folder, or the override.
std::string SystemConfigDirectory();
// Redirects the system configuration folder (and the all-users data folder);
// an empty path removes the redirection.
void SetSystemFolderOverride(const std::string& dir);

// Full path of the program file, its directory and its file name.
// QCoreApplication::applicationFilePath() unless overridden.
std::string ProgramFilePath();
std::string ProgramDirectory();
std::string ProgramFileName();
// Pretends the program file is at path (tests); empty removes it.
void SetProgramFileOverride(const std::string& path);

// The temporary folder; the last-resort place for files the program needs to
// write somewhere ("c:\" on the original platform).
std::string LastResortDirectory();

// Path helpers on "/"-separated paths.
std::string IncludeTrailingSeparator(const std::string& dir);
// Absolute and cleaned, links kept; empty for a relative path without a current directory.
std::string ExpandFileName(const std::string& path);
std::string ExtractFileName(const std::string& path);
std::string ExtractFileDir(const std::string& path);
std::string ChangeFileExt(const std::string& path, const std::string& ext);

} // namespace ravlon
