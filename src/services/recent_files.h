// TRecentFiles (unit srecent): the list of recently used files shown as numbered entries in
// a menu (the main window's File menu). It reopens a file through OnClick and
// keeps the list between runs in its own settings store (section
// "RecentFiles" + ListName of the roaming INI file of ProgId).
// Ownership: the entry, separator and clear actions belong to Menu; the
// component never owns Menu or ProgId. UI thread only.
#pragma once

#include "services/program_id.h"
#include "services/settings.h"

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>

#include <array>
#include <functional>
#include <string>

namespace ravlon {

class TRecentFiles : public QObject {
    Q_OBJECT
public:
    static constexpr int kSlots = 16;

    // sender: the clicked menu action; itemNo: its 1-based place when
    // clicked; fileName: the full path of that entry (now at the top of the
    // list when its drive type is still allowed).
    using RecentFileEvent =
        std::function<void(QObject* sender, int itemNo, const std::string& fileName)>;

    // The values of a new component: MaxItems 5, MenuPos 100, BarBefore and
    // IncludeClearItem true, ClearCaption "&Clear list...", files accepted on
    // fixed and remote drives only. Until Loaded() the setters only store.
    explicit TRecentFiles(QObject* parent = nullptr);
    // Takes its entries out of Menu.
    ~TRecentFiles() override;

    QMenu* Menu() const { return menu_; }
    // Outside loading this sets the component up on the new menu (as Loaded()).
    void SetMenu(QMenu* menu);
    int MaxItems() const { return maxItems_; }
    void SetMaxItems(int value); // clamped to 0..15
    int MenuPos() const { return menuPos_; }
    void SetMenuPos(int value) { menuPos_ = value; }
    const RecentFileEvent& OnClick() const { return onClick_; }
    void SetOnClick(RecentFileEvent handler) { onClick_ = std::move(handler); }
    bool BarBefore() const { return barBefore_; }
    void SetBarBefore(bool value);
    bool IncludeClearItem() const { return includeClearItem_; }
    void SetIncludeClearItem(bool value);
    const std::string& ClearCaption() const { return clearCaption_; }
    void SetClearCaption(const std::string& value);
    bool AllowFileOnRemovable() const { return allowRemovable_; }
    void SetAllowFileOnRemovable(bool value) { allowRemovable_ = value; }
    bool AllowFileOnRemote() const { return allowRemote_; }
    void SetAllowFileOnRemote(bool value) { allowRemote_ = value; }
    bool AllowFileOnFixed() const { return allowFixed_; }
    void SetAllowFileOnFixed(bool value) { allowFixed_ = value; }
    bool AllowFileOnCDROM() const { return allowCDROM_; }
    void SetAllowFileOnCDROM(bool value) { allowCDROM_ = value; }
    bool AllowFileOnRAMDisk() const { return allowRAMDisk_; }
    void SetAllowFileOnRAMDisk(bool value) { allowRAMDisk_ = value; }
    const std::string& ListName() const { return listName_; }
    void SetListName(const std::string& value) { listName_ = value; }
    TProgId* ProgId() const { return progId_; }
    void SetProgId(TProgId* value) { progId_ = value; }

    // End of loading: checks ProgId (ESettingError "Nothing assigned to
    // <name>.ProgId"), creates the menu actions, loads the list (dropping
    // files that no longer exist) and builds the menu, which saves the list.
    void Loaded();

    // Puts a file at the top of the list (when its drive type is allowed); a
    // file already listed (compared without regard to case) moves there.
    // The owner adds every file it opened or saved.
    void Add(const std::string& fileName);
    // Takes a file off the list (compared without regard to case), as the owner
    // does for a file that failed to open; the list is saved.
    void Remove(const std::string& fileName);
    // Empties the list.
    void Clear();
    // Non-empty entries among 1..MaxItems.
    int Count() const;
    // Entry i (1..16), empty when none.
    std::string File(int i) const;

    // The menu actions (null before they are created); entry i is 1..16.
    QAction* EntryItem(int i) const;
    QAction* Separator() const { return separator_; }
    QAction* ClearItem() const { return clearItem_; }

private:
    bool Accepted(const std::string& fullPath) const;
    void ForgetEntry(const std::string& fullPath);
    void Compact();
    void Recaption();
    void RebuildMenu();
    void RemoveItems();
    void Save();
    void Load();
    void SetUp();
    void EntryClicked(int i);
    void ClearClicked();

    QPointer<QMenu> menu_;
    int maxItems_ = 5;
    int menuPos_ = 100;
    RecentFileEvent onClick_;
    bool barBefore_ = true;
    bool includeClearItem_ = true;
    std::string clearCaption_ = "&Clear list...";
    bool allowRemovable_ = false;
    bool allowRemote_ = true;
    bool allowFixed_ = true;
    bool allowCDROM_ = false;
    bool allowRAMDisk_ = false;
    std::string listName_;
    QPointer<TProgId> progId_;

    std::array<std::string, kSlots> files_;
    std::array<QPointer<QAction>, kSlots> entryItems_;
    QPointer<QAction> separator_;
    QPointer<QAction> clearItem_;
    bool inserted_ = false;
    bool componentLoading_ = true; // until Loaded()
    bool loading_ = false;         // while the list is read
    TSetting setting_;
};

} // namespace ravlon
