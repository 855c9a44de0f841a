#include "platform/folders.h"

#include "core/base/fileutil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ravlon {

namespace {

SpecialFolderLookup& Lookup() {
    static SpecialFolderLookup lookup;
    return lookup;
}

std::string& SystemOverride() {
    static std::string dir;
    return dir;
}

std::string& ProgramOverride() {
    static std::string path;
    return path;
}

std::string Trimmed(QString dir) {
    while (dir.size() > 1 && dir.endsWith('/')) dir.chop(1);
    return dir.toStdString();
}

std::string DefaultSpecialFolder(int csidl) {
    switch (csidl) {
    case CSIDL_APPDATA:
        return Trimmed(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    case CSIDL_LOCAL_APPDATA:
        return Trimmed(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    case CSIDL_COMMON_APPDATA: {
        if (!SystemOverride().empty()) return SystemOverride() + "/share";
        const QStringList all =
            QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
        const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        for (const QString& dir : all)
            if (dir != user) return Trimmed(dir);
        return "";
    }
    default:
        return "";
    }
}

} // namespace

std::string SpecialFolderPath(int csidl) {
    if (Lookup()) return Lookup()(csidl);
    return DefaultSpecialFolder(csidl);
}

void SetSpecialFolderLookup(SpecialFolderLookup lookup) {
    Lookup() = std::move(lookup);
}

std::string WindowsDirectory() {
    if (!SystemOverride().empty()) return SystemOverride();
    return SystemWindowsDir();
}

std::string SystemConfigDirectory() {
    if (!SystemOverride().empty()) return SystemOverride();
    const QStringList all =
        QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation);
    const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    for (const QString& dir : all)
        if (dir != user) return Trimmed(dir);
    return SystemWindowsDir();
}

void SetSystemFolderOverride(const std::string& dir) {
    SystemOverride() = dir;
}

std::string ProgramFilePath() {
    if (!ProgramOverride().empty()) return ProgramOverride();
    return QCoreApplication::applicationFilePath().toStdString();
}

std::string ProgramDirectory() {
    return ExtractFileDir(ProgramFilePath());
}

std::string ProgramFileName() {
    return ExtractFileName(ProgramFilePath());
}

void SetProgramFileOverride(const std::string& path) {
    ProgramOverride() = path;
}

std::string LastResortDirectory() {
    return Trimmed(QDir::tempPath());
}

std::string IncludeTrailingSeparator(const std::string& dir) {
    if (!dir.empty() && dir.back() == '/') return dir;
    return dir + "/";
}

std::string ExpandFileName(const std::string& path) {
    if (path.empty()) return "";
    // A relative name cannot be expanded without a current directory (it was deleted).
    if (path.front() != '/' && QDir::currentPath().isEmpty()) return "";
    return QDir::cleanPath(QFileInfo(QString::fromStdString(path)).absoluteFilePath())
        .toStdString();
}

std::string ExtractFileName(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileDir(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return "";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string ChangeFileExt(const std::string& path, const std::string& ext) {
    const auto slash = path.find_last_of('/');
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return path + ext;
    return path.substr(0, dot) + ext;
}

} // namespace ravlon
