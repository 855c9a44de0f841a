// TSetting (unit cSetting): a typed key-value store with sections, kept in the registry (per
// user or per machine) or in an INI file in a per-user, per-machine or named
// location, all named after a TProgId. Nothing is cached: every operation
// opens, uses and closes its key or file, and the identity is read from
// ProgId at each use, so a changed version moves later reads and writes.
// UI thread only.
#pragma once

#include "core/base/errors.h"
#include "services/program_id.h"

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <string>

namespace ravlon {

class ESettingError : public Exception {
public:
    using Exception::Exception;
};

enum tsettinglocation {
    sluser,
    slmachine,
    slroaming,
    slnonroaming,
    slcommonadmin,
    slcommoninsecure,
    slfile,
};

class TSetting : public QObject {
    Q_OBJECT
public:
    // Location sluser; the Windows directory is taken now.
    explicit TSetting(QObject* parent = nullptr);

    tsettinglocation Location() const { return location_; }
    void SetLocation(tsettinglocation value) { location_ = value; }
    // Not owned; required. The store follows the object's lifetime (a deleted
    // ProgId counts as unassigned).
    TProgId* ProgId() const { return progId_; }
    void SetProgId(TProgId* value) { progId_ = value; }
    // The INI file of slfile.
    const std::string& Filename() const { return filename_; }
    void SetFilename(const std::string& value) { filename_ = value; }
    // Setting: the INI file name for the folder locations (name part only).
    // Reading: the resolved target ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE"
    // or the full INI file path).
    std::string IniFilename() const;
    void SetIniFilename(const std::string& value) { iniFilename_ = value; }

    // End of loading: raises ESettingError "Nothing assigned to <name>.ProgId"
    // without a ProgId.
    void Loaded();

    // Reads never fail (a missing, empty or mistyped value gives the default).
    std::string ReadString(const std::string& section, const std::string& ident,
                           const std::string& def) const;
    int32_t ReadInteger(const std::string& section, const std::string& ident, int32_t def) const;
    // Writes raise when the key or file cannot be written (INI locations
    // create their directories first).
    void WriteString(const std::string& section, const std::string& ident,
                     const std::string& value);
    void WriteInteger(const std::string& section, const std::string& ident, int32_t value);
    // Registry: deletes the section key (failures raise); INI: failures are ignored.
    void EraseSection(const std::string& section);

    // The location used after the fall-backs for a missing special folder.
    tsettinglocation EffectiveLocation() const;
    // The registry key of a section: "\Software\<Company>\<Product>\<Version>\<section>".
    std::string RegistryKeyPath(const std::string& section) const;

    // Identity from ProgId; ESettingError "Nothing assigned to ProgId" without one.
    std::string Company() const;
    std::string ProductName() const;
    std::string Version() const;

private:
    std::string SpecialFolder() const; // empty when not found or none
    std::string BaseDirectory() const;
    bool IsRegistry() const;

    tsettinglocation location_ = sluser;
    QPointer<TProgId> progId_;
    std::string filename_;
    std::string iniFilename_;
    std::string windowsDir_;
};

} // namespace ravlon
