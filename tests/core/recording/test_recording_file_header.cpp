// Recording file header: byte layout, reading rules, the item store, typed
// items, labels and the file lifecycle of TSMPfile.
#include "core/recording/recording_file.h"

#include "recording_file_helpers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace ravlon;
using ravlon::testing::HeaderRegion;
using ravlon::testing::ReadBytes;
using ravlon::testing::SmpTempDir;
using ravlon::testing::WriteBytes;

namespace {

std::unique_ptr<TSMPBlock> Block(std::vector<int16_t> samples) {
    auto block = std::make_unique<TSMPBlock>();
    block->Count = static_cast<int32_t>(samples.size());
    std::copy(samples.begin(), samples.end(), block->Samples);
    return block;
}

} // namespace

TEST(SmpHeader, NewFileThenCloseLeavesBareHeaderRegion) {
    SmpTempDir tmp;
    const auto name = tmp.path("bare.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.DataOffset(), 1024);
    EXPECT_TRUE(f.close_file());
    EXPECT_FALSE(f.IsOpen());
    std::string expected = std::string("=\r\n") + std::string("\x00\x04\x1A", 3);
    expected.resize(1024, '\0');
    EXPECT_EQ(ReadBytes(name), expected);
}

TEST(SmpHeader, MainWindowLayoutIsByteExact) {
    SmpTempDir tmp;
    const auto name = tmp.path("run.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.insert_nonpresent_defaults();
    f.set_sftot(48000);
    f.set_item("pos1", "48128");
    f.set_item("pos2", "96256");
    f.set_item("pos3", "144384");
    ASSERT_TRUE(f.save_file(""));
    const std::string date = f.get_item("date");
    EXPECT_FALSE(date.empty());
    auto block = Block({1, -2, 3});
    f.write_block(0, *block);
    ASSERT_TRUE(f.save_file(""));
    ASSERT_TRUE(f.close_file());

    const std::string text = "head=1024\r\nfile=samp\r\nsftot=48000\r\nnchans=1\r\nmsb=last\r\n"
                             "view=-1,1\r\nrange=-32768,32768\r\ndate=" +
                             date + "\r\npos1=48128\r\npos2=96256\r\npos3=144384\r\n=\r\n";
    const std::string expected =
        HeaderRegion(text, 1024) + std::string("\x01\x00\xFE\xFF\x03\x00", 6);
    EXPECT_EQ(ReadBytes(name), expected);
}

TEST(SmpHeader, DefaultsAreAppendedOnlyWhenAbsent) {
    TSMPfile f;
    f.set_item("nchans", "2");
    f.set_item("view", "0,5");
    f.insert_nonpresent_defaults();
    const std::vector<std::string> want = {"nchans=2",          "view=0,5",    "head=1024",
                                           "file=samp",         "sftot=16000", "msb=last",
                                           "range=-32768,32768"};
    ASSERT_EQ(f.Items().size(), want.size() + 1);
    EXPECT_EQ(f.Items()[0], "head=1024"); // "head" always leads
    for (const auto& line : want)
        EXPECT_NE(std::find(f.Items().begin(), f.Items().end(), line), f.Items().end()) << line;
    EXPECT_EQ(f.Items().back().rfind("date=", 0), 0u);
}

TEST(SmpHeader, HeaderOf1025BytesKeepsHeadAnd1026BytesRaiseIt) {
    SmpTempDir tmp;
    const auto name = tmp.path("grow.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.set_headsize(1024);
    // "head=1024" CR LF (11) + 4 lines of 250 characters + CR LF (1008) + "=" CR LF (3)
    // + terminator (3) = 1025 bytes.
    for (int i = 0; i < 4; ++i)
        f.set_item("a" + std::to_string(i), std::string(247, static_cast<char>('p' + i)));
    EXPECT_EQ(f.UsedSize(), 1024);
    ASSERT_TRUE(f.save_file(""));
    EXPECT_EQ(f.headsize(), 1024);
    std::string bytes = ReadBytes(name);
    ASSERT_EQ(bytes.size(), 1024u);
    EXPECT_EQ(bytes.substr(1019), std::string("=\r\n\x00\x04", 5)); // no room for 0x1A

    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.get_item("a3"), std::string(247, 's'));
    EXPECT_EQ(r.DataOffset(), 1024);
    r.close_file();

    f.set_item("a0", std::string(248, 'p')); // one byte more: 1026
    EXPECT_EQ(f.UsedSize(), 1025);
    ASSERT_TRUE(f.save_file(""));
    EXPECT_EQ(f.headsize(), 1026);
    EXPECT_EQ(f.DataOffset(), 1026); // no samples yet: the data moves behind the header
    bytes = ReadBytes(name);
    ASSERT_EQ(bytes.size(), 1026u);
    EXPECT_EQ(bytes.substr(1020), std::string("=\r\n\x00\x04\x1A", 6));

    auto block = Block({7, 8});
    f.write_block(0, *block);
    f.close_file();
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.DataOffset(), 1026);
    auto in = std::make_unique<TSMPBlock>();
    r.read_block(0, *in);
    ASSERT_EQ(in->Count, 2);
    EXPECT_EQ(in->Samples[0], 7);
    EXPECT_EQ(in->Samples[1], 8);
}

TEST(SmpHeader, GrowingHeaderNeverCoversSamples) {
    SmpTempDir tmp;
    const auto name = tmp.path("full.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.insert_nonpresent_defaults();
    ASSERT_TRUE(f.save_file(""));
    auto block = Block(std::vector<int16_t>(100, 1234));
    f.write_block(0, *block);
    const std::string before = ReadBytes(name);

    for (int i = 0; i < 8; ++i) f.set_item("note" + std::to_string(i), std::string(200, 'n'));
    EXPECT_FALSE(f.save_file("")); // refused: the header no longer fits its region
    EXPECT_EQ(f.get_item("head"), "1024");
    EXPECT_EQ(ReadBytes(name), before);
    f.close_file();

    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    auto in = std::make_unique<TSMPBlock>();
    r.read_block(0, *in);
    ASSERT_EQ(in->Count, 100);
    EXPECT_EQ(in->Samples[99], 1234);
}

TEST(SmpHeader, TextBeyond32768BytesIsRefusedAndLargeHeadIsPadded) {
    SmpTempDir tmp;
    const auto name = tmp.path("big.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    const std::string before = ReadBytes(name);
    for (int i = 0; i < 140; ++i) f.set_item("k" + std::to_string(i), std::string(240, 'x'));
    EXPECT_GT(f.UsedSize(), 32768);
    EXPECT_FALSE(f.save_file(""));
    EXPECT_EQ(ReadBytes(name), before);

    TSMPfile g;
    const auto big = tmp.path("bighead.ravlon");
    ASSERT_TRUE(g.new_file(big));
    g.set_headsize(40000);
    g.set_item("x", "1");
    ASSERT_TRUE(g.save_file(""));
    EXPECT_EQ(g.DataOffset(), 40000);
    auto block = Block({-5, 6});
    g.write_block(0, *block);
    g.close_file();
    const std::string bytes = ReadBytes(big);
    ASSERT_EQ(bytes.size(), 40004u);
    EXPECT_EQ(bytes.substr(32768, 40000 - 32768), std::string(40000 - 32768, '\0'));

    TSMPfile r;
    ASSERT_TRUE(r.open_file(big, true));
    EXPECT_EQ(r.DataOffset(), 40000);
    auto in = std::make_unique<TSMPBlock>();
    r.read_block(0, *in);
    ASSERT_EQ(in->Count, 2);
    EXPECT_EQ(in->Samples[0], -5);
}

TEST(SmpHeader, ReadingRulesAcceptEveryLineEnding) {
    SmpTempDir tmp;
    const auto name = tmp.path("rules.ravlon");
    const std::string text = "a=1\n"
                             "b=2\r\n"
                             "\r\rc=3\x04\r\n"
                             "\n\r\n"
                             "nokey\r\n"
                             "d=x=y\r\n"
                             "  = 5\r\n"
                             "e=   \r\n"
                             "=\r\n"
                             "first comment\r\n"
                             "\r\n"
                             "g=not an item\r\n"
                             "\x1A"
                             "h=after the end\r\n";
    std::string bytes = text;
    bytes.resize(512, '\0');
    WriteBytes(name, bytes);
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.Items(), (std::vector<std::string>{"a=1", "b=2", "c=3", "d=x=y"}));
    EXPECT_EQ(f.Comment(), (std::vector<std::string>{"first comment", "g=not an item"}));
    EXPECT_EQ(f.get_item("h"), "");
    EXPECT_EQ(f.DataOffset(), 1024); // no "head": the default
}

TEST(SmpHeader, LongLinesAreCutAt255Characters) {
    SmpTempDir tmp;
    const auto name = tmp.path("long.ravlon");
    WriteBytes(name, HeaderRegion("k=" + std::string(400, 'v') + "\r\n=\r\n" +
                                      std::string(300, 'c') + "\r\n",
                                  1024));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.get_item("k"), std::string(253, 'v'));
    ASSERT_EQ(f.Comment().size(), 1u);
    EXPECT_EQ(f.Comment()[0], std::string(255, 'c'));

    f.set_item("z", std::string(300, 'w'));
    EXPECT_EQ(f.get_item("z").size(), 253u);
    f.set_item("u", std::string(300, '\xC3') /* not text */);
    f.set_item("e", "\xC3\xA9" + std::string(300, 'a')); // a multi-byte first character
    EXPECT_EQ(f.get_item("e"), "\xC3\xA9" + std::string(252, 'a'));
}

TEST(SmpHeader, KeysLookUpIgnoringCaseButReplaceExactly) {
    TSMPfile f;
    f.set_item("head", "2048");
    EXPECT_EQ(f.get_item("HEAD"), "2048");
    EXPECT_EQ(f.headsize(), 2048);
    f.set_item("Head", "1");
    ASSERT_EQ(f.Items().size(), 2u);
    f.validate_items();
    EXPECT_EQ(f.Items(), (std::vector<std::string>{"head=2048", "Head=1"}));
    f.set_item("x", "1");
    f.set_item("head", "512");
    EXPECT_EQ(f.Items().front(), "head=512");
    f.set_item("Head", "");
    EXPECT_EQ(f.Items(), (std::vector<std::string>{"head=512", "x=1"}));

    f.add_line("p=q=r");
    EXPECT_EQ(f.get_item("p"), "q=r");
    f.add_line("p");
    EXPECT_EQ(f.get_item("p"), "");
    f.set_nonpresent_item("x", "2");
    f.add_nonpresent_line("X=3");
    EXPECT_EQ(f.get_item("x"), "1");
    f.set_proc("filtered");
    f.set_proc("scaled");
    EXPECT_EQ(f.get_item("proc0"), "filtered");
    EXPECT_EQ(f.get_item("proc1"), "scaled");

    f.setItems({"a=1", "b= ", "  =z", "a=2", "c=3"});
    EXPECT_EQ(f.Items(), (std::vector<std::string>{"a=1", "c=3"}));
}

TEST(SmpHeader, TypedItemsFollowEveryChange) {
    TSMPfile f;
    EXPECT_EQ(f.headsize(), 1024);
    EXPECT_EQ(f.nchans(), 1);
    EXPECT_DOUBLE_EQ(f.sftot(), 16000);
    EXPECT_FALSE(f.msbfirst());
    const auto v0 = f.ItemsVersion();
    f.set_nchans(3);
    EXPECT_GT(f.ItemsVersion(), v0);
    EXPECT_EQ(f.nchans(), 3);
    f.set_item("nchans", "three");
    EXPECT_EQ(f.nchans(), 1);
    f.set_sftot(44100.1234567);
    EXPECT_EQ(f.get_item("sftot"), "44100.123457");
    EXPECT_DOUBLE_EQ(f.sftot(), 44100.123457);
    f.set_item("sftot", "");
    EXPECT_DOUBLE_EQ(f.sftot(), 16000);
    f.set_item("sftot", "4,8");
    EXPECT_DOUBLE_EQ(f.sftot(), 16000);
    f.set_msbfirst(true);
    EXPECT_EQ(f.get_item("msb"), "first");
    EXPECT_TRUE(f.msbfirst());
    f.set_item("msb", "First");
    EXPECT_FALSE(f.msbfirst());
    f.set_item("msb", "last");
    EXPECT_FALSE(f.msbfirst());
    f.setComment({"c"});
    EXPECT_GT(f.ItemsVersion(), v0 + 5);
    f.clear();
    EXPECT_EQ(f.ItemsVersion(), 1);
    EXPECT_EQ(f.nchans(), 1);
}

TEST(SmpHeader, ViewOfOneChannelFileKeepsItsSingleItemAndLabel) {
    TSMPfile f;
    f.set_item("nchans", "1");
    f.set_item("view", "-1,1,Volt");
    f.set_view(0, 0.1234567, 2);
    EXPECT_EQ(f.get_item("view"), "0.123457,2,Volt");
    EXPECT_EQ(f.get_item("view0"), "");
    EXPECT_EQ(f.get_view_label(0), "Volt");

    f.set_nchans(2);
    f.set_view(1, -32768, 32768);
    EXPECT_EQ(f.get_item("view1"), "-32768,32768,Volt");
    EXPECT_EQ(f.get_view_text(0), "0.123457,2,Volt");
    f.set_view_text(1, "0,1,Pa,extra");
    EXPECT_EQ(f.get_view_label(1), "Pa");
    f.set_view_text(1, "0,1");
    EXPECT_EQ(f.get_view_label(1), "");
    f.set_range(-1, -32768, 32768);
    f.set_range(0, 0.5, 1.5E-7);
    EXPECT_EQ(f.get_item("range"), "-32768,32768");
    EXPECT_EQ(f.get_item("range0"), "0.5,1.5E-7");
}

TEST(SmpHeader, CommentsAndItemsAreCodePage850OnDisk) {
    SmpTempDir tmp;
    const auto name = tmp.path("cp.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.set_item("room", "Salle \xC3\xA9t\xC3\xA9"); // "été"
    f.setComment({"Gr\xC3\xBC\xC3\x9F"
                  "e"}); // "Grüße"
    ASSERT_TRUE(f.save_file(""));
    f.close_file();
    const std::string bytes = ReadBytes(name);
    EXPECT_NE(bytes.find("room=Salle \x82t\x82\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("=\r\nGr\x81\xE1"
                         "e\r\n"),
              std::string::npos);
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.get_item("room"), "Salle \xC3\xA9t\xC3\xA9");
    EXPECT_EQ(r.Comment(), f.Comment());
}

TEST(SmpHeader, InternalLabelsAreItems) {
    TSMPfile f;
    EXPECT_EQ(f.label_count(), 0);
    f.add_label("left;Pa;mic");
    f.add_label("right");
    EXPECT_EQ(f.label_count(), 2);
    EXPECT_EQ(f.get_item("L1"), "left;Pa;mic");
    EXPECT_EQ(f.get_label(0), "left,Pa,mic");
    EXPECT_EQ(f.get_label(5), "");
    EXPECT_EQ(f.get_label(-1), "");
    EXPECT_EQ(TSMPfile::normalize_label("a;b;c;d,e"), "a,b,c;d,e");
    EXPECT_TRUE(TSMPfile::is_label_key("L12"));
    EXPECT_TRUE(TSMPfile::is_label_key("x3"));
    EXPECT_FALSE(TSMPfile::is_label_key("L"));
    EXPECT_FALSE(TSMPfile::is_label_key("pos1"));
    EXPECT_FALSE(TSMPfile::is_label_key("labels"));
}

TEST(SmpHeader, ExternalLabelsLiveInTheCsvFile) {
    SmpTempDir tmp;
    const auto name = tmp.path("lab.ravlon");
    const auto csv = tmp.path("lab.csv");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(name));
    f.set_nchans(2);
    f.add_label("links;Pa");
    f.add_label("r\xC3\xA9"
                "chts");
    f.setExternalLabels(true);
    EXPECT_TRUE(f.ExternalLabels());
    EXPECT_EQ(f.get_item("L1"), "");
    EXPECT_EQ(f.label_count(), 2);
    EXPECT_EQ(f.CSVFileName(), csv);
    EXPECT_EQ(f.get_item("labels"), csv);
    ASSERT_TRUE(f.save_file(""));
    f.close_file();
    EXPECT_EQ(ReadBytes(csv), name + "\r\nlinks,Pa\r\nr\x82"
                                     "chts\r\n");

    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, false));
    EXPECT_TRUE(r.ExternalLabels());
    EXPECT_EQ(r.label_count(), 2);
    EXPECT_EQ(r.get_label(1), "r\xC3\xA9"
                              "chts");
    EXPECT_EQ(r.get_label(2), "");

    // Back to internal labels: items again; the label file is no longer named.
    r.setExternalLabels(false);
    EXPECT_EQ(r.get_item("L1"), "links,Pa");
    EXPECT_EQ(r.get_item("labels"), "");
    EXPECT_EQ(r.CSVFileName(), "");
    ASSERT_TRUE(r.save_file(""));
    r.close_file();
    TSMPfile again;
    ASSERT_TRUE(again.open_file(name, true));
    EXPECT_FALSE(again.ExternalLabels());
    EXPECT_EQ(again.get_label(1), "r\xC3\xA9"
                                  "chts");
}

TEST(SmpHeader, LabelItemsSurviveTheSwitchToTheLabelFile) {
    SmpTempDir tmp;
    const auto name = tmp.path("mixed.ravlon");
    const auto csv = tmp.path("mixed.csv");
    WriteBytes(name, HeaderRegion("L1=a;b\r\nlabels=" + csv + "\r\n=\r\n", 1024));
    WriteBytes(csv, name + "\r\n");
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, false));
    EXPECT_FALSE(f.ExternalLabels()); // the label file holds no label
    EXPECT_EQ(f.label_count(), 1);
    // Saving tidies the items: a "labels" item with labels means the label file.
    ASSERT_TRUE(f.save_file(""));
    EXPECT_TRUE(f.ExternalLabels());
    EXPECT_EQ(f.get_item("L1"), "");
    EXPECT_EQ(f.get_label(0), "a,b");
    EXPECT_EQ(ReadBytes(csv), name + "\r\na,b\r\n");
}

TEST(SmpHeader, MissingLabelFileGivesNoLabelsAndNoFailure) {
    SmpTempDir tmp;
    const auto name = tmp.path("nolab.ravlon");
    WriteBytes(name, HeaderRegion("labels=" + tmp.path("gone.csv") + "\r\n=\r\n", 1024));
    TSMPfile f;
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_EQ(f.label_count(), 0);
    EXPECT_EQ(f.get_label(0), "");
}

TEST(SmpHeader, LabelsItemNamingTheRecordingNeverOverwritesIt) {
    SmpTempDir tmp;
    const auto name = tmp.path("self.ravlon");
    std::filesystem::create_symlink(name, tmp.path("link.ravlon"));
    // The recording under any spelling: as it is, through "..", through a link.
    for (const std::string& labels :
         {name, tmp.path("../" + tmp.dir().filename().string() + "/self.ravlon"),
          tmp.path("link.ravlon")}) {
        WriteBytes(name,
                   HeaderRegion("labels=" + labels + "\r\n=\r\n", 1024) + std::string(64, 'S'));
        TSMPfile f;
        ASSERT_TRUE(f.open_file(name, false));
        f.setExternalLabels(true);
        f.add_label("x");
        EXPECT_TRUE(f.save_file(""));
        f.close_file();
        EXPECT_EQ(ReadBytes(name).substr(1024), std::string(64, 'S')) << labels;
    }
}

TEST(SmpHeader, UseTempFileWorksOnACopyUntilSaved) {
    SmpTempDir tmp;
    const auto name = tmp.path("orig.ravlon");
    {
        TSMPfile w;
        ASSERT_TRUE(w.new_file(name));
        w.insert_nonpresent_defaults();
        ASSERT_TRUE(w.save_file(""));
        auto block = Block({1, 2, 3});
        w.write_block(0, *block);
        w.close_file();
    }
    const std::string original = ReadBytes(name);
    TSMPfile f;
    f.UseTempFile = true;
    ASSERT_TRUE(f.open_file(name, false));
    const std::string work = f.WorkingName();
    EXPECT_NE(work, name);
    EXPECT_TRUE(std::filesystem::exists(work));
    auto block = Block({9, 9});
    f.write_block(0, *block);
    f.set_item("edited", "yes");
    EXPECT_EQ(ReadBytes(name), original); // the original is untouched while working
    ASSERT_TRUE(f.save_file(""));
    EXPECT_EQ(ReadBytes(name), ReadBytes(work));
    EXPECT_TRUE(f.close_file());
    EXPECT_FALSE(std::filesystem::exists(work));
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.get_item("edited"), "yes");
    auto in = std::make_unique<TSMPBlock>();
    r.read_block(0, *in);
    ASSERT_EQ(in->Count, 3);
    EXPECT_EQ(in->Samples[0], 9);
    EXPECT_EQ(in->Samples[2], 3);
}

TEST(SmpHeader, NewFileWithTempCopyStartsEmpty) {
    SmpTempDir tmp;
    const auto name = tmp.path("reuse.ravlon");
    WriteBytes(name, HeaderRegion("=\r\n", 1024) + std::string(4000, 'X'));
    TSMPfile f;
    f.UseTempFile = true;
    ASSERT_TRUE(f.new_file(name));
    ASSERT_TRUE(f.close_file());
    EXPECT_EQ(ReadBytes(name).size(), 1024u);
}

TEST(SmpHeader, LifecycleResults) {
    SmpTempDir tmp;
    TSMPfile f;
    EXPECT_FALSE(f.open_file(tmp.path("missing.ravlon"), true));
    EXPECT_FALSE(f.IsOpen());
    EXPECT_TRUE(f.Items().empty());
    EXPECT_FALSE(f.open_file("", true));
    EXPECT_TRUE(f.close_file());
    EXPECT_FALSE(f.save_file("")); // no file name

    const auto empty = tmp.path("empty.ravlon");
    WriteBytes(empty, "");
    EXPECT_FALSE(f.open_file(empty, false));
    EXPECT_FALSE(f.IsOpen());

    const auto name = tmp.path("ro.ravlon");
    ASSERT_TRUE(f.new_file(name));
    ASSERT_TRUE(f.close_file());
    ASSERT_TRUE(f.open_file(name, true));
    EXPECT_TRUE(f.ReadOnly());
    f.set_item("x", "1");
    EXPECT_FALSE(f.save_file("")); // read-only: the header is not written
    auto block = Block({1});
    f.write_block(0, *block);
    EXPECT_EQ(ReadBytes(name).size(), 1024u);
    f.close_file();

    // Saving a closed file rewrites the header of the file on disk.
    ASSERT_TRUE(f.open_file(name, false));
    f.close_file();
    f.set_item("later", "1");
    EXPECT_TRUE(f.save_file(""));
    TSMPfile r;
    ASSERT_TRUE(r.open_file(name, true));
    EXPECT_EQ(r.get_item("later"), "1");
}

TEST(SmpHeader, WriteThroughFilesBehaveTheSame) {
    SmpTempDir tmp;
    const auto name = tmp.path("sync.ravlon");
    TSMPfile f;
    f.WriteThroughCache = true;
    ASSERT_TRUE(f.new_file(name));
    f.write_block(0, *Block({4, 5}));
    ASSERT_TRUE(f.close_file());
    EXPECT_EQ(ReadBytes(name).size(), 1028u);
}

TEST(SmpHeader, SaveUnderNewNameContinuesOnTheNewFile) {
    SmpTempDir tmp;
    const auto first = tmp.path("a.ravlon");
    const auto second = tmp.path("b.ravlon");
    TSMPfile f;
    ASSERT_TRUE(f.new_file(first));
    auto block = Block({1, 2});
    f.write_block(0, *block);
    ASSERT_TRUE(f.save_file(second));
    EXPECT_EQ(f.Filename(), second);
    EXPECT_EQ(f.WorkingName(), second);
    auto more = Block({3});
    f.write_block(0, *more);
    f.close_file();
    TSMPfile r;
    ASSERT_TRUE(r.open_file(second, true));
    auto in = std::make_unique<TSMPBlock>();
    r.read_block(0, *in);
    ASSERT_EQ(in->Count, 3);
    EXPECT_EQ(in->Samples[2], 3);
}
