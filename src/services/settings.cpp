#include "services/settings.h"

#include "platform/folders.h"
#include "platform/inifile.h"
#include "platform/registry.h"

#include <QDir>

namespace ravlon {

namespace {

int CsidlOf(tsettinglocation location) {
    switch (location) {
    case slroaming:
        return CSIDL_APPDATA;
    case slnonroaming:
        return CSIDL_LOCAL_APPDATA;
    case slcommonadmin:
    case slcommoninsecure:
        return CSIDL_COMMON_APPDATA;
    default:
        return -1;
    }
}

} // namespace

TSetting::TSetting(QObject* parent) : QObject(parent), windowsDir_(WindowsDirectory()) {}

void TSetting::Loaded() {
    if (!progId_)
        throw ESettingError("Nothing assigned to " + objectName().toStdString() + ".ProgId");
}

std::string TSetting::Company() const {
    if (!progId_) throw ESettingError("Nothing assigned to ProgId");
    return progId_->Company();
}

std::string TSetting::ProductName() const {
    if (!progId_) throw ESettingError("Nothing assigned to ProgId");
    return progId_->ProductName();
}

std::string TSetting::Version() const {
    if (!progId_) throw ESettingError("Nothing assigned to ProgId");
    return progId_->Version();
}

std::string TSetting::SpecialFolder() const {
    const int csidl = CsidlOf(location_);
    return csidl < 0 ? std::string() : SpecialFolderPath(csidl);
}

tsettinglocation TSetting::EffectiveLocation() const {
    if (!SpecialFolder().empty()) return location_;
    switch (location_) {
    case slroaming:
    case slnonroaming:
        return sluser;
    case slcommonadmin:
        return slmachine;
    default:
        return location_;
    }
}

bool TSetting::IsRegistry() const {
    const tsettinglocation effective = EffectiveLocation();
    return effective == sluser || effective == slmachine;
}

std::string TSetting::BaseDirectory() const {
    const std::string folder = SpecialFolder();
    if (folder.empty()) return IncludeTrailingSeparator(windowsDir_);
    return IncludeTrailingSeparator(folder) + Company() + "/" + ProductName() + "/" + Version() +
           "/";
}

std::string TSetting::IniFilename() const {
    switch (EffectiveLocation()) {
    case sluser:
        return "HKEY_CURRENT_USER";
    case slmachine:
        return "HKEY_LOCAL_MACHINE";
    case slfile:
        return filename_;
    default:
        break;
    }
    const std::string name = iniFilename_.empty()
                                 ? ChangeFileExt(ProgramFileName(), ".ini")
                                 : ChangeFileExt(ExtractFileName(iniFilename_), ".ini");
    std::string base = BaseDirectory();
    if (location_ == slcommoninsecure && !SpecialFolder().empty()) base += "insecure/";
    return base + name;
}

std::string TSetting::RegistryKeyPath(const std::string& section) const {
    return "\\Software\\" + Company() + "\\" + ProductName() + "\\" + Version() + "\\" + section;
}

std::string TSetting::ReadString(const std::string& section, const std::string& ident,
                                 const std::string& def) const {
    std::string value;
    if (IsRegistry()) {
        const RegRoot root =
            EffectiveLocation() == slmachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        value = RegistryKey(root, RegistryKeyPath(section)).ReadString(ident).value_or("");
    } else {
        value = IniFile(IniFilename()).ReadString(section, ident, def);
    }
    return value.empty() ? def : value;
}

int32_t TSetting::ReadInteger(const std::string& section, const std::string& ident,
                              int32_t def) const {
    if (IsRegistry()) {
        const RegRoot root =
            EffectiveLocation() == slmachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        return RegistryKey(root, RegistryKeyPath(section)).ReadInteger(ident).value_or(def);
    }
    return IniFile(IniFilename()).ReadInteger(section, ident, def);
}

void TSetting::WriteString(const std::string& section, const std::string& ident,
                           const std::string& value) {
    if (IsRegistry()) {
        const RegRoot root =
            EffectiveLocation() == slmachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        RegistryKey(root, RegistryKeyPath(section)).WriteString(ident, value);
        return;
    }
    const std::string target = IniFilename();
    QDir().mkpath(QString::fromStdString(ExtractFileDir(target)));
    IniFile(target).WriteString(section, ident, value);
}

void TSetting::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
    if (IsRegistry()) {
        const RegRoot root =
            EffectiveLocation() == slmachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        RegistryKey(root, RegistryKeyPath(section)).WriteInteger(ident, value);
        return;
    }
    const std::string target = IniFilename();
    QDir().mkpath(QString::fromStdString(ExtractFileDir(target)));
    IniFile(target).WriteInteger(section, ident, value);
}

void TSetting::EraseSection(const std::string& section) {
    if (IsRegistry()) {
        const RegRoot root =
            EffectiveLocation() == slmachine ? RegRoot::LocalMachine : RegRoot::CurrentUser;
        RegistryKey(root, RegistryKeyPath(section)).DeleteKey();
        return;
    }
    try {
        IniFile(IniFilename()).EraseSection(section);
    } catch (const Exception&) {
        // Erasing is best effort: a missing or read-only file has nothing to lose.
    }
}

} // namespace ravlon
