#include "platform/inifile.h"

#include "core/base/numtext.h"

// Text stays UTF-8 bytes; no wide-character conversion is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace ravlon {

namespace {

std::unique_ptr<CSimpleIniA> Load(const std::string& fileName) {
    auto ini = std::make_unique<CSimpleIniA>(/*utf8*/ true, /*multiKey*/ false,
                                             /*multiLine*/ false);
    // A missing file reads as empty; an unreadable one too (reads never fail).
    ini->LoadFile(fileName.c_str());
    return ini;
}

void Save(const CSimpleIniA& ini, const std::string& fileName) {
    const SI_Error rc = ini.SaveFile(fileName.c_str(), /*addSignature*/ false);
    if (rc < 0) throw EIniFileError("Cannot write the file " + fileName);
}

// Keys and sections are trimmed by the file format; a line break would split them.
void CheckName(const std::string& name, const std::string& fileName) {
    if (name.find_first_of("\r\n") != std::string::npos)
        throw EIniFileError("Invalid name for the file " + fileName);
}

std::string OneLine(const std::string& value) {
    std::string line = value;
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

} // namespace

std::string IniFile::ReadString(const std::string& section, const std::string& ident,
                                const std::string& def) const {
    const auto ini = Load(fileName_);
    const char* value = ini->GetValue(section.c_str(), ident.c_str(), nullptr);
    return value ? std::string(value) : def;
}

int32_t IniFile::ReadInteger(const std::string& section, const std::string& ident,
                             int32_t def) const {
    int32_t value = 0;
    const std::string text = ReadString(section, ident, "");
    return TryStrToInt(text, value) ? value : def;
}

bool IniFile::ReadBool(const std::string& section, const std::string& ident, bool def) const {
    return ReadInteger(section, ident, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& ident,
                          const std::string& value) {
    CheckName(section, fileName_);
    CheckName(ident, fileName_);
    auto ini = Load(fileName_);
    if (ini->SetValue(section.c_str(), ident.c_str(), OneLine(value).c_str()) < 0)
        throw EIniFileError("Cannot write the file " + fileName_);
    Save(*ini, fileName_);
}

void IniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
    WriteString(section, ident, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
    WriteString(section, ident, value ? "1" : "0");
}

void IniFile::EraseSection(const std::string& section) {
    auto ini = Load(fileName_);
    ini->Delete(section.c_str(), nullptr);
    Save(*ini, fileName_);
}

std::vector<std::string> IniFile::SectionNames() const {
    const auto ini = Load(fileName_);
    CSimpleIniA::TNamesDepend names;
    ini->GetAllSections(names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> result;
    for (const auto& entry : names) result.emplace_back(entry.pItem);
    return result;
}

std::vector<std::string> IniFile::SectionKeys(const std::string& section) const {
    const auto ini = Load(fileName_);
    CSimpleIniA::TNamesDepend names;
    ini->GetAllKeys(section.c_str(), names);
    names.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> result;
    for (const auto& entry : names) result.emplace_back(entry.pItem);
    return result;
}

} // namespace ravlon
