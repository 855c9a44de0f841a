// About box: lines, layout, pictures and their double clicks.
#include "services_fixture.h"

#include "core/base/numtext.h"
#include "platform/sysinfo.h"
#include "services/about_box.h"

#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace ravlon::test {
namespace {

TEST_F(ServicesTest, AboutDefaultsAndAutoValues) {
    TOstrelAbout about;
    EXPECT_EQ(about.Title(), "AppName");
    EXPECT_EQ(about.Version(), "auto");
    EXPECT_EQ(about.OSVersions(), OSVersionsText());
    EXPECT_FALSE(about.ShowAOstrel());
    about.SetRevision("auto");
    about.Loaded();
    EXPECT_EQ(about.Version(), "3.0");
    EXPECT_EQ(about.Revision(), "");
    EXPECT_DOUBLE_EQ(about.VersionNumber(), 3.0);
    about.SetVersion("1.0.0.0");
    EXPECT_DOUBLE_EQ(about.VersionNumber(), 0.0);
    about.SetVersion("");
    EXPECT_DOUBLE_EQ(about.VersionNumber(), 0.0);
}

TEST_F(ServicesTest, AboutLinesShowTheTexts) {
    TOstrelAbout about;
    about.SetTitle("Ravlon");
    about.SetVersion("1.0.0.0");
    about.SetOSVersions("Windows");
    about.Loaded();
    EXPECT_EQ(about.VersionLabel()->text().toStdString(), "Version 1.0.0.0 for Windows");
    about.SetRevision("b");
    EXPECT_EQ(about.VersionLine(), "Version 1.0.0.0b for Windows");
    EXPECT_EQ(about.TitleLabel()->text().toStdString(), "Ravlon");
    EXPECT_EQ(about.TitleLabel()->textFormat(), Qt::PlainText);
    const double mib = static_cast<double>(PhysicalMemoryBytes()) / 1024.0 / 1024.0;
    EXPECT_EQ(about.MemoryLabel()->text().toStdString(),
              "Physical memory: " + FormatFloat("#.#", mib) + " MiB");
    EXPECT_EQ(about.CompileDateLabel()->text().toStdString(),
              "Compiled " + CompileDateText() + " 00:00:00");
    EXPECT_EQ(about.FamilyLabel()->text().toStdString(), "A Ostrel application");
    EXPECT_EQ(about.OkButton()->text().toStdString(), "&Ok");
    EXPECT_EQ(about.Dialog()->windowTitle().toStdString(), "About");
}

TEST_F(ServicesTest, AboutHidesEmptyExtraAndFollowsTheSwitches) {
    TOstrelAbout about;
    about.Loaded();
    EXPECT_TRUE(about.ExtraLabel()->isHidden());
    EXPECT_TRUE(about.FamilyLabel()->isHidden());
    const int buttonTop = about.OkButton()->y();
    about.SetExtra("Beta build");
    EXPECT_FALSE(about.ExtraLabel()->isHidden());
    EXPECT_EQ(about.ExtraLabel()->text().toStdString(), "Beta build");
    EXPECT_GT(about.OkButton()->y(), buttonTop);
    about.SetShowAOstrel(true);
    EXPECT_FALSE(about.FamilyLabel()->isHidden());
    about.SetShowCompileDate(false);
    EXPECT_TRUE(about.CompileDateLabel()->isHidden());
    about.SetExtra("");
    EXPECT_TRUE(about.ExtraLabel()->isHidden());
}

TEST_F(ServicesTest, AboutLayoutPlacesTheParts) {
    TOstrelAbout about;
    about.Loaded();
    const QDialog* dialog = about.Dialog();
    // 410 pixels wide where the texts fit; the picture panel 10 pixels in.
    EXPECT_EQ(dialog->width(), 410);
    EXPECT_EQ(about.PictureImage()->geometry(), QRect(4, 4, 153, 225));
    EXPECT_EQ(about.PictureImage()->parentWidget()->x(), 10);
    // The icon at the top right, the title centred over the lines, the
    // default button centred under them.
    EXPECT_EQ(about.IconImage()->geometry(), QRect(dialog->width() - 10 - 41, 9, 41, 37));
    const QRect version = about.VersionLabel()->geometry();
    EXPECT_NEAR(about.TitleLabel()->geometry().center().x(), version.center().x(), 1);
    EXPECT_GE(about.OkButton()->width(), 75);
    EXPECT_GE(about.OkButton()->height(), 25);
    EXPECT_NEAR(about.OkButton()->geometry().center().x(), version.center().x(), 1);
    EXPECT_TRUE(about.OkButton()->isDefault());
    EXPECT_GE(dialog->height(), about.OkButton()->geometry().bottom() + 1 + 10);
    // Lines stack under each other without overlapping, all as wide.
    int previousBottom = about.TitleLabel()->geometry().bottom();
    for (const QLabel* line : {about.VersionLabel(), about.CopyrightLabel(),
                               about.CompileDateLabel(), about.MemoryLabel()}) {
        EXPECT_GT(line->y(), previousBottom);
        EXPECT_LE(line->y(), previousBottom + 5);
        EXPECT_EQ(line->x(), version.x());
        EXPECT_EQ(line->width(), version.width());
        previousBottom = line->geometry().bottom();
    }
    EXPECT_GT(about.OkButton()->y(), previousBottom);
    const QImage picture = DrawFamilyPicture(true);
    EXPECT_EQ(picture.size(), QSize(153, 225));
    EXPECT_EQ(picture.format(), QImage::Format_Indexed8);
    EXPECT_LE(picture.colorCount(), 256);
}

TEST_F(ServicesTest, AboutDoubleClicksCallTheirHandlers) {
    TOstrelAbout about;
    about.Loaded();
    // Nothing registered: nothing happens.
    QTest::mouseDClick(about.PictureImage(), Qt::LeftButton);
    int pictureClicks = 0;
    about.SetPictureCallback([&] { ++pictureClicks; });
    QTest::mouseDClick(about.PictureImage(), Qt::LeftButton);
    EXPECT_EQ(pictureClicks, 1);
    QObject* eggSender = nullptr;
    about.OnEggClick = [&](QObject* sender) { eggSender = sender; };
    QTest::mouseDClick(about.IconImage(), Qt::LeftButton);
    EXPECT_EQ(eggSender, &about);
    EXPECT_EQ(pictureClicks, 1);
}

TEST_F(ServicesTest, AboutShowsModallyAndOkCloses) {
    TOstrelAbout about;
    about.Loaded();
    QTimer::singleShot(0, about.OkButton(), [&] { about.OkButton()->click(); });
    EXPECT_EQ(about.showmodal(), QDialog::Accepted);
}

} // namespace
} // namespace ravlon::test
