// ravlon-analyze on several positions of the simulated room (0.8 s, seeds 1,
// 2, 3, 12 cycles each): the average of a session equals the mean of the
// single results and lies near the room's value; the report's HTML holds its
// sections with the numbers of the report's CSV, the PDF its averaged table;
// a WAV exported from a recording gives the recording's results bit for bit.
#include "core/bands/room_recording.h"
#include "core/session/recording_wav.h"
#include "core/session/session_manifest.h"

#include "tools/tool_runner.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <map>
#include <unistd.h>

using namespace ravlon;
namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

constexpr double kRoomT60 = 0.8;

class SessionTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new fs::path(fs::temp_directory_path() /
                            ("ravlon-session-tool-" + std::to_string(::getpid())));
        fs::create_directories(Folder());
        TSession session;
        session.Folder = Folder().string();
        session.Info.Room = "Simulated hall";
        session.Info.Volume = 300;
        for (int seed = 1; seed <= 3; ++seed) {
            test::RoomRecordingSetup setup;
            setup.Room = RoomConfig::parse("t60=0.8,noise=-70,latency=10,gain=-10,pace=fast,seed=" +
                                           std::to_string(seed));
            setup.Run.SampFreq = 16000;
            setup.Run.Bandwidth = 100;
            setup.Run.PreNoise = 0.2;
            setup.Run.Noise = 0.8;
            setup.Run.PostNoise = 1.2;
            setup.Cycles = 12;
            TSessionPosition p;
            p.Label = "P" + std::to_string(seed);
            p.Recording = p.Label + ".ravlon";
            p.Settings.Bandwidth = 100;
            p.Settings.Window = "Hanning";
            ASSERT_TRUE(test::WriteRoomRecording(session.RecordingPath(p), setup));
            session.Positions.push_back(p);
        }
        WriteSession(session);
        session_ = new TSession(session);
    }
    static void TearDownTestSuite() {
        fs::remove_all(*dir_);
        delete dir_;
        delete session_;
    }
    static fs::path Dir() { return *dir_; }
    static fs::path Folder() { return *dir_ / "hall"; }
    static std::string Recording(int i) {
        return (Folder() / ("P" + std::to_string(i) + ".ravlon")).string();
    }

    static test::ToolResult Run(const std::vector<std::string>& args) {
        return test::RunTool(*dir_, args);
    }
    static Json RunJson(const std::vector<std::string>& args) {
        std::vector<std::string> all = args;
        all.insert(all.end(), {"--format", "json"});
        const test::ToolResult r = Run(all);
        EXPECT_EQ(r.code, 0) << r.err;
        return Json::parse(r.out, nullptr, false);
    }
    // T30 per nominal frequency of one file's bands.
    static std::map<double, double> T30(const Json& bands) {
        std::map<double, double> t;
        for (const Json& b : bands)
            if (b["t30"]["valid"].get<bool>()) t[b["nominal_hz"]] = b["t30"]["t_s"];
        return t;
    }

    static fs::path* dir_;
    static TSession* session_;
};

fs::path* SessionTool::dir_ = nullptr;
TSession* SessionTool::session_ = nullptr;

TEST_F(SessionTool, AverageIsTheMeanOfThePositionsAndNearTheRoom) {
    std::vector<std::map<double, double>> single;
    for (int i = 1; i <= 3; ++i) single.push_back(T30(RunJson({Recording(i)})["bands"]));

    const auto expectMean = [&](const Json& doc, std::vector<int> used) {
        ASSERT_TRUE(doc.contains("average")) << doc.dump();
        EXPECT_EQ(doc["positions"].size(), used.size());
        int checked = 0;
        for (const Json& b : doc["average"]["bands"]) {
            const double f = b["nominal_hz"];
            if (f < 250 || f > 4000) continue;
            double sum = 0;
            for (int i : used) sum += single[size_t(i)].at(f);
            const double mean = b["t30"]["mean_s"];
            EXPECT_NEAR(mean, sum / double(used.size()), 1e-12) << f;
            EXPECT_NEAR(mean, kRoomT60, 0.05 * kRoomT60) << f;
            EXPECT_EQ(b["t30"]["used"].size(), used.size());
            EXPECT_GT(b["t30"]["u_s"].get<double>(), 0);
            ++checked;
        }
        EXPECT_EQ(checked, 5);
    };
    expectMean(RunJson({"--session", Folder().string()}), {0, 1, 2});
    // The same files named on the command line.
    expectMean(RunJson({Recording(1), Recording(2), Recording(3), "--average"}), {0, 1, 2});

    // Excluding a position averages the others.
    TSession excluded = *session_;
    excluded.Positions[1].Included = false;
    WriteSession(excluded);
    const Json doc = RunJson({"--session", Folder().string()});
    WriteSession(*session_);
    expectMean(doc, {0, 2});
    EXPECT_EQ(doc["average"]["positions"], Json({"P1", "P3"}));
}

TEST_F(SessionTool, ReportHtmlHoldsEverySectionWithTheNumbersOfItsCsv) {
    if (!test::HavePython()) GTEST_SKIP() << "python3 is not installed";
    const std::string html = (Dir() / "report.html").string();
    const test::ToolResult r =
        Run({"--session", Folder().string(), "--report", html, "--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Every numeric cell: table row's position and band, CSV column, exact value, text.
    const std::string cells = test::RunPython(
        Dir(),
        "import sys\n"
        "from html.parser import HTMLParser\n"
        "class P(HTMLParser):\n"
        "    def __init__(s):\n"
        "        super().__init__(); s.row = {}; s.cell = None; s.ids = []; s.images = 0\n"
        "    def handle_starttag(s, tag, attrs):\n"
        "        a = dict(attrs)\n"
        "        if tag == 'h2': s.ids.append(a.get('id'))\n"
        "        if tag == 'img' and a.get('src', '').startswith('data:image/png;base64,'):\n"
        "            s.images += 1\n"
        "        if tag == 'tr': s.row = a\n"
        "        if 'data-value' in a: s.cell = [s.row.get('data-position', ''),\n"
        "            a['data-column'], a['data-value'], '']\n"
        "    def handle_data(s, d):\n"
        "        if s.cell is not None: s.cell[3] += d\n"
        "    def handle_endtag(s, tag):\n"
        "        if tag == 'table': s.row = {}\n"
        "        if s.cell is not None and tag in ('td', 'b'):\n"
        "            print('cell|' + '|'.join([s.cell[0], s.row.get('data-band', '')] + "
        "s.cell[1:]))\n"
        "            s.cell = None\n"
        "p = P(); p.feed(sys.stdin.read()); p.close()\n"
        "print('ids|' + ' '.join(str(i) for i in p.ids))\n"
        "print('images|%d' % p.images)\n",
        test::ReadAll(html));

    // The CSV's two tables by (position, band) and column.
    std::map<std::pair<std::string, std::string>, std::map<std::string, std::string>> csv;
    std::vector<std::string> head;
    for (const std::string& line : test::SplitLines(r.out)) {
        if (line.empty()) {
            head.clear();
            continue;
        }
        const std::vector<std::string> f = test::SplitCsv(line);
        if (head.empty()) {
            head = f;
            continue;
        }
        const bool average = head[0] != "position";
        auto& row = csv[{average ? "average" : f[0], average ? f[0] : f[1]}];
        for (size_t k = 0; k < f.size() && k < head.size(); ++k) row[head[k]] = f[k];
    }
    ASSERT_EQ(csv.size(), 4u * 7u); // 3 positions and the average, octaves 63 Hz - 4 kHz

    int compared = 0;
    for (const std::string& line : test::SplitLines(cells)) {
        const std::vector<std::string> f = test::Split(line, '|');
        if (f[0] == "ids") {
            for (const char* id : {"room", "method", "equipment", "positions", "average", "graph",
                                   "per-position", "decays"})
                EXPECT_NE(f[1].find(id), std::string::npos) << id << " missing in " << f[1];
        } else if (f[0] == "images") {
            EXPECT_EQ(f[1], "7"); // the graph and the decays of 125 Hz - 4 kHz
        } else if (f[0] == "cell" && !f[2].empty()) {
            const auto it = csv.find({f[1], f[2]});
            ASSERT_NE(it, csv.end()) << line;
            EXPECT_EQ(it->second.at(f[3]), f[4]) << line;
            if (!f[4].empty()) {
                // The text is the value rounded at its last digit.
                std::string shown = f[5];
                std::erase_if(shown, [](char c) { return c == '*' || c == '!'; });
                const size_t point = shown.find('.');
                const int decimals = point == std::string::npos ? 0 : int(shown.size() - point - 1);
                EXPECT_NEAR(test::Number(shown), test::Number(f[4]),
                            0.5 * std::pow(10.0, -decimals) * (1 + 1e-9))
                    << line;
            }
            ++compared;
        }
    }
    // Per position 7 bands x 7 numbers, averaged 7 x 12.
    EXPECT_EQ(compared, 3 * 7 * 7 + 7 * 12);
}

TEST_F(SessionTool, PdfReportHasPagesAndTheAveragedTable) {
    const std::string pdf = (Dir() / "report.pdf").string();
    const test::ToolResult r = Run({"--session", Folder().string(), "--report", pdf});
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string bytes = test::ReadAll(pdf);
    ASSERT_EQ(bytes.substr(0, 4), "%PDF");
    // Page objects, not the "/Type /Pages" tree node.
    std::ptrdiff_t pages = 0;
    for (size_t at = bytes.find("/Type"); at != std::string::npos;
         at = bytes.find("/Type", at + 1)) {
        const size_t name = bytes.find_first_not_of(" \t\r\n", at + 5);
        if (name != std::string::npos && bytes.compare(name, 5, "/Page") == 0 &&
            bytes.compare(name, 6, "/Pages") != 0)
            ++pages;
    }
    EXPECT_GE(pages, 2);
    if (std::system("pdftotext -v >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed: the PDF's text is not read";
    const fs::path text = Dir() / "report.txt";
    ASSERT_EQ(
        std::system(("pdftotext " + test::Quote(pdf) + " " + test::Quote(text.string())).c_str()),
        0);
    const std::string content = test::ReadAll(text);
    EXPECT_NE(content.find("Averaged results"), std::string::npos);
    EXPECT_NE(content.find("Tmid"), std::string::npos);
    // The averaged T30 of every band as the table shows it.
    const Json doc = RunJson({"--session", Folder().string()});
    for (const Json& b : doc["average"]["bands"]) {
        // A band valid at no position (below the room's Schroeder frequency) has no mean.
        if (!b["t30"]["mean_s"].is_number()) continue;
        const double t = b["t30"]["mean_s"];
        char shown[16];
        std::snprintf(shown, sizeof shown, "%.3g", t);
        EXPECT_NE(content.find(shown), std::string::npos) << b["nominal_hz"] << " " << shown;
    }
}

TEST_F(SessionTool, WavExportGivesTheRecordingsResultsBitForBit) {
    const std::string wav = (Dir() / "P1.wav").string();
    ExportRecordingWav(Recording(1), wav);
    const auto withoutFile = [](std::string json) {
        const size_t at = json.find("\n  \"file\": ");
        if (at != std::string::npos) json.erase(at, json.find('\n', at + 1) - at);
        return json;
    };
    const test::ToolResult fromRecording = Run({Recording(1), "--format", "json"});
    const test::ToolResult fromWav = Run({wav, "--format", "json"});
    ASSERT_EQ(fromWav.code, 0) << fromWav.err;
    EXPECT_EQ(withoutFile(fromWav.out), withoutFile(fromRecording.out));
    EXPECT_NE(fromWav.out.find("\"t30\""), std::string::npos);
}

TEST_F(SessionTool, RefusedCombinationsAndABadSessionPosition) {
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--session", Folder().string(), Recording(1)},
          {Recording(1), Recording(2), "--average", "--bands", "bins"},
          {Recording(1), "--report", (Dir() / "r.txt").string()},
          {Recording(1), Recording(2), "--decays", (Dir() / "d.csv").string()},
          {"--session", (Dir() / "nowhere").string()}}) {
        const test::ToolResult r = Run(bad);
        EXPECT_EQ(r.code, 1) << bad[0] << " " << bad[1] << ": " << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    // A position that cannot be analysed is left out with a warning.
    const fs::path odd = Dir() / "odd";
    fs::create_directories(odd);
    TSession s = *session_;
    s.Folder = odd.string();
    fs::copy_file(Recording(1), odd / "P1.ravlon", fs::copy_options::overwrite_existing);
    std::ofstream(odd / "P2.ravlon") << "not a recording";
    s.Positions.resize(2);
    WriteSession(s);
    const test::ToolResult r = Run({"--session", odd.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("warning"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Average of 1 position(s): P1"), std::string::npos) << r.out;
}

} // namespace
