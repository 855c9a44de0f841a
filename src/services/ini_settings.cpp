#include "services/ini_settings.h"

#include "platform/folders.h"
#include "platform/registry.h"

namespace ravlon {

TIni::TIni(const std::string& fileName) {
    if (!fileName.empty()) {
        file_ = std::make_unique<IniFile>(fileName);
    } else {
        const std::string program = ProgramFileName();
        file_ = std::make_unique<RegistryIniFile>(
            RegRoot::CurrentUser, "SoftWare\\GessumData\\" + program.substr(0, program.find('.')));
    }
}

void TIni::WriteBool(const std::string& section, const std::string& ident, bool value) {
    file_->WriteBool(section, ident, value);
}

int32_t TIni::ReadInteger(const std::string& section, const std::string& ident, int32_t def) const {
    return file_->ReadInteger(section, ident, def);
}

void TIni::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
    file_->WriteInteger(section, ident, value);
}

void TIni::WriteString(const std::string& section, const std::string& ident,
                       const std::string& value) {
    file_->WriteString(section, ident, value);
}

void TIni::EraseSection(const std::string& section) {
    file_->EraseSection(section);
}

TOstrelIni::TOstrelIni()
    : file_(std::make_unique<RegistryIniFile>(RegRoot::CurrentUser,
                                              "SoftWare\\GessumData\\Ostrel")) {}

bool TOstrelIni::ReadBool(const std::string& section, const std::string& ident, bool def) const {
    return file_->ReadBool(section, ident, def);
}

void TOstrelIni::WriteBool(const std::string& section, const std::string& ident, bool value) {
    file_->WriteBool(section, ident, value);
}

std::string TOstrelIni::ReadString(const std::string& section, const std::string& ident,
                                   const std::string& def) const {
    return file_->ReadString(section, ident, def);
}

void TOstrelIni::WriteString(const std::string& section, const std::string& ident,
                             const std::string& value) {
    file_->WriteString(section, ident, value);
}

} // namespace ravlon
