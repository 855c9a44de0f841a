// Registry keys with typed values, on QSettings. On this platform each root is
// one INI file: HKEY_CURRENT_USER under the user's configuration folder,
// HKEY_LOCAL_MACHINE under the system configuration folder (folders.h), both
// named ravlon-registry/<root>.conf. Values keep their type (string or
// integer) as in the registry, so an integer read of a string value fails.
// Key and value names compare without regard to case, as in the registry.
// Every operation opens and closes the file; nothing is cached. UI thread only.
#pragma once

#include "platform/inifile.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace ravlon {

enum class RegRoot { CurrentUser, LocalMachine };

// The text name of a root ("HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE").
std::string RegRootName(RegRoot root);
// The file that holds a root.
std::string RegistryFileOf(RegRoot root);

// One key, addressed by a backslash-separated path ("\Software\GessumData\X";
// the leading backslash is optional). Opening never creates the key; the
// first write does.
class RegistryKey {
public:
    RegistryKey(RegRoot root, std::string path);

    RegRoot Root() const { return root_; }
    const std::string& Path() const { return path_; }

    // The key holds a value or a subkey.
    bool Exists() const;

    // Typed reads: nullopt when the value is missing or has another type.
    std::optional<std::string> ReadString(const std::string& name) const;
    std::optional<int32_t> ReadInteger(const std::string& name) const;
    // A Boolean is an integer (non-zero = true); a string holding an integer
    // is accepted as well.
    std::optional<bool> ReadBool(const std::string& name) const;

    // Value names in the order the store returns them, and subkey names.
    std::vector<std::string> ValueNames() const;
    std::vector<std::string> SubKeyNames() const;

    // Writes create the key; a write that cannot be stored raises EIniFileError.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, int32_t value);
    void WriteBool(const std::string& name, bool value);
    void DeleteValue(const std::string& name);
    // Deletes the key with all its values and subkeys.
    void DeleteKey();

private:
    RegRoot root_;
    std::string path_;
};

// A registry key used like an INI file: a section is a subkey, an identifier
// is a value. Integers and Booleans are written as integer values.
class RegistryIniFile final : public CustomIniFile {
public:
    RegistryIniFile(RegRoot root, std::string path) : root_(root), path_(std::move(path)) {}

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

private:
    RegistryKey Section(const std::string& section) const;

    RegRoot root_;
    std::string path_;
};

} // namespace ravlon
