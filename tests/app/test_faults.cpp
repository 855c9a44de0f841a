// Faults a user can hit during a measurement: a full disk, a device that
// refuses to start or fails mid-run, the temporary recording deleted by a
// cleaner, a recording about to be discarded unsaved. Each ends in a message
// and a recording that can still be saved.
#include "app_fixture.h"

#include "core/recording/recording_file.h"
#include "platform/audio/queued_stream.h"
#include "platform/audio/room_backend.h"
#include "services/recent_files.h"

#include <QLineEdit>

#include <fstream>
#include <optional>
#include <sys/mount.h>
#include <unistd.h>

using namespace ravlon;

namespace {

// The simulated room, with an input that can be told to refuse, and access
// to the open streams so that a test can make them fail.
class ScriptedRoom : public audio::WaveBackend {
public:
    explicit ScriptedRoom(const std::string& settings)
        : room_(std::make_shared<audio::RoomBackend>(settings)) {}
    std::vector<std::string> deviceNames(audio::Direction dir) override {
        return room_->deviceNames(dir);
    }
    std::unique_ptr<audio::WaveStream> open(audio::Direction dir, const audio::WaveFormat& f,
                                            audio::MessageWindow& w, std::string& error) override {
        if (dir == audio::Direction::Input && !refuseInput.empty()) {
            error = refuseInput;
            return nullptr;
        }
        auto s = room_->open(dir, f, w, error);
        (dir == audio::Direction::Input ? input : output) =
            static_cast<audio::QueuedStream*>(s.get());
        return s;
    }
    std::string refuseInput;
    audio::QueuedStream* input = nullptr; // valid while the main window's input is open
    audio::QueuedStream* output = nullptr;

private:
    std::shared_ptr<audio::RoomBackend> room_;
};

} // namespace

class Faults : public AppFixture {
protected:
    void TearDown() override {
        AppFixture::TearDown();
        if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
        if (oldTmp_)
            qputenv("TMPDIR", *oldTmp_);
        else
            qunsetenv("TMPDIR");
    }
    // A small file system as the temporary folder; false (and the test
    // skips) where it cannot be mounted.
    bool SmallTempFolder(const std::string& options) {
        if (::geteuid() != 0) return false;
        std::string dir = TempDir() + "/tmpfs";
        std::filesystem::create_directories(dir);
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) != 0) return false;
        mounted_ = dir;
        if (qEnvironmentVariableIsSet("TMPDIR")) oldTmp_ = qgetenv("TMPDIR");
        qputenv("TMPDIR", dir.c_str());
        return true;
    }
    // Fills the small file system up to `leave` bytes.
    void Fill(const std::string& name, std::size_t leave) {
        const auto space = std::filesystem::space(mounted_);
        std::ofstream out(mounted_ + "/" + name, std::ios::binary);
        std::vector<char> chunk(4096, 'x');
        for (std::size_t left = space.available - std::min(space.available, leave); left >= 4096;
             left -= 4096)
            out.write(chunk.data(), 4096);
    }
    void RecordCycles(int cycles) {
        PressRun();
        ASSERT_TRUE(Form1->Running);
        ASSERT_TRUE(WaitForCycles(cycles));
        Form1->RunAction->trigger();
        ASSERT_FALSE(Form1->Running);
    }
    std::string mounted_;
    std::optional<QByteArray> oldTmp_;
};

TEST_F(Faults, FullDiskStopsTheRunAndWhatWasWrittenCanBeSaved) {
    if (!SmallTempFolder("size=1m")) GTEST_SKIP() << "needs root to mount a small tmpfs";
    StartForms("room:t60=0.3,pace=fast");
    std::vector<int16_t> delivered;
    auto fetch = Form1->MPCRecord1.OnFetch;
    Form1->MPCRecord1.OnFetch = [&](TWaveChunk& arr, int used, bool& last) {
        delivered.insert(delivered.end(), arr.begin(), arr.begin() + used);
        fetch(arr, used, last);
    };
    Fill("filler", 200 * 1024); // about 2 s of recording fit
    PressRun();
    ASSERT_TRUE(WaitFor([this] { return !Form1->Running; }, 60000)) << "the run did not stop";
    ASSERT_TRUE(WaitFor([&] { return !messages.empty(); }, 5000));
    const std::string text = messages.back().text;
    EXPECT_EQ(text.rfind("Disk full: the recording holds the first ", 0), 0u) << text;
    EXPECT_NE(text.find(" s were not written."), std::string::npos) << text;
    EXPECT_FALSE(Form1->MPCPlay1.Active());
    EXPECT_FALSE(Form1->MPCRecord1.Active());

    // What reached the disk is saved elsewhere, and it is what was recorded.
    const std::string saved = TempDir() + "/kept.ravlon";
    ASSERT_TRUE(Form1->SaveRecording(saved)) << MessageTexts();
    const std::vector<int16_t> kept = ReadSamples(saved);
    ASSERT_GT(kept.size(), 48000u);
    ASSERT_LT(kept.size(), delivered.size());
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), delivered.begin()));

    // With no room at all the next run is refused with the reason, and the
    // last recording stays.
    Fill("filler2", 0);
    const std::string last = Form1->TmpFileName;
    messages.clear();
    unsavedAnswer = IDNO;
    PressRun();
    EXPECT_FALSE(Form1->Running);
    EXPECT_NE(MessageTexts().find("temporary"), std::string::npos) << MessageTexts();
    EXPECT_EQ(Form1->TmpFileName, last);
    EXPECT_EQ(ReadSamples(last), kept);
}

TEST_F(Faults, RefusedDeviceKeepsTheLastRunAndTheNextStartWorks) {
    auto room = std::make_shared<ScriptedRoom>("t60=0.3,pace=fast");
    StartForms(room);
    RecordCycles(2);
    const std::string last = Form1->TmpFileName;
    const std::vector<int16_t> recorded = ReadSamples(last);
    const std::vector<double> store(Form1->Store().SpecSumData().begin(),
                                    Form1->Store().SpecSumData().end());
    ASSERT_FALSE(recorded.empty());

    room->refuseInput = "device busy";
    Form1->sfedit->setText("44100");
    messages.clear();
    PressRun();
    EXPECT_FALSE(Form1->Running);
    EXPECT_NE(MessageTexts().find("device busy"), std::string::npos) << MessageTexts();
    // Both components are closed again, the last run is untouched and still unsaved.
    EXPECT_FALSE(Form1->MPCPlay1.Active());
    EXPECT_FALSE(Form1->MPCRecord1.Active());
    EXPECT_EQ(Form1->TmpFileName, last);
    EXPECT_EQ(ReadSamples(last), recorded);
    EXPECT_EQ(Form1->Store().SampFreq(), 48000);
    EXPECT_TRUE(std::equal(store.begin(), store.end(), Form1->Store().SpecSumData().begin(),
                           Form1->Store().SpecSumData().end()));
    EXPECT_TRUE(Form1->Unsaved());

    room->refuseInput.clear();
    messages.clear();
    PressRun();
    EXPECT_TRUE(Form1->Running) << MessageTexts();
    EXPECT_EQ(Form1->Store().SampFreq(), 44100);
    EXPECT_FALSE(std::filesystem::exists(last));
    Form1->RunAction->trigger();
}

TEST_F(Faults, DeviceFailingMidRunEndsTheRunWithTheRecordingKept) {
    auto room = std::make_shared<ScriptedRoom>("t60=0.3,pace=fast");
    StartForms(room);
    PressRun();
    ASSERT_TRUE(WaitForCycles(1));
    ASSERT_NE(room->input, nullptr);
    room->input->deviceFailed("the microphone was unplugged");
    ASSERT_TRUE(WaitFor([this] { return !Form1->Running; }, 10000));
    EXPECT_NE(MessageTexts().find("the microphone was unplugged"), std::string::npos)
        << MessageTexts();
    EXPECT_FALSE(Form1->MPCPlay1.Active());
    EXPECT_FALSE(Form1->RunAction->isChecked());
    EXPECT_GE(ReadSamples(Form1->TmpFileName).size(), 144384u);
    EXPECT_TRUE(Form1->Unsaved());
}

TEST_F(Faults, UnsavedRecordingIsOfferedBeforeItIsDiscarded) {
    StartForms("room:t60=0.3,pace=fast");
    RecordCycles(1);
    const std::string last = Form1->TmpFileName;

    // Cancel keeps everything: no new run, no opened file.
    unsavedAnswer = IDCANCEL;
    PressRun();
    EXPECT_FALSE(Form1->Running);
    EXPECT_EQ(Form1->TmpFileName, last);
    fileAnswers = {TempDir() + "/other.ravlon"};
    Form1->openfileaction->trigger();
    EXPECT_EQ(Form1->TmpFileName, last);
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(),
                            [](const ShownMessage& m) { return m.text == kUnsavedQuestion; }),
              2);

    // Yes saves first (through the save dialog), then the program closes.
    const std::string saved = TempDir() + "/kept.ravlon";
    unsavedAnswer = IDYES;
    fileAnswers = {saved};
    Form1->close();
    EXPECT_FALSE(Form1->isVisible());
    EXPECT_GE(ReadSamples(saved).size(), 144384u);
    EXPECT_EQ(Form1->RecentFiles1->File(1), saved);
    EXPECT_FALSE(std::filesystem::exists(last));
}

TEST_F(Faults, TemporaryRecordingDeletedDuringARunIsRestored) {
    StartForms("room:t60=0.3,pace=fast");
    std::vector<int16_t> delivered;
    auto fetch = Form1->MPCRecord1.OnFetch;
    Form1->MPCRecord1.OnFetch = [&](TWaveChunk& arr, int used, bool& last) {
        delivered.insert(delivered.end(), arr.begin(), arr.begin() + used);
        fetch(arr, used, last);
    };
    PressRun();
    ASSERT_TRUE(WaitForCycles(1));
    const std::string first = Form1->TmpFileName;
    std::filesystem::remove(first);
    ASSERT_TRUE(WaitForCycles(2));
    Form1->RunAction->trigger();
    EXPECT_NE(Form1->TmpFileName, first);
    EXPECT_NE(Form1->StatusText().find("restored"), std::string::npos) << Form1->StatusText();
    const std::string saved = TempDir() + "/whole.ravlon";
    ASSERT_TRUE(Form1->SaveRecording(saved)) << MessageTexts();
    EXPECT_EQ(ReadSamples(saved), delivered);
}
