// INI-style settings: an INI file on disk (SimpleIni, so keys may be file
// paths and sections may hold dates) and the common interface that the
// registry-as-INI adapter shares. Every operation opens, changes and closes
// the file, so nothing is cached between calls. UI thread only.
#pragma once

#include "core/base/errors.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ravlon {

// A file or key that cannot be written.
class EIniFileError : public Exception {
public:
    using Exception::Exception;
};

// Sections of identifiers with text values; integers and Booleans are stored
// as decimal text ("1"/"0" for Booleans).
class CustomIniFile {
public:
    virtual ~CustomIniFile() = default;
    // Reads never fail: a missing value, or one that is not a number, gives def.
    virtual std::string ReadString(const std::string& section, const std::string& ident,
                                   const std::string& def) const = 0;
    virtual int32_t ReadInteger(const std::string& section, const std::string& ident,
                                int32_t def) const = 0;
    virtual bool ReadBool(const std::string& section, const std::string& ident, bool def) const = 0;
    // Writes raise EIniFileError when the file or key cannot be written.
    virtual void WriteString(const std::string& section, const std::string& ident,
                             const std::string& value) = 0;
    virtual void WriteInteger(const std::string& section, const std::string& ident,
                              int32_t value) = 0;
    virtual void WriteBool(const std::string& section, const std::string& ident, bool value) = 0;
    // Removes the section with all its values; raises when that cannot be written.
    virtual void EraseSection(const std::string& section) = 0;
};

// An INI file on disk. The file is created by the first write; its directory
// must exist (a write into a missing directory raises). Only a regular file is
// read or written, and never with a blocking open (a FIFO reads as empty and
// is not written). A write goes to a new file in the same folder that replaces
// the old one only when every write and the close succeeded, so a full disk
// leaves the old file as it was and raises.
class IniFile final : public CustomIniFile {
public:
    explicit IniFile(std::string fileName) : fileName_(std::move(fileName)) {}

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const override;
    int32_t ReadInteger(const std::string& section, const std::string& ident,
                        int32_t def) const override;
    bool ReadBool(const std::string& section, const std::string& ident, bool def) const override;
    void WriteString(const std::string& section, const std::string& ident,
                     const std::string& value) override;
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value) override;
    void WriteBool(const std::string& section, const std::string& ident, bool value) override;
    void EraseSection(const std::string& section) override;

    // True when writing would do no harm: the file is absent, or a regular file
    // that reads as INI text and may be opened for writing, and its folder takes
    // the new file that a write puts in its place. Writes nothing anywhere, so a
    // file that is not an INI file (a user's document named by a setting) is
    // never rewritten by the test.
    bool IsWritable() const;

    // Section names and the identifiers of one section, in file order.
    std::vector<std::string> SectionNames() const;
    std::vector<std::string> SectionKeys(const std::string& section) const;

private:
    std::string fileName_;
};

} // namespace ravlon
