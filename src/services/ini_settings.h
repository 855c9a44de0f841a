// TIni and TOstrelIni (unit sini): light settings objects of the error log. TIni works on
// a named INI file, or with an empty name on the program's own registry key
// (HKEY_CURRENT_USER "SoftWare\GessumData\" + program name up to its first
// dot); TOstrelIni on the key shared by the product family (HKEY_CURRENT_USER
// "SoftWare\GessumData\Ostrel"). A section is a subkey there. Each object owns
// its file or key adapter. UI thread only.
#pragma once

#include "platform/inifile.h"

#include <cstdint>
#include <memory>
#include <string>

namespace ravlon {

class TIni {
public:
    explicit TIni(const std::string& fileName);

    void WriteBool(const std::string& section, const std::string& ident, bool value);
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) const;
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    void WriteString(const std::string& section, const std::string& ident,
                     const std::string& value);
    void EraseSection(const std::string& section);

private:
    std::unique_ptr<CustomIniFile> file_;
};

class TOstrelIni {
public:
    TOstrelIni();

    bool ReadBool(const std::string& section, const std::string& ident, bool def) const;
    void WriteBool(const std::string& section, const std::string& ident, bool value);
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    void WriteString(const std::string& section, const std::string& ident,
                     const std::string& value);

private:
    std::unique_ptr<CustomIniFile> file_;
};

} // namespace ravlon
