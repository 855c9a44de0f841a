// Recent files: order, limits, persistence, missing files and the menu items.
#include "services_fixture.h"

#include "platform/inifile.h"
#include "services/recent_files.h"

#include <QAction>
#include <QMenu>

#include <memory>

namespace ravlon::test {
namespace {

class RecentFilesTest : public ServicesTest {
protected:
    void SetUp() override {
        ServicesTest::SetUp();
        progId.SetProductName("Ravlon");
        progId.SetAutoVersion(false);
        progId.SetVersion("1.0.0.0");
        fileMenu.addAction("Open recording...");
        fileMenu.addAction("Save recording...");
        fileMenu.addSeparator();
        fileMenu.addAction("E&xit");
        recent = MakeList();
    }

    // A list with the main window's values, loaded.
    std::unique_ptr<TRecentFiles> MakeList() {
        auto list = std::make_unique<TRecentFiles>();
        list->setObjectName("RecentFiles1");
        list->SetMenu(&fileMenu);
        list->SetMaxItems(9);
        list->SetMenuPos(2);
        list->SetProgId(&progId);
        list->SetOnClick([this](QObject* sender, int itemNo, const std::string& fileName) {
            clicks.push_back({sender, itemNo, fileName});
        });
        list->Loaded();
        return list;
    }

    std::string Recording(int n) { return MakeFile(QString("rec/file%1.ravlon").arg(n)); }

    std::string StoreFile() const {
        return Path("config") + "/GessumData/Ravlon/1.0.0.0/ravlon.ini";
    }

    // The visible texts of the File menu, top to bottom ("-" for a separator).
    std::vector<std::string> VisibleMenu() const {
        std::vector<std::string> texts;
        for (QAction* a : fileMenu.actions())
            if (a->isVisible()) texts.push_back(a->isSeparator() ? "-" : a->text().toStdString());
        return texts;
    }

    struct Click {
        QObject* sender;
        int itemNo;
        std::string fileName;
    };
    TProgId progId;
    QMenu fileMenu;
    std::unique_ptr<TRecentFiles> recent;
    std::vector<Click> clicks;
};

TEST_F(RecentFilesTest, EmptyListHidesSeparatorAndClearItem) {
    EXPECT_EQ(recent->Count(), 0);
    EXPECT_EQ(VisibleMenu(),
              (std::vector<std::string>{"Open recording...", "Save recording...", "-", "E&xit"}));
    recent->Add(Recording(1));
    EXPECT_EQ(VisibleMenu(),
              (std::vector<std::string>{"Open recording...", "Save recording...", "-",
                                        "&1 " + Recording(1), "&Clear list...", "-", "E&xit"}));
    answer = IDYES;
    recent->ClearItem()->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Do you want to clear the list of recently used files?");
    EXPECT_EQ(messages[0].caption, "Clear list");
    EXPECT_EQ(messages[0].flags, MB_YESNO | MB_ICONQUESTION);
    EXPECT_EQ(recent->Count(), 0);
    EXPECT_EQ(VisibleMenu().size(), 4u);
}

TEST_F(RecentFilesTest, ClearAnsweredNoKeepsTheList) {
    recent->Add(Recording(1));
    answer = IDNO;
    recent->ClearItem()->trigger();
    EXPECT_EQ(recent->Count(), 1);
}

TEST_F(RecentFilesTest, ReaddingTheThirdMovesItToTheTopIgnoringCase) {
    for (int i = 1; i <= 4; ++i) recent->Add(Recording(i));
    // List now: 4, 3, 2, 1. The third is file2.
    QString upper = QString::fromStdString(Recording(2));
    upper.replace("file2", "FILE2");
    recent->Add(upper.toStdString());
    EXPECT_EQ(recent->Count(), 4);
    EXPECT_EQ(recent->File(1), upper.toStdString());
    EXPECT_EQ(recent->File(2), Recording(4));
    EXPECT_EQ(recent->File(3), Recording(3));
    EXPECT_EQ(recent->File(4), Recording(1));
    EXPECT_EQ(recent->File(5), "");
}

TEST_F(RecentFilesTest, TenthFileDropsTheNinthFromMenuAndStore) {
    for (int i = 1; i <= 10; ++i) recent->Add(Recording(i));
    EXPECT_EQ(recent->Count(), 9);
    EXPECT_EQ(recent->File(1), Recording(10));
    EXPECT_EQ(recent->File(9), Recording(2));
    EXPECT_EQ(recent->File(10), ""); // beyond MaxItems stays empty
    for (int i = 1; i <= 9; ++i) EXPECT_TRUE(recent->EntryItem(i)->isVisible()) << i;
    EXPECT_FALSE(recent->EntryItem(10)->isVisible());
    const IniFile store(StoreFile());
    EXPECT_EQ(store.ReadInteger("RecentFiles", "nToUse", 0), 9);
    EXPECT_EQ(store.ReadString("RecentFiles", "9", ""), Recording(2));
    EXPECT_EQ(store.ReadString("RecentFiles", "A", "none"), "none");
    for (const ShownMessage& m : messages) ADD_FAILURE() << m.text;
}

TEST_F(RecentFilesTest, ReaddingInAFullListKeepsEveryOtherEntryAndRemoveTakesOneOff) {
    for (int i = 1; i <= 9; ++i) recent->Add(Recording(i));
    recent->Add(Recording(5));
    EXPECT_EQ(recent->Count(), 9);
    const std::vector<int> order = {5, 9, 8, 7, 6, 4, 3, 2, 1};
    for (int i = 1; i <= 9; ++i) EXPECT_EQ(recent->File(i), Recording(order[i - 1])) << i;

    QString upper = QString::fromStdString(Recording(8));
    upper.replace("file8", "FILE8");
    recent->Remove(upper.toStdString()); // a file that failed to open
    EXPECT_EQ(recent->Count(), 8);
    EXPECT_EQ(recent->File(3), Recording(7));
    EXPECT_EQ(IniFile(StoreFile()).ReadString("RecentFiles", "3", ""), Recording(7));
    recent->Remove(Recording(42)); // not listed: nothing changes
    EXPECT_EQ(recent->Count(), 8);
}

TEST_F(RecentFilesTest, ChoosingAnEntryWhoseDriveIsNoLongerAllowedOpensThatEntry) {
    for (int i = 1; i <= 3; ++i) recent->Add(Recording(i));
    SetDriveTypeResolver([](const std::string& path) {
        return path.find("file2") != std::string::npos ? DriveType::RAMDisk : DriveType::Fixed;
    });
    recent->EntryItem(2)->trigger();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].itemNo, 2);
    EXPECT_EQ(clicks[0].fileName, Recording(2));
}

TEST_F(RecentFilesTest, MaxItemsIsClampedAndShortensTheList) {
    recent->SetMaxItems(20);
    EXPECT_EQ(recent->MaxItems(), 15);
    for (int i = 1; i <= 12; ++i) recent->Add(Recording(i));
    EXPECT_EQ(recent->EntryItem(10)->text().toStdString(), "&A " + Recording(3));
    EXPECT_EQ(recent->EntryItem(12)->text().toStdString(), "&C " + Recording(1));
    EXPECT_EQ(IniFile(StoreFile()).ReadString("RecentFiles", "C", ""), Recording(1));
    recent->SetMaxItems(-3);
    EXPECT_EQ(recent->MaxItems(), 0);
    EXPECT_EQ(recent->Count(), 0);
    EXPECT_EQ(recent->File(1), "");
}

TEST_F(RecentFilesTest, StoredToUseOfThreeShowsOnlyTheFirstThree) {
    recent.reset();
    Dir("config/GessumData/Ravlon/1.0.0.0");
    IniFile store(StoreFile());
    store.WriteInteger("RecentFiles", "nToUse", 3);
    for (int i = 1; i <= 9; ++i) store.WriteString("RecentFiles", std::to_string(i), Recording(i));
    recent = MakeList();
    EXPECT_EQ(recent->MaxItems(), 3);
    EXPECT_EQ(recent->Count(), 3);
    EXPECT_EQ(recent->File(3), Recording(3));
    EXPECT_EQ(recent->File(4), "");
    EXPECT_EQ(IniFile(StoreFile()).ReadString("RecentFiles", "4", "none"), "none");
}

TEST_F(RecentFilesTest, PersistsAcrossARestartAndDropsVanishedFiles) {
    const std::string one = Recording(1);
    const std::string two = Recording(2);
    const std::string three = Recording(3);
    for (const std::string& file : {one, two, three}) recent->Add(file);
    recent.reset();
    QFile::remove(QString::fromStdString(two));
    recent = MakeList(); // a second start on the same store
    EXPECT_EQ(recent->Count(), 2);
    EXPECT_EQ(recent->File(1), three);
    EXPECT_EQ(recent->File(2), one);
    // The store was rewritten at once without the vanished file.
    const IniFile store(StoreFile());
    EXPECT_EQ(store.ReadString("RecentFiles", "2", ""), one);
    EXPECT_EQ(store.ReadString("RecentFiles", "3", "none"), ""); // empty slots are written too
    // The menu holds one set of entries, not one per start.
    EXPECT_EQ(VisibleMenu().size(), 8u);
}

TEST_F(RecentFilesTest, ChoosingAMissingFileReportsItAndRemovesIt) {
    recent->Add(Recording(1));
    recent->Add(Recording(2));
    const std::string missing = Recording(1);
    QFile::remove(QString::fromStdString(missing));
    recent->EntryItem(2)->trigger();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Can't find \n" + missing);
    EXPECT_EQ(messages[0].caption, "File not found");
    EXPECT_EQ(messages[0].flags, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(recent->Count(), 1);
    EXPECT_EQ(recent->File(1), Recording(2));
    EXPECT_TRUE(clicks.empty());
}

TEST_F(RecentFilesTest, ChoosingAFileMovesItUpAndReportsIt) {
    for (int i = 1; i <= 3; ++i) recent->Add(Recording(i));
    recent->EntryItem(3)->trigger();
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].itemNo, 3);
    EXPECT_EQ(clicks[0].fileName, Recording(1));
    EXPECT_EQ(clicks[0].sender, recent->EntryItem(3));
    EXPECT_EQ(recent->File(1), Recording(1));
    recent->SetOnClick({});
    recent->EntryItem(2)->trigger(); // without a handler nothing happens
    EXPECT_EQ(recent->File(1), Recording(1));
}

TEST_F(RecentFilesTest, DriveTypesFollowTheAllowFlags) {
    SetDriveTypeResolver([](const std::string& path) {
        if (path.find("cd") != std::string::npos) return DriveType::CDROM;
        if (path.find("ram") != std::string::npos) return DriveType::RAMDisk;
        if (path.find("net") != std::string::npos) return DriveType::Remote;
        if (path.find("stick") != std::string::npos) return DriveType::Removable;
        return DriveType::Unknown;
    });
    recent->Add("/media/cd/a.ravlon");
    recent->Add("/ram/a.ravlon");
    recent->Add("/stick/a.ravlon");
    EXPECT_EQ(recent->Count(), 0);
    recent->Add("/net/a.ravlon");
    recent->Add("/other/a.ravlon");
    EXPECT_EQ(recent->Count(), 2);
    recent->SetAllowFileOnCDROM(true);
    recent->Add("/media/cd/a.ravlon");
    EXPECT_EQ(recent->File(1), "/media/cd/a.ravlon");
    recent->Add("");
    EXPECT_EQ(recent->Count(), 3);
}

TEST_F(RecentFilesTest, AmpersandsInPathsAreShownLiterallyAndRelativeNamesExpanded) {
    const std::string odd = MakeFile("rec/R&D.ravlon");
    recent->Add(odd);
    EXPECT_EQ(recent->EntryItem(1)->text().toStdString(), "&1 " + Path("rec") + "/R&&D.ravlon");
    recent->Add("relative/../name.ravlon");
    EXPECT_EQ(recent->File(1), QDir::currentPath().toStdString() + "/name.ravlon");
}

TEST_F(RecentFilesTest, MissingProgIdIsReported) {
    TRecentFiles list;
    list.setObjectName("RecentFiles1");
    list.SetMenu(&fileMenu);
    try {
        list.Loaded();
        FAIL() << "no error";
    } catch (const ESettingError& e) {
        EXPECT_STREQ(e.what(), "Nothing assigned to RecentFiles1.ProgId");
    }
}

TEST_F(RecentFilesTest, ListNameKeepsListsApart) {
    recent->Add(Recording(1));
    auto other = std::make_unique<TRecentFiles>();
    QMenu otherMenu;
    other->SetMenu(&otherMenu);
    other->SetProgId(&progId);
    other->SetListName("Wav");
    other->Loaded();
    other->Add(Recording(2));
    const IniFile store(StoreFile());
    EXPECT_EQ(store.ReadString("RecentFiles", "1", ""), Recording(1));
    EXPECT_EQ(store.ReadString("RecentFilesWav", "1", ""), Recording(2));
    EXPECT_EQ(store.ReadInteger("RecentFilesWav", "nToUse", 0), 5);
}

} // namespace
} // namespace ravlon::test
