// The session manifest: written and read back the same (members it does not
// know kept), relative paths that survive moving the folder, and bad
// manifests that give a clear problem and open what they can.
#include "core/session/session_manifest.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

using namespace ravlon;
namespace fs = std::filesystem;

namespace {

class SessionManifest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("ravlon-manifest-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir / "room");
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const std::string& name) { std::ofstream(dir / "room" / name) << "x"; }
    void WriteManifest(const std::string& text) {
        std::ofstream(dir / "room" / kSessionManifest) << text;
    }
    TSession Session() {
        TSession s;
        s.Folder = (dir / "room").string();
        s.Info.Room = "Hall \"A\" – große Bühne";
        s.Info.Volume = 312.5;
        s.Info.Humidity = 45;
        s.Info.Notes = "line 1\nline 2";
        for (const char* label : {"P1", "P2"}) {
            TSessionPosition p;
            p.Label = label;
            p.Recording = PositionFileName(label);
            p.Date = "2024-05-01T10:12:00";
            p.OutputDevice = "Speakers";
            p.InputDevice = "USB mic";
            p.Settings = {48000, 500, "Hanning", 1, 1.5, 2, 12};
            Touch(p.Recording);
            s.Positions.push_back(p);
        }
        s.Positions[1].Included = false;
        return s;
    }
    fs::path dir;
};

void ExpectSame(const TSession& a, const TSession& b) {
    EXPECT_EQ(a.Info.Room, b.Info.Room);
    EXPECT_EQ(a.Info.Volume, b.Info.Volume);
    EXPECT_EQ(a.Info.Temperature, b.Info.Temperature);
    EXPECT_EQ(a.Info.Humidity, b.Info.Humidity);
    EXPECT_EQ(a.Info.Notes, b.Info.Notes);
    ASSERT_EQ(a.Positions.size(), b.Positions.size());
    for (size_t i = 0; i < a.Positions.size(); ++i) {
        const TSessionPosition &p = a.Positions[i], &q = b.Positions[i];
        EXPECT_EQ(p.Label, q.Label);
        EXPECT_EQ(p.Recording, q.Recording);
        EXPECT_EQ(p.Date, q.Date);
        EXPECT_EQ(p.OutputDevice, q.OutputDevice);
        EXPECT_EQ(p.InputDevice, q.InputDevice);
        EXPECT_EQ(p.Included, q.Included);
        EXPECT_EQ(p.Settings.SampFreq, q.Settings.SampFreq);
        EXPECT_EQ(p.Settings.Bandwidth, q.Settings.Bandwidth);
        EXPECT_EQ(p.Settings.Window, q.Settings.Window);
        EXPECT_EQ(p.Settings.Noise, q.Settings.Noise);
        EXPECT_EQ(p.Settings.Cycles, q.Settings.Cycles);
    }
}

TEST_F(SessionManifest, WrittenAndReadBackAlsoAfterTheFolderMoved) {
    const TSession written = Session();
    WriteSession(written);
    TSessionLoad load = ReadSession(written.Folder);
    EXPECT_TRUE(load.Problems.empty());
    EXPECT_FALSE(load.Session.Damaged);
    ExpectSame(load.Session, written);

    // The manifest names recordings relative to the folder: a moved folder opens.
    fs::rename(dir / "room", dir / "moved");
    load = ReadSession((dir / "moved" / kSessionManifest).string());
    EXPECT_TRUE(load.Problems.empty()) << load.Problems.front();
    EXPECT_EQ(load.Session.Folder, (dir / "moved").string());
    EXPECT_EQ(load.Session.RecordingPath(load.Session.Positions[0]),
              (dir / "moved" / "P1.ravlon").string());
    EXPECT_TRUE(load.Session.Positions[0].Present);
    EXPECT_EQ(load.Session.UsedPositions(), std::vector<int32_t>{0}); // P2 is excluded
}

TEST_F(SessionManifest, MembersOfALaterVersionAreKept) {
    Touch("a.ravlon");
    WriteManifest(R"({"room": "R", "future": {"x": [1, 2]},
        "positions": [{"recording": "a.ravlon", "label": "A", "mic_height_m": 1.2}]})");
    TSessionLoad load = ReadSession((dir / "room").string());
    ASSERT_TRUE(load.Problems.empty());
    WriteSession(load.Session);
    load = ReadSession((dir / "room").string());
    const std::string text = SessionJson(load.Session);
    EXPECT_NE(text.find("\"future\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"mic_height_m\": 1.2"), std::string::npos) << text;
}

TEST_F(SessionManifest, BadManifestsGiveAProblemAndOpenWhatTheyCan) {
    struct Case {
        const char* name;
        std::string manifest;
        std::vector<std::string> labels; // positions opened
        std::string problem;             // part of the first problem ("" none)
        bool damaged;                    // writing it back needs consent
    };
    Touch("P1.ravlon");
    Touch("P2.ravlon");
    const std::vector<Case> cases = {
        {"not JSON", "{\"room\": \"x\", positions: [", {"P1", "P2"}, "not valid JSON", true},
        {"not an object", "[1, 2]", {"P1", "P2"}, "no JSON object", true},
        {"missing recording",
         R"({"positions": [{"label": "P1", "recording": "P1.ravlon"},
                           {"label": "P9", "recording": "P9.ravlon"}]})",
         {"P1", "P9"},
         "the recording P9.ravlon is missing",
         false},
        {"listed twice",
         R"({"positions": [{"label": "P1", "recording": "P1.ravlon"},
                           {"label": "again", "recording": "./P1.ravlon"},
                           {"label": "P2", "recording": "P2.ravlon"}]})",
         {"P1", "P2"},
         "names the recording ./P1.ravlon again (as position \"P1\")",
         true},
        {"wrong types",
         R"({"room": 5, "volume_m3": "big", "positions": [{"recording": "P1.ravlon",
             "included": "yes"}, 7, {"label": "no file"}]})",
         {"P1"},
         "\"room\" is not a text",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteManifest(c.manifest);
        const TSessionLoad load = ReadSession((dir / "room").string());
        std::vector<std::string> labels;
        for (const TSessionPosition& p : load.Session.Positions) labels.push_back(p.Label);
        EXPECT_EQ(labels, c.labels);
        ASSERT_FALSE(load.Problems.empty());
        EXPECT_NE(load.Problems.front().find(c.problem), std::string::npos)
            << load.Problems.front();
        EXPECT_EQ(load.Session.Damaged, c.damaged);
    }
    // A missing position is listed, not analysed.
    WriteManifest(cases[2].manifest);
    const TSessionLoad load = ReadSession((dir / "room").string());
    EXPECT_FALSE(load.Session.Positions[1].Present);
    EXPECT_EQ(load.Session.UsedPositions(), std::vector<int32_t>{0});

    // No session at all: an error that says so.
    fs::remove(dir / "room" / kSessionManifest);
    EXPECT_THROW(ReadSession((dir / "room").string()), ESessionError);
    EXPECT_THROW(ReadSession((dir / "nowhere").string()), ESessionError);
}

TEST_F(SessionManifest, FileNamesAndLabelsForNewPositions) {
    EXPECT_EQ(PositionFileName("P1"), "P1.ravlon");
    EXPECT_EQ(PositionFileName("Seat 12/B: back?"), "Seat 12_B_ back_.ravlon");
    EXPECT_EQ(PositionFileName(" ..\\.. "), "_.ravlon");
    EXPECT_EQ(PositionFileName(""), "position.ravlon");
    EXPECT_EQ(PositionFileName(".."), "position.ravlon");
    EXPECT_EQ(PositionFileName(std::string(300, 'x')).size(), 100u + 7u);
    EXPECT_EQ(PositionFileName(std::string(99, 'x') + "ä").size(), 99u + 7u); // not cut inside ä

    TSession s = Session();
    EXPECT_EQ(NextPositionLabel(s), "P3");
    Touch("P3.ravlon"); // a file of that name is not overwritten either
    EXPECT_EQ(NextPositionLabel(s), "P4");
}

} // namespace
