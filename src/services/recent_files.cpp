#include "services/recent_files.h"

#include "core/base/fileutil.h"
#include "platform/appexception.h"
#include "platform/drivetype.h"
#include "platform/folders.h"
#include "platform/messagebox.h"

#include <QFileInfo>

#include <algorithm>

namespace ravlon {

namespace {

const char* const kHexDigits = "0123456789ABCDEF";

std::string HexId(int i) {
    return std::string(1, kHexDigits[i & 0xF]);
}

bool FileExists(const std::string& path) {
    const QFileInfo info(QString::fromStdString(path));
    return info.exists() && !info.isDir();
}

// Menus read '&' as an accelerator mark; a path shows it literally.
QString MenuText(const std::string& path) {
    return QString::fromStdString(path).replace('&', QStringLiteral("&&"));
}

} // namespace

TRecentFiles::TRecentFiles(QObject* parent) : QObject(parent) {
    setting_.setObjectName("RecentFilesSetting");
}

TRecentFiles::~TRecentFiles() {
    RemoveItems();
    for (auto& item : entryItems_) delete item.data();
    delete separator_.data();
    delete clearItem_.data();
}

void TRecentFiles::SetMenu(QMenu* menu) {
    if (menu_ == menu) return;
    RemoveItems();
    menu_ = menu;
    if (!componentLoading_) SetUp();
}

void TRecentFiles::SetMaxItems(int value) {
    maxItems_ = std::clamp(value, 0, kSlots - 1);
    for (int i = maxItems_; i < kSlots; ++i) files_[i].clear();
    RebuildMenu();
}

void TRecentFiles::SetBarBefore(bool value) {
    barBefore_ = value;
    RebuildMenu();
}

void TRecentFiles::SetIncludeClearItem(bool value) {
    includeClearItem_ = value;
    RebuildMenu();
}

void TRecentFiles::SetClearCaption(const std::string& value) {
    clearCaption_ = value;
    if (clearItem_) clearItem_->setText(QString::fromStdString(value));
    RebuildMenu();
}

void TRecentFiles::Loaded() {
    componentLoading_ = false;
    SetUp();
}

void TRecentFiles::SetUp() {
    if (!progId_)
        throw ESettingError("Nothing assigned to " + objectName().toStdString() + ".ProgId");
    setting_.SetProgId(progId_);
    if (menu_) {
        RemoveItems();
        for (auto& item : entryItems_) delete item.data();
        delete separator_.data();
        delete clearItem_.data();
        for (int i = 0; i < kSlots; ++i) {
            auto* item = new QAction(menu_);
            item->setData(i + 1);
            connect(item, &QAction::triggered, this,
                    Guarded(this, [this, i] { EntryClicked(i + 1); }));
            entryItems_[i] = item;
        }
        separator_ = new QAction(menu_);
        separator_->setSeparator(true);
        clearItem_ = new QAction(QString::fromStdString(clearCaption_), menu_);
        clearItem_->setVisible(includeClearItem_);
        connect(clearItem_, &QAction::triggered, this, Guarded(this, [this] { ClearClicked(); }));
    }
    Load();
    Recaption();
    RebuildMenu();
}

bool TRecentFiles::Accepted(const std::string& fullPath) const {
    switch (DriveTypeOfPath(fullPath)) {
    case DriveType::Unknown:
        return true;
    case DriveType::NoRootDir:
        return false;
    case DriveType::Removable:
        return allowRemovable_;
    case DriveType::Fixed:
        return allowFixed_;
    case DriveType::Remote:
        return allowRemote_;
    case DriveType::CDROM:
        return allowCDROM_;
    case DriveType::RAMDisk:
        return allowRAMDisk_;
    }
    return true;
}

void TRecentFiles::Add(const std::string& fileName) {
    if (fileName.empty()) return;
    const std::string full = ExpandFileName(fileName);
    if (Accepted(full)) {
        // A file already listed moves up: its old entry goes first, so that a
        // full list loses no other entry.
        ForgetEntry(full);
        for (int i = kSlots - 1; i > 0; --i) files_[i] = files_[i - 1];
        files_[0] = full;
        // Entries beyond MaxItems stay empty: the one pushed out is dropped.
        for (int i = maxItems_; i < kSlots; ++i) files_[i].clear();
    }
    Compact();
    RebuildMenu();
}

void TRecentFiles::Remove(const std::string& fileName) {
    if (fileName.empty()) return;
    ForgetEntry(ExpandFileName(fileName));
    Compact();
    RebuildMenu();
}

void TRecentFiles::ForgetEntry(const std::string& fullPath) {
    const std::string lower = LowerCaseAnsi(fullPath);
    // The entries below move up into the place.
    const auto end = std::remove_if(files_.begin(), files_.end(), [&](const std::string& file) {
        return !file.empty() && LowerCaseAnsi(file) == lower;
    });
    std::fill(end, files_.end(), std::string());
}

void TRecentFiles::Clear() {
    for (auto& file : files_) file.clear();
    Compact();
    RebuildMenu();
}

int TRecentFiles::Count() const {
    int n = 0;
    for (int i = 0; i < maxItems_; ++i)
        if (!files_[i].empty()) ++n;
    return n;
}

std::string TRecentFiles::File(int i) const {
    return i >= 1 && i <= kSlots ? files_[i - 1] : std::string();
}

QAction* TRecentFiles::EntryItem(int i) const {
    return i >= 1 && i <= kSlots ? entryItems_[i - 1].data() : nullptr;
}

void TRecentFiles::Compact() {
    for (int i = 0; i < kSlots; ++i) {
        if (files_[i].empty()) continue;
        const std::string lower = LowerCaseAnsi(files_[i]);
        for (int j = i + 1; j < kSlots; ++j)
            if (!files_[j].empty() && LowerCaseAnsi(files_[j]) == lower) files_[j].clear();
    }
    int to = 0;
    for (int from = 0; from < kSlots; ++from)
        if (!files_[from].empty()) {
            if (to != from) files_[to] = std::move(files_[from]);
            ++to;
        }
    for (int i = to; i < kSlots; ++i) files_[i].clear();
    if (menu_) Recaption();
}

void TRecentFiles::Recaption() {
    for (int i = 0; i < kSlots; ++i)
        if (entryItems_[i])
            entryItems_[i]->setText(QStringLiteral("&") + QString::fromStdString(HexId(i + 1)) +
                                    QStringLiteral(" ") + MenuText(files_[i]));
}

void TRecentFiles::RemoveItems() {
    if (!inserted_) return;
    if (menu_) {
        for (auto& item : entryItems_)
            if (item) menu_->removeAction(item);
        if (separator_) menu_->removeAction(separator_);
        if (clearItem_) menu_->removeAction(clearItem_);
    }
    inserted_ = false;
}

void TRecentFiles::RebuildMenu() {
    if (!menu_ || !separator_ || !clearItem_) return;
    Save();
    RemoveItems();
    const QList<QAction*> actions = menu_->actions();
    const int index = std::clamp(menuPos_, 0, static_cast<int>(actions.size()));
    QAction* before = index < actions.size() ? actions[index] : nullptr;
    // Inserting each before the same action gives: separator, entries 1..16, clear item.
    const int count = Count();
    separator_->setVisible(barBefore_ && count > 0);
    menu_->insertAction(before, separator_);
    for (int i = 0; i < kSlots; ++i) {
        entryItems_[i]->setVisible(!files_[i].empty() && i < maxItems_);
        menu_->insertAction(before, entryItems_[i]);
    }
    clearItem_->setVisible(includeClearItem_ && count > 0);
    menu_->insertAction(before, clearItem_);
    inserted_ = true;
}

void TRecentFiles::Save() {
    if (componentLoading_ || loading_) return;
    try {
        setting_.SetLocation(slroaming);
        const std::string section = "RecentFiles" + listName_;
        setting_.EraseSection(section);
        setting_.WriteInteger(section, "nToUse", maxItems_);
        for (int i = 1; i <= maxItems_; ++i) setting_.WriteString(section, HexId(i), files_[i - 1]);
    } catch (const std::exception&) {
        // The list in memory stays as it is; the next change tries again.
    }
}

void TRecentFiles::Load() {
    loading_ = true;
    try {
        setting_.SetLocation(slroaming);
        const std::string section = "RecentFiles" + listName_;
        SetMaxItems(setting_.ReadInteger(section, "nToUse", maxItems_));
        for (int i = 1; i <= maxItems_; ++i) {
            std::string file = setting_.ReadString(section, HexId(i), "");
            if (!FileExists(file)) file.clear();
            files_[i - 1] = file;
        }
        Compact();
    } catch (const std::exception&) {
        // An unreadable store leaves the list as it was.
    }
    loading_ = false;
}

void TRecentFiles::EntryClicked(int i) {
    const std::string file = files_[i - 1];
    if (FileExists(file)) {
        if (onClick_) {
            Add(file);
            // The file chosen, even when Add no longer accepts its drive and
            // another file stays at the top.
            onClick_(entryItems_[i - 1].data(), i, file);
        }
        return;
    }
    ShowMessageBox("Can't find \n" + file, "File not found", MB_OK | MB_ICONEXCLAMATION);
    files_[i - 1].clear();
    Compact();
    RebuildMenu();
}

void TRecentFiles::ClearClicked() {
    if (ShowMessageBox("Do you want to clear the list of recently used files?", "Clear list",
                       MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    Clear();
}

} // namespace ravlon
