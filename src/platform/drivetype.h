// The kind of drive a path lies on, from the mount table of the process
// (/proc/self/mountinfo): the mount that holds the path decides. UI thread
// only where the resolver is replaced; the lookup itself is reentrant.
#pragma once

#include <functional>
#include <string>

namespace ravlon {

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CDROM, RAMDisk };

// The drive type of the mount holding path (an absolute path; it need not exist:
// its nearest existing parent decides). Unknown when the table cannot be read.
DriveType DriveTypeOfPath(const std::string& path);

// The same from a given mount table text; sysBlockDir stands for /sys/class/block
// (a block device counts as removable when <dir>/<dev>/removable, or that of its
// parent disk, holds 1).
DriveType DriveTypeFromMountInfo(const std::string& mountInfo, const std::string& path,
                                 const std::string& sysBlockDir);

// Replaces the lookup (tests); an empty function restores the mount table.
using DriveTypeResolver = std::function<DriveType(const std::string& path)>;
void SetDriveTypeResolver(DriveTypeResolver resolver);

} // namespace ravlon
