#include "platform/inifile.h"

#include "core/base/fileutil.h"
#include "core/base/numtext.h"

// Text stays UTF-8 bytes; no wide-character conversion is needed.
#define SI_NO_CONVERSION
#define SI_IMPLEMENTATION
#include <SimpleIni.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace ravlon {

namespace {

// Larger than any settings or log file the program writes.
constexpr std::size_t kMaxIniBytes = std::size_t{64} << 20;

std::unique_ptr<CSimpleIniA> NewIni() {
    return std::make_unique<CSimpleIniA>(/*utf8*/ true, /*multiKey*/ false,
                                         /*multiLine*/ false);
}

// For reading: a missing or unreadable file, or one that is not a regular file
// (a FIFO named by a setting must not block), reads as empty.
std::unique_ptr<CSimpleIniA> Load(const std::string& fileName) {
    auto ini = NewIni();
    std::string text;
    if (ReadRegularFile(fileName, text, kMaxIniBytes)) ini->LoadData(text);
    return ini;
}

// For changing: the file must be absent or readable, or the rewrite would
// drop what could not be read.
std::unique_ptr<CSimpleIniA> LoadForWrite(const std::string& fileName) {
    auto ini = NewIni();
    std::string text, error;
    if (!ReadRegularFile(fileName, text, kMaxIniBytes, &error)) {
        struct stat st {};
        if (::stat(fileName.c_str(), &st) == 0 || errno != ENOENT)
            throw EIniFileError("Cannot write the file " + fileName + ": " + error);
    }
    if (text.size() >= kMaxIniBytes)
        throw EIniFileError("Cannot write the file " + fileName + ": it is too large");
    if (ini->LoadData(text) < 0) throw EIniFileError("Cannot read the file " + fileName);
    return ini;
}

// The new text goes to a new file that replaces the old one only when every
// write and the close succeeded: a full disk leaves the old file as it was.
void Save(const CSimpleIniA& ini, const std::string& fileName) {
    std::string text, error;
    if (ini.Save(text, /*addSignature*/ false) < 0)
        throw EIniFileError("Cannot write the file " + fileName);
    if (!WriteFileAtomically(fileName, text, &error))
        throw EIniFileError("Cannot write the file " + fileName + ": " + error);
}

// Sections, key=value lines, comments and blank lines only, as SimpleIni reads them.
bool IsIniText(std::string_view text) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty()) {
        const auto end = std::min(text.find('\n'), text.size());
        std::string_view line = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        const auto start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos) continue;
        line.remove_prefix(start);
        if (line.find('\0') != std::string_view::npos) return false;
        if (line[0] == ';' || line[0] == '#' || line[0] == '[' || line.find('=') != line.npos)
            continue;
        return false;
    }
    return true;
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
    auto ini = LoadForWrite(fileName_);
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
    auto ini = LoadForWrite(fileName_);
    ini->Delete(section.c_str(), nullptr);
    Save(*ini, fileName_);
}

bool IniFile::IsWritable() const {
    namespace fs = std::filesystem;
    if (fileName_.empty()) return false;
    std::error_code ec;
    fs::path target = fileName_;
    // A write replaces the file a symbolic link points to, in that file's folder.
    if (fs::is_symlink(fs::symlink_status(target, ec))) target = fs::weakly_canonical(target, ec);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        std::string text;
        if (!ReadRegularFile(target.string(), text, kMaxIniBytes) || text.size() >= kMaxIniBytes ||
            !IsIniText(text))
            return false;
        const int fd = OpenRegularFile(target.string(), O_WRONLY);
        if (fd < 0) return false;
        ::close(fd);
    } else if (errno != ENOENT) {
        return false;
    }
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    return fs::is_directory(dir, ec) && ::access(dir.c_str(), W_OK | X_OK) == 0;
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
