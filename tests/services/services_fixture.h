// A sandbox for the services tests: the user's and the system's folders, the
// program file and every dialog or desktop call are redirected, so no test
// touches the real configuration, shows a window or opens a browser.
#pragma once

#include "platform/drivetype.h"
#include "platform/folders.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "platform/shellopen.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace ravlon::test {

struct ShownMessage {
    std::string text;
    std::string caption;
    int flags = 0;
};

class ServicesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp_.isValid());
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "HOME"})
            saved_[name] = qgetenv(name);
        qputenv("XDG_CONFIG_HOME", Dir("config").toUtf8());
        qputenv("XDG_DATA_HOME", Dir("data").toUtf8());
        qputenv("XDG_CONFIG_DIRS", Dir("sysconfig").toUtf8());
        qputenv("XDG_DATA_DIRS", Dir("sysdata").toUtf8());
        qputenv("HOME", Dir("home").toUtf8());
        SetSystemFolderOverride(Dir("system").toStdString());
        SetProgramFileOverride(Dir("prog").toStdString() + "/ravlon");
        SetMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, int flags) {
                messages.push_back({text, caption, flags});
                return answer;
            });
        SetShellOpenHandler([this](const std::string& target) {
            opened.push_back(target);
            return true;
        });
        SetConnectionStateHandler([] { return true; });
        SetDriveTypeResolver([](const std::string&) { return DriveType::Fixed; });
    }

    void TearDown() override {
        SetSystemFolderOverride("");
        SetProgramFileOverride("");
        SetMessageBoxHandler({});
        SetShellOpenHandler({});
        SetConnectionStateHandler({});
        SetDriveTypeResolver({});
        SetSpecialFolderLookup({});
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name.c_str());
            else
                qputenv(name.c_str(), value);
        }
    }

    // A folder inside the sandbox, created.
    QString Dir(const QString& name) const {
        const QString path = tmp_.path() + "/" + name;
        QDir().mkpath(path);
        return path;
    }
    std::string Path(const QString& name) const { return (tmp_.path() + "/" + name).toStdString(); }

    // Creates a file with some content and returns its path.
    std::string MakeFile(const QString& name, const QByteArray& content = "x") const {
        const QString path = tmp_.path() + "/" + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path.toStdString();
    }

    static std::string ReadAll(const std::string& path) {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly)) return {};
        return file.readAll().toStdString();
    }

    std::vector<ShownMessage> messages;
    std::vector<std::string> opened;
    int answer = IDOK;

private:
    QTemporaryDir tmp_;
    std::map<std::string, QByteArray> saved_;
};

} // namespace ravlon::test
