#include "platform/registry.h"

#include "core/base/numtext.h"
#include "platform/folders.h"

#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

#include <memory>

namespace ravlon {

namespace {

// QSettings reads '/' and '\' in names as group separators, so both are
// escaped in key and value names, together with the escape character itself.
QString EscapeName(const std::string& name) {
    QString out;
    for (const QChar c : QString::fromStdString(name)) {
        if (c == '%' || c == '/' || c == '\\')
            out += QStringLiteral("%%%1").arg(c.unicode(), 2, 16, QChar('0')).toUpper();
        else
            out += c;
    }
    return out;
}

std::string UnescapeName(const QString& name) {
    QString out;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size()) {
            bool ok = false;
            const int code = name.mid(i + 1, 2).toInt(&ok, 16);
            if (ok) {
                out += QChar(code);
                i += 2;
                continue;
            }
        }
        out += name[i];
    }
    return out.toStdString();
}

QStringList SplitPath(const std::string& path) {
    QStringList parts;
    for (const QString& part : QString::fromStdString(path).split('\\', Qt::SkipEmptyParts))
        parts << part;
    return parts;
}

// Values keep their registry type in the INI text: "sz:" + text or "dword:" + decimal.
const QString kString = QStringLiteral("sz:");
const QString kInteger = QStringLiteral("dword:");

std::unique_ptr<QSettings> OpenRoot(RegRoot root) {
    return std::make_unique<QSettings>(QString::fromStdString(RegistryFileOf(root)),
                                       QSettings::IniFormat);
}

// Enters the groups of path, each matched without regard to case; a group
// that does not exist yet keeps the spelling of path. Returns false when a
// group is missing.
bool EnterKey(QSettings& settings, const std::string& path) {
    bool exists = true;
    for (const QString& part : SplitPath(path)) {
        const QString escaped = EscapeName(part.toStdString());
        QString match = escaped;
        if (exists) {
            bool found = false;
            for (const QString& group : settings.childGroups())
                if (group.compare(escaped, Qt::CaseInsensitive) == 0) {
                    match = group;
                    found = true;
                    break;
                }
            exists = found;
        }
        settings.beginGroup(match);
    }
    return exists;
}

// The stored spelling of a value name (case-insensitive match), or the name escaped.
QString ValueKey(const QSettings& settings, const std::string& name) {
    const QString escaped = EscapeName(name);
    for (const QString& key : settings.childKeys())
        if (key.compare(escaped, Qt::CaseInsensitive) == 0) return key;
    return escaped;
}

void Commit(QSettings& settings, const std::string& what) {
    settings.sync();
    if (settings.status() != QSettings::NoError)
        throw EIniFileError("Cannot write the registry key " + what);
}

std::optional<QString> ReadRaw(RegRoot root, const std::string& path, const std::string& name) {
    auto settings = OpenRoot(root);
    if (!EnterKey(*settings, path)) return std::nullopt;
    const QVariant value = settings->value(ValueKey(*settings, name));
    if (!value.isValid()) return std::nullopt;
    return value.toString();
}

} // namespace

std::string RegRootName(RegRoot root) {
    return root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string RegistryFileOf(RegRoot root) {
    const std::string dir =
        root == RegRoot::LocalMachine
            ? SystemConfigDirectory()
            : QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation).toStdString();
    return IncludeTrailingSeparator(dir) + "ravlon-registry/" + RegRootName(root) + ".conf";
}

RegistryKey::RegistryKey(RegRoot root, std::string path) : root_(root), path_(std::move(path)) {}

bool RegistryKey::Exists() const {
    auto settings = OpenRoot(root_);
    if (!EnterKey(*settings, path_)) return false;
    return !settings->childKeys().isEmpty() || !settings->childGroups().isEmpty();
}

std::optional<std::string> RegistryKey::ReadString(const std::string& name) const {
    const auto raw = ReadRaw(root_, path_, name);
    if (!raw || !raw->startsWith(kString)) return std::nullopt;
    return raw->mid(kString.size()).toStdString();
}

std::optional<int32_t> RegistryKey::ReadInteger(const std::string& name) const {
    const auto raw = ReadRaw(root_, path_, name);
    if (!raw || !raw->startsWith(kInteger)) return std::nullopt;
    int32_t value = 0;
    if (!TryStrToInt(raw->mid(kInteger.size()).toStdString(), value)) return std::nullopt;
    return value;
}

std::optional<bool> RegistryKey::ReadBool(const std::string& name) const {
    if (const auto value = ReadInteger(name)) return *value != 0;
    if (const auto text = ReadString(name)) {
        int32_t value = 0;
        if (TryStrToInt(*text, value)) return value != 0;
    }
    return std::nullopt;
}

std::vector<std::string> RegistryKey::ValueNames() const {
    auto settings = OpenRoot(root_);
    std::vector<std::string> names;
    if (!EnterKey(*settings, path_)) return names;
    for (const QString& key : settings->childKeys()) names.push_back(UnescapeName(key));
    return names;
}

std::vector<std::string> RegistryKey::SubKeyNames() const {
    auto settings = OpenRoot(root_);
    std::vector<std::string> names;
    if (!EnterKey(*settings, path_)) return names;
    for (const QString& group : settings->childGroups()) names.push_back(UnescapeName(group));
    return names;
}

void RegistryKey::WriteString(const std::string& name, const std::string& value) {
    auto settings = OpenRoot(root_);
    EnterKey(*settings, path_);
    settings->setValue(ValueKey(*settings, name), kString + QString::fromStdString(value));
    Commit(*settings, RegRootName(root_) + "\\" + path_);
}

void RegistryKey::WriteInteger(const std::string& name, int32_t value) {
    auto settings = OpenRoot(root_);
    EnterKey(*settings, path_);
    settings->setValue(ValueKey(*settings, name), kInteger + QString::number(value));
    Commit(*settings, RegRootName(root_) + "\\" + path_);
}

void RegistryKey::WriteBool(const std::string& name, bool value) {
    WriteInteger(name, value ? 1 : 0);
}

void RegistryKey::DeleteValue(const std::string& name) {
    auto settings = OpenRoot(root_);
    if (!EnterKey(*settings, path_)) return;
    settings->remove(ValueKey(*settings, name));
    Commit(*settings, RegRootName(root_) + "\\" + path_);
}

void RegistryKey::DeleteKey() {
    auto settings = OpenRoot(root_);
    if (!EnterKey(*settings, path_)) return;
    settings->remove(QString()); // everything in the current group
    Commit(*settings, RegRootName(root_) + "\\" + path_);
}

RegistryKey RegistryIniFile::Section(const std::string& section) const {
    return RegistryKey(root_, path_ + "\\" + section);
}

std::string RegistryIniFile::ReadString(const std::string& section, const std::string& ident,
                                        const std::string& def) const {
    const RegistryKey key = Section(section);
    if (const auto text = key.ReadString(ident)) return *text;
    if (const auto value = key.ReadInteger(ident)) return std::to_string(*value);
    return def;
}

int32_t RegistryIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                     int32_t def) const {
    const RegistryKey key = Section(section);
    if (const auto value = key.ReadInteger(ident)) return *value;
    int32_t value = 0;
    if (const auto text = key.ReadString(ident); text && TryStrToInt(*text, value)) return value;
    return def;
}

bool RegistryIniFile::ReadBool(const std::string& section, const std::string& ident,
                               bool def) const {
    return Section(section).ReadBool(ident).value_or(def);
}

void RegistryIniFile::WriteString(const std::string& section, const std::string& ident,
                                  const std::string& value) {
    Section(section).WriteString(ident, value);
}

void RegistryIniFile::WriteInteger(const std::string& section, const std::string& ident,
                                   int32_t value) {
    Section(section).WriteInteger(ident, value);
}

void RegistryIniFile::WriteBool(const std::string& section, const std::string& ident, bool value) {
    Section(section).WriteBool(ident, value);
}

void RegistryIniFile::EraseSection(const std::string& section) {
    Section(section).DeleteKey();
}

} // namespace ravlon
