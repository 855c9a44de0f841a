// Starts the program's six windows on a given audio back end (a simulated
// room running as fast as the windows consume it), answers message boxes and
// the loudspeaker warning, and removes everything at the end.
#pragma once

#include "app/application.h"
#include "core/recording/recording_file.h"
#include "measure/main_window.h"
#include "platform/filedialog.h"
#include "platform/messagebox.h"
#include "platform/network.h"
#include "platform/shellopen.h"
#include "views/decay_view.h"
#include "views/radius_view.h"
#include "views/response_view.h"
#include "views/reverberation_time_view.h"
#include "views/warning_dialog.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Channel 0 of a recording file, all of it.
inline std::vector<int16_t> ReadSamples(const std::string& name) {
    ravlon::TSMPfile f;
    EXPECT_TRUE(f.open_file(name, true)) << name;
    std::vector<int16_t> all;
    auto block = std::make_unique<ravlon::TSMPBlock>();
    for (;;) {
        f.read_block(0, *block);
        if (block->Count <= 0) break;
        all.insert(all.end(), block->Samples, block->Samples + block->Count);
    }
    f.close_file();
    return all;
}

struct ShownMessage {
    std::string text, caption;
    int flags;
};

class AppFixture : public ::testing::Test {
protected:
    void StartForms(const std::string& audio) { StartForms(ravlon::audio::MakeWaveBackend(audio)); }
    void StartForms(std::shared_ptr<ravlon::audio::WaveBackend> backend) {
        // Settings, recent files and the error log go to this test's own folders;
        // nothing is opened in a browser and no version check goes out.
        std::string home = TempDir() + "/home";
        std::filesystem::create_directories(home);
        qputenv("HOME", home.c_str());
        qputenv("XDG_CONFIG_HOME", (home + "/.config").c_str());
        qputenv("XDG_DATA_HOME", (home + "/.local/share").c_str());
        ravlon::SetConnectionStateHandler([] { return false; });
        ravlon::SetShellOpenHandler([this](const std::string& target) {
            opened.push_back(target);
            return true;
        });
        ravlon::SetMessageBoxHandler([this](const std::string& t, const std::string& c, int f) {
            // The first start asks whether to check for new versions: no.
            if (c == "Version check") return ravlon::IDNO;
            messages.push_back({t, c, f});
            if (t == kUnsavedQuestion) return static_cast<ravlon::MessageBoxResult>(unsavedAnswer);
            return ravlon::IDOK;
        });
        // File dialogs take the next prepared answer; none left: cancelled.
        ravlon::SetFileDialogHandler([this](const ravlon::FileDialogRequest& r) {
            dialogs.push_back(r.caption);
            if (fileAnswers.empty()) return std::string();
            std::string name = fileAnswers.front();
            fileAnswers.erase(fileAnswers.begin());
            return name;
        });
        windows = CreateForms(std::move(backend));
        Form1 = windows->Form1.get();
        Form2 = windows->Form2.get();
        Form3 = windows->Form3.get();
        Form4 = windows->Form4.get();
        Form5 = windows->Form5.get();
        Form6 = windows->Form6.get();
    }
    void TearDown() override {
        if (Form1) Form1->close();
        windows.reset();
        Form1 = nullptr;
        Form2 = nullptr;
        Form3 = nullptr;
        Form4 = nullptr;
        Form5 = nullptr;
        Form6 = nullptr;
        ravlon::SetMessageBoxHandler(nullptr);
        ravlon::SetFileDialogHandler(nullptr);
        ravlon::SetConnectionStateHandler(nullptr);
        ravlon::SetShellOpenHandler(nullptr);
        std::error_code ec;
        if (!dir.empty()) std::filesystem::remove_all(dir, ec);
    }
    // A folder for this test's files.
    std::string TempDir() {
        if (dir.empty()) {
            dir = std::filesystem::temp_directory_path() /
                  ("ravlon-app-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
            std::filesystem::create_directories(dir);
        }
        return dir.string();
    }
    // Presses "Run!"; when the warning appears, ticks its box if tick is set and presses OK.
    void PressRun(bool tick = true) {
        WatchWarning([this] { Form1->RunAction->trigger(); }, tick);
    }
    // Runs action; warningShown tells whether the loudspeaker warning appeared
    // meanwhile (it is answered with OK, its box ticked if tick is set).
    void WatchWarning(const std::function<void()>& action, bool tick = true) {
        warningShown = false;
        QTimer timer;
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [&, tick] {
            if (Form5 && Form5->isVisible()) {
                warningShown = true;
                if (tick) Form5->nowarncheck->setChecked(true);
                Form5->Button1->click();
            }
        });
        timer.start();
        action();
        timer.stop();
    }
    // Texts of the message boxes shown so far, joined by newlines.
    std::string MessageTexts() const {
        std::string all;
        for (const auto& m : messages) all += m.text + "\n";
        return all;
    }
    // Runs the event loop until done() or the time limit; false on timeout.
    bool WaitFor(const std::function<bool()>& done, int ms = 120000) {
        QElapsedTimer t;
        t.start();
        while (!done()) {
            if (t.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return true;
    }
    // Completed cycles since the run started (one repaint request per cycle,
    // one more for the set-up).
    bool WaitForCycles(uint64_t cycles) {
        uint64_t start = Form1->Store().RepaintRequests();
        return WaitFor([&] { return Form1->Store().RepaintRequests() >= start + cycles; });
    }

    // The program's windows, as the application wires them.
    std::unique_ptr<RavlonWindows> windows;
    TForm1* Form1 = nullptr;
    TForm2* Form2 = nullptr;
    TForm3* Form3 = nullptr;
    TForm4* Form4 = nullptr;
    TForm5* Form5 = nullptr;
    TForm6* Form6 = nullptr;
    static constexpr const char* kUnsavedQuestion =
        "The recording of the last run is not saved. Save it?";
    std::vector<ShownMessage> messages;
    int unsavedAnswer = ravlon::IDNO;
    std::vector<std::string> fileAnswers;
    std::vector<std::string> dialogs;
    std::vector<std::string> opened;
    bool warningShown = false;
    std::filesystem::path dir;
};
