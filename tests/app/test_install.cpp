// `cmake --install` into a temporary prefix: the program, the manual, the menu
// entry, the icon and the file type of recordings land where the desktop
// looks for them, and the desktop's own tools accept them.
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ProcessRun {
    int code = -1;
    QString output;
};

ProcessRun Execute(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    ProcessRun r;
    if (!p.waitForFinished(120000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

class Install : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        prefix_ = new QTemporaryDir;
        installed_ =
            Execute(RAVLON_CMAKE, {"--install", RAVLON_BUILD_DIR, "--prefix", prefix_->path()});
    }
    static void TearDownTestSuite() {
        delete prefix_;
        prefix_ = nullptr;
    }
    void SetUp() override { ASSERT_EQ(installed_.code, 0) << installed_.output.toStdString(); }
    static QString Path(const QString& relative) { return prefix_->filePath(relative); }

    inline static QTemporaryDir* prefix_ = nullptr;
    inline static ProcessRun installed_;
};

TEST_F(Install, FilesLandWhereTheDesktopLooks) {
    // The Help menu finds the manual at ../share/doc/ravlon from the program.
    for (const char* file :
         {"bin/ravlon", "bin/ravlon-analyze", "share/doc/ravlon/ravlon.html",
          "share/applications/ravlon.desktop", "share/icons/hicolor/scalable/apps/ravlon.svg",
          "share/mime/packages/ravlon.xml"})
        EXPECT_TRUE(QFileInfo(Path(file)).size() > 100) << file;
    EXPECT_TRUE(QFileInfo(Path("bin/ravlon")).isExecutable());
}

TEST_F(Install, DesktopEntryPassesDesktopFileValidate) {
    const QString tool = QStandardPaths::findExecutable("desktop-file-validate");
    if (tool.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is missing (Debian package desktop-file-utils)";
    const ProcessRun r = Execute(tool, {Path("share/applications/ravlon.desktop")});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.output.trimmed().isEmpty()) << r.output.toStdString();
}

TEST_F(Install, RecordingsAreKnownByNameAndByTheirHeader) {
    if (!QFileInfo(Path("share/mime/mime.cache")).exists())
        GTEST_SKIP() << "update-mime-database is missing (Debian package shared-mime-info)";
    // The desktop's database of this prefix only: Qt reads XDG_DATA_DIRS once.
    qputenv("XDG_DATA_HOME", Path("nothing").toUtf8());
    qputenv("XDG_DATA_DIRS", Path("share").toUtf8());
    QMimeDatabase db;
    EXPECT_EQ(db.mimeTypeForFile("hall.ravlon", QMimeDatabase::MatchExtension).name(),
              "application/x-ravlon-recording");
    const QByteArray header = "head=1024\r\nfile=samp\r\nsftot=48000\r\n";
    EXPECT_EQ(db.mimeTypeForData(header).name(), "application/x-ravlon-recording");
    EXPECT_NE(db.mimeTypeForData(QByteArray("head=1024\r\nfile=other\r\n")).name(),
              "application/x-ravlon-recording");
    // A double click opens them with Ravlon.
    QFile cache(Path("share/applications/mimeinfo.cache"));
    if (cache.open(QIODevice::ReadOnly)) {
        EXPECT_TRUE(cache.readAll().contains("application/x-ravlon-recording=ravlon.desktop"));
    }
}

} // namespace
