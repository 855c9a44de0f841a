#include "platform/drivetype.h"

#include <QDir>
#include <QFileInfo>

#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace ravlon {

namespace {

DriveTypeResolver& Resolver() {
    static DriveTypeResolver resolver;
    return resolver;
}

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string Unescape(const std::string& field) {
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string octal = field.substr(i + 1, 3);
            if (octal.size() == 3 && octal.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(octal, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

bool IsUnder(const std::string& path, const std::string& mountPoint) {
    if (mountPoint == "/") return true;
    if (path.compare(0, mountPoint.size(), mountPoint) != 0) return false;
    return path.size() == mountPoint.size() || path[mountPoint.size()] == '/';
}

std::string ReadFirstLine(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool IsRemovableDevice(const std::string& source, const std::string& sysBlockDir) {
    if (source.rfind("/dev/", 0) != 0) return false;
    const std::string dev = source.substr(5);
    if (dev.empty() || dev.find('/') != std::string::npos) return false;
    const std::string entry = sysBlockDir + "/" + dev;
    if (ReadFirstLine(entry + "/removable") == "1") return true;
    // A partition has no "removable" of its own; its disk is the parent directory.
    const QString resolved = QFileInfo(QString::fromStdString(entry)).canonicalFilePath();
    if (resolved.isEmpty()) return false;
    return ReadFirstLine(QFileInfo(resolved).path().toStdString() + "/removable") == "1";
}

DriveType TypeOf(const std::string& fsType, const std::string& source,
                 const std::string& sysBlockDir) {
    static const std::set<std::string> remote = {
        "nfs",    "nfs4",        "cifs",     "smb3",      "smbfs",
        "sshfs",  "fuse.sshfs",  "9p",       "afs",       "ncpfs",
        "davfs",  "fuse.davfs2", "ceph",     "glusterfs", "fuse.glusterfs",
        "lustre", "fuse.rclone", "fuse.s3fs"};
    static const std::set<std::string> cdrom = {"iso9660", "udf"};
    static const std::set<std::string> ram = {"tmpfs", "ramfs"};
    if (remote.count(fsType)) return DriveType::Remote;
    if (cdrom.count(fsType)) return DriveType::CDROM;
    if (ram.count(fsType)) return DriveType::RAMDisk;
    if (IsRemovableDevice(source, sysBlockDir)) return DriveType::Removable;
    if (source.rfind("/dev/", 0) == 0) return DriveType::Fixed;
    return DriveType::Unknown;
}

// The nearest existing directory of path (so that a file not yet written is judged by its folder).
std::string ExistingAncestor(const std::string& path) {
    QString dir = QDir::cleanPath(QString::fromStdString(path));
    while (!dir.isEmpty() && dir != "/" && !QFileInfo::exists(dir)) dir = QFileInfo(dir).path();
    const QString canonical = QFileInfo(dir).canonicalFilePath();
    return (canonical.isEmpty() ? dir : canonical).toStdString();
}

} // namespace

DriveType DriveTypeFromMountInfo(const std::string& mountInfo, const std::string& path,
                                 const std::string& sysBlockDir) {
    if (path.empty() || path.front() != '/') return DriveType::NoRootDir;
    std::istringstream lines(mountInfo);
    std::string line;
    std::string bestMount;
    DriveType best = DriveType::Unknown;
    bool found = false;
    while (std::getline(lines, line)) {
        // id parent major:minor root mountpoint options [optional...] - fstype source superopts
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;) f.push_back(field);
        size_t dash = 0;
        while (dash < f.size() && f[dash] != "-") ++dash;
        if (f.size() < 5 || dash + 2 >= f.size()) continue;
        const std::string mountPoint = Unescape(f[4]);
        if (!IsUnder(path, mountPoint)) continue;
        // Later mounts over the same point hide earlier ones, so ">=" keeps the last.
        if (found && mountPoint.size() < bestMount.size()) continue;
        bestMount = mountPoint;
        best = TypeOf(f[dash + 1], Unescape(f[dash + 2]), sysBlockDir);
        found = true;
    }
    return found ? best : DriveType::Unknown;
}

DriveType DriveTypeOfPath(const std::string& path) {
    if (Resolver()) return Resolver()(path);
    std::ifstream in("/proc/self/mountinfo");
    if (!in) return DriveType::Unknown;
    std::stringstream text;
    text << in.rdbuf();
    return DriveTypeFromMountInfo(text.str(), ExistingAncestor(path), "/sys/class/block");
}

void SetDriveTypeResolver(DriveTypeResolver resolver) {
    Resolver() = std::move(resolver);
}

} // namespace ravlon
