// What leaves the program for the club and the stewards: the event page and the evidence pack.
#include "app/demo_heat.h"
#include "fake_operator.h"
#include "fault_loop.h"
#include "recording/test_recording.h"
#include "results/event_results.h"
#include "results/evidence_pack.h"
#include "review/finish_pictures.h"
#include "review/review.h"
#include "scoped_env.h"
#include "support/app_paths.h"
#include "support/digest.h"
#include "support/files.h"
#include "support/settings.h"
#include "support/spreadsheet_cell.h"
#include "support/veltro_error.h"
#include "temp_dir.h"
#include "timing/heat_timing.h"
#include "timing/lengths.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace veltro {
namespace {

namespace fs = std::filesystem;

class Publishing : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.file("data")};
    // The settings of the data folder, whatever an earlier test in this process pointed the store at.
    Publishing() { set_settings_path(data_file("Veltro_HDMI.ini")); }
    ~Publishing() override { set_settings_path({}); }

    // A heat of 8 frames: box 1 at frame 3, box 2 at frame 5 (a dead heat with box 4), box 3 did not
    // finish; the rest have no time.
    std::string heat(const std::string& name, const std::string& id) {
        const std::string path = dir.file(name);
        cls_VideoFile_handler rec;
        Arm_Test_Recording(rec, path, 160, 120, false, "1000");
        Append_Test_Frames(rec, CapturedFrames(160, 120, 8));
        rec.Open_File(path);
        rec.Velt_Heat_ID(id);
        rec.Velt_Heat_Name("Heat <" + id + "> & co");
        const char* dogs[] = {"Fast Lady", "Slow Joe", "Red Comet", "Blue Moon", "Sandy", ""};
        for (std::int16_t box = 1; box <= 6; ++box)
            rec.Velt_Dog_name(box, dogs[box - 1]);
        rec.Write_XML_header();
        HeatTiming timing(system_clock());
        timing.set_recording(&rec);
        const auto assign = [&](std::int16_t box, std::int16_t frame, std::int32_t ms, bool dead_heat) {
            timing.show_picture(frame, ms);
            timing.dead_heat = dead_heat;
            timing.Set_Time(box, ms, false);
        };
        assign(1, 3, 23450, false);
        assign(2, 5, 23520, false);
        assign(4, 5, 23520, true);
        timing.no_time = true;
        timing.no_time_caption = "DNF";
        timing.Set_Time(3, 0, false);
        return path;
    }
};

TEST_F(Publishing, TheEventPageListsEveryRecordingInHeatOrderAndNamesTheOneThatCannotBeRead) {
    fs::create_directories(dir.file("data"));
    heat("b.px3", "3");
    heat("c.px3", "1");
    heat("a.px3", "2");
    save_file_atomically(dir.file("Cup_4_2026_12_07 19_00_00.px3"), std::string(40000, 'x'));
    save_file_atomically(dir.file("notes.txt"), "not a recording");

    const EventResults results = read_event_results(dir.path(), kDefaultUsPerLength, true);
    ASSERT_EQ(results.heats.size(), 4u);
    EXPECT_EQ(results.event, "Test Event");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(results.heats[static_cast<std::size_t>(i)].heat);
        EXPECT_EQ(results.heats[static_cast<std::size_t>(i)].heat->heat_id, std::to_string(i + 1));
    }
    EXPECT_FALSE(results.heats[3].heat);
    EXPECT_EQ(results.heats[3].file_name, "Cup_4_2026_12_07 19_00_00.px3");
    EXPECT_NE(results.heats[3].problem, "");

    // Well-formed: an XML parser reads the whole page.
    const std::string html = event_results_html(results, "2026-12-07 19:30:00");
    pugi::xml_document doc;
    const pugi::xml_parse_result parsed = doc.load_string(html.c_str());
    ASSERT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
    EXPECT_STREQ(doc.select_node("//*[@class='summary']").node().child_value(),
                 "3 heats; 1 recording cannot be read");
    const pugi::xpath_node_set sections = doc.select_nodes("//*[local-name()='section']");
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_STREQ(sections[3].node().attribute("class").value(), "heat unreadable");
    EXPECT_NE(std::string(sections[3].node().child_value("p")).find("cannot be read"), std::string::npos);
    // Heat 1: a table of five dogs (box 6 is vacant), the first a winner at 23,45, and the finish
    // pictures of the three boxes with a time, inside the page as JPEG.
    const pugi::xml_node first = sections[0].node();
    // The markup characters of a name come through as text.
    EXPECT_STREQ(first.child_value("h2"), "Heat 1 \xe2\x80\x93 Heat <1> & co");
    const pugi::xpath_node_set rows = first.select_nodes(".//*[local-name()='tbody']/*");
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].node().select_node("*[4]").node().child_value(), std::string("23,45"));
    const pugi::xpath_node_set pictures = first.select_nodes(".//*[local-name()='img']");
    ASSERT_EQ(pictures.size(), 3u);
    EXPECT_EQ(
        std::string(pictures[0].node().attribute("src").value()).rfind("data:image/jpeg;base64,/9j/", 0), 0u);
    EXPECT_EQ(html.find("src=\"http"), std::string::npos);
    // A public page does not show where this PC keeps its recordings.
    EXPECT_EQ(html.find(dir.path().string()), std::string::npos);

    const std::string csv = event_results_csv(results);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 3 * 5 + 1);
    EXPECT_NE(csv.find("Cup_4_2026_12_07 19_00_00.px3,,,,,,,,,,,,,,,,,cannot be read: "), std::string::npos);
}

TEST_F(Publishing, TheHeatNumberOfARecordingNameAndTheOutputPaths) {
    EXPECT_EQ(heat_number_from_file_name("Spring Cup_4_2024_05_01 14_03_07.px3"), 4);
    EXPECT_EQ(heat_number_from_file_name("Spring_Cup_12_2024_05_01 14_03_07.px3"), 12);
    EXPECT_EQ(heat_number_from_file_name("heat.px3"), std::nullopt);
    EXPECT_EQ(event_results_paths("/r/cup"),
              std::make_pair(std::string("/r/cup.csv"), std::string("/r/cup.html")));
    EXPECT_EQ(event_results_paths("/r/cup.HTML").first, "/r/cup.csv");
    EXPECT_EQ(event_results_paths("/r/cup.v2").second, "/r/cup.v2.html");

    // The two files go together: when the page cannot be written the CSV is not left new either.
    EventResults results;
    results.heats.push_back({"x.px3", std::nullopt, "damaged", {}, {}, {}});
    fs::create_directories(dir.file("cup.html"));
    EXPECT_THROW(write_event_results(results, dir.file("cup"), "now"), VeltroError);
    EXPECT_FALSE(fs::exists(dir.file("cup.csv")));
    save_file_atomically(dir.file("cup.csv"), "last week's");
    EXPECT_THROW(write_event_results(results, dir.file("cup.csv"), "now"), VeltroError);
    EXPECT_EQ(read_whole_file(dir.file("cup.csv")), "last week's");
    fs::remove(dir.file("cup.html"));
    const auto written = write_event_results(results, dir.file("cup.html"), "now");
    EXPECT_EQ(written.second, dir.file("cup.html"));
    EXPECT_NE(read_whole_file(dir.file("cup.csv")).value_or("").find("x.px3,"), std::string::npos);
}

// The event pair failing at any step of its save shows no new CSV beside an old page, no new page
// without its photo finish, and leaves no temporary file; what a killed run left is cleared away by
// the next.
TEST_F(Publishing, TheEventPairNeverShowsANewCsvBesideAnOldPage) {
    EventResults results;
    results.heats.push_back({"x.px3", std::nullopt, "damaged", {}, {}, {}});
    PublishedHeat judged;
    judged.heat_id = "2";
    results.heats.push_back({"y.px3", judged, {}, {}, "new picture", {}});
    const fs::path out = dir.file("out");
    const fs::path picture = out / "cup heat 2 photo finish.png";
    fs::create_directories(out);
    save_file_atomically((out / "cup.html.tmpAb12Cd").string(), "left by a killed run");
    testing::FaultGuard guard;
    bool done = false;
    for (int n = 1; !done && n < 50; ++n) {
        for (const fs::path& file : {out / "cup.csv", out / "cup.html", picture})
            save_file_atomically(file.string(), "old");
        fault_injection::arm(n, {fault_injection::Kind::error, ENOSPC, 0});
        try {
            write_event_results(results, (out / "cup").string(), "now");
        } catch (const VeltroError&) {
        }
        done = !fault_injection::fired();
        fault_injection::disarm();
        const bool csv_new = read_whole_file((out / "cup.csv").string()) != "old";
        const bool page_new = read_whole_file((out / "cup.html").string()) != "old";
        EXPECT_TRUE(!csv_new || page_new) << n;
        EXPECT_TRUE(!page_new || read_whole_file(picture.string()) == "new picture") << n;
        EXPECT_EQ(testing::files_in(out),
                  (std::set<std::string>{"cup.csv", "cup.html", picture.filename().string()}))
            << n;
    }
    EXPECT_TRUE(done);
    // The page links the picture beside it.
    EXPECT_NE(
        read_whole_file((out / "cup.html").string())->find("href=\"cup%20heat%202%20photo%20finish.png\""),
        std::string::npos);
}

TEST_F(Publishing, AnEvidencePackMatchesItsManifestUntilOneByteOfAPictureChanges) {
    const std::string recording = heat("heat 2.px3", "2");
    const EvidencePack pack = write_evidence_pack(recording, dir.file("pack"), kDefaultUsPerLength);
    for (const char* name : {"box1_finish.png", "box2_finish.png", "box4_finish.png", "results.txt",
                             "results.csv", "history.txt", "timestamp_report.csv", "MANIFEST.sha256"})
        EXPECT_TRUE(fs::exists(dir.file("pack/") + name)) << name;
    EXPECT_FALSE(fs::exists(dir.file("pack/box3_finish.png"))) << "DNF has no finish picture";
    EXPECT_EQ(read_whole_file(dir.file("pack/results.txt")).value_or("").substr(0, 7), "Heat2\r\n");

    // sha256sum, a second reader of the manifest, agrees with it.
    const std::string sums = "cd '" + dir.file("pack") + "' && sha256sum --quiet -c MANIFEST.sha256";
    EXPECT_EQ(std::system(sums.c_str()), 0);
    EvidenceCheck check = check_evidence_pack(dir.file("pack"), recording);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    EXPECT_EQ(check.files_checked, pack.files.size() - 1);

    std::string png = read_whole_file(dir.file("pack/box2_finish.png")).value();
    png[png.size() / 2] = static_cast<char>(png[png.size() / 2] ^ 1);
    save_file_atomically(dir.file("pack/box2_finish.png"), png);
    save_file_atomically(dir.file("pack/extra.txt"), "added later");
    check = check_evidence_pack(dir.file("pack"));
    EXPECT_EQ(check.problems, (std::vector<std::string>{"box2_finish.png has changed since the pack was made",
                                                        "extra.txt is not in the manifest"}));
    EXPECT_NE(std::system(sums.c_str()), 0);

    // The recording changes when a time is corrected: it is no longer the one the pack was made of.
    {
        cls_VideoFile_handler rec;
        rec.Open_File(recording);
        rec.Velt_Heat_time(5, false, 24000);
        rec.Write_XML_header();
    }
    EXPECT_EQ(check_evidence_pack(dir.file("pack"), recording).problems.size(), 3u);
}

// Whether `printed` holds `recorded`'s pixels but for a line one pixel wide in `colour` (at most
// one pixel per row, and some); `line_drawn` false: every pixel the same.
void expect_recorded_but_for_the_line(const cDIBSection& printed, const cDIBSection& recorded,
                                      std::uint32_t colour, bool line_drawn) {
    ASSERT_EQ(printed.Width(), recorded.Width());
    ASSERT_GE(printed.Height(), recorded.Height());
    int rows_with_line = 0;
    for (std::int32_t y = 0; y < recorded.Height(); ++y) {
        int changed = 0;
        for (std::int32_t x = 0; x < recorded.Width(); ++x) {
            const std::uint8_t* p = printed.scan_line(y) + 3 * x;
            const std::uint8_t* r = recorded.scan_line(y) + 3 * x;
            if (std::equal(p, p + 3, r))
                continue;
            ++changed;
            EXPECT_EQ(p[0] << 16 | p[1] << 8 | p[2], colour) << x << "," << y;
        }
        EXPECT_LE(changed, 1) << "row " << y;
        rows_with_line += changed;
    }
    if (line_drawn)
        EXPECT_GT(rows_with_line, recorded.Height() / 2);
    else
        EXPECT_EQ(rows_with_line, 0);
}

// The finish pictures of the pack and the event page are the recorded pictures: the caption goes
// into a band below, and only the goal line (when prints carry it) is drawn over the picture.
TEST_F(Publishing, AFinishPictureIsTheRecordedOneButForTheLineWithItsCaptionBelow) {
    fs::create_directories(dir.file("event"));
    const std::string recording = heat("event/heat 2.px3", "2");
    cls_VideoFile_handler rec;
    rec.Open_File(recording);
    const PublishedHeat heat = publish_heat(rec, recorded_box_delay(rec), kDefaultUsPerLength);
    const std::uint32_t colour = Display_Goal_times().colour;
    for (const bool line : {true, false}) {
        const std::vector<FinishPicture> pictures = finish_pictures(rec, heat, line);
        ASSERT_EQ(pictures.size(), 3u);
        for (const FinishPicture& p : pictures) {
            ASSERT_TRUE(p.problem.empty()) << p.problem;
            if (p.field)
                rec.Draw_RGB_Field(p.picture_number);
            else
                rec.Draw_RGB_frame(p.picture_number);
            const cDIBSection recorded = rec.picture();
            expect_recorded_but_for_the_line(p.picture, recorded, colour, line);
            const cDIBSection with_caption = captioned(p);
            expect_recorded_but_for_the_line(with_caption, recorded, colour, line);
            // The band below carries the caption's light letters on its dark ground.
            int light = 0;
            for (std::int32_t y = recorded.Height(); y < with_caption.Height(); ++y)
                for (std::int32_t x = 0; x < with_caption.Width(); ++x) {
                    const std::uint8_t* q = with_caption.scan_line(y) + 3 * x;
                    light += std::min({q[0], q[1], q[2]}) > 0x80 ? 1 : 0;
                }
            EXPECT_GT(light, 100) << "box " << p.row->box;
        }
    }
    rec.Close_File();

    // The event page shows them at the size they were recorded at.
    Write_Setting(keys::print_goal_line, "0");
    const EventResults results = read_event_results(dir.file("event"), kDefaultUsPerLength, true);
    ASSERT_EQ(results.heats.at(0).thumbnails.size(), 3u);
    EXPECT_EQ(results.heats[0].thumbnails[0].width, 160);
    EXPECT_EQ(results.heats[0].thumbnails[0].height, 120);
    EXPECT_NE(event_results_html(results, "now").find("width=\"160\" height=\"120\""), std::string::npos);
}

TEST_F(Publishing, AnEvidencePackIsWrittenWholeOrNotAtAll) {
    const std::string recording = heat("heat 2.px3", "2");
    fs::create_directories(dir.file("taken"));
    save_file_atomically(dir.file("taken/keep.txt"), "mine");
    EXPECT_THROW(write_evidence_pack(recording, dir.file("taken"), kDefaultUsPerLength), VeltroError);
    EXPECT_EQ(read_whole_file(dir.file("taken/keep.txt")), "mine");

    save_file_atomically(dir.file("bad.px3"), std::string(40000, 'x'));
    EXPECT_THROW(write_evidence_pack(dir.file("bad.px3"), dir.file("bad pack"), kDefaultUsPerLength),
                 VeltroError);
    EXPECT_THROW(write_evidence_pack(recording, dir.file("no/such/folder"), kDefaultUsPerLength),
                 VeltroError);
    // Nothing is left behind: no pack, no temporary folder.
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        if (entry.path().filename() != "data")
            left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"bad.px3", "heat 2.px3", "heat 2.px3.journal", "taken"}));

    // A folder named with a slash at the end is the same folder.
    EXPECT_NO_THROW(write_evidence_pack(recording, dir.file("slashed/"), kDefaultUsPerLength));
    EXPECT_TRUE(fs::exists(dir.file("slashed/MANIFEST.sha256")));
    fs::remove_all(dir.file("slashed"));
    EXPECT_EQ(free_evidence_folder(dir.path(), recording), dir.file("heat 2 evidence"));
    fs::create_directories(dir.file("heat 2 evidence"));
    EXPECT_EQ(free_evidence_folder(dir.path(), recording), dir.file("heat 2 evidence 2"));
}

TEST_F(Publishing, AManifestThatNamesFilesOutsideThePackIsNotFollowed) {
    fs::create_directories(dir.file("pack"));
    save_file_atomically(dir.file("secret.txt"), "x");
    save_file_atomically(dir.file("pack/MANIFEST.sha256"), std::string(64, 'a') +
                                                               "  ../secret.txt\nnot a line\n" +
                                                               std::string(64, 'a') + "  ..\n");
    const EvidenceCheck check = check_evidence_pack(dir.file("pack"));
    EXPECT_EQ(check.files_checked, 0u);
    EXPECT_EQ(check.problems,
              (std::vector<std::string>{
                  "line 1 names a file outside the pack", "line 2 of the manifest cannot be read",
                  "line 3 names a file outside the pack", "the manifest has no recording line",
                  "the manifest does not list results.txt", "the manifest does not list results.csv",
                  "the manifest does not list timestamp_report.csv"}));
    EXPECT_FALSE(check_evidence_pack(dir.file("nowhere")).problems.empty());
}

// Names from a race card or an operator that a spreadsheet would run as formulas are text in every
// CSV that leaves the program, and as they are in JSON and on the page.
TEST_F(Publishing, EveryCsvWritesANameThatASpreadsheetWouldRunAsText) {
    for (const char* cell : {"=1+1", "+1", "-2+3", "@SUM(1)", "\tx", "\rx"})
        EXPECT_EQ(spreadsheet_safe(cell), std::string("'") + cell);
    for (const char* cell : {"", "-30", "Fast Lady", "1=1", "'=1"})
        EXPECT_EQ(spreadsheet_safe(cell), cell);

    const std::string recording = heat("@SUM(1).px3", "2");
    const std::string hyperlink = "=HYPERLINK(\"http://x\",\"click\")";
    {
        cls_VideoFile_handler rec;
        rec.Open_File(recording);
        rec.Velt_event(hyperlink);
        rec.Velt_Dog_name(1, "+CMD|' /C calc'!A0");
        rec.Velt_Dog_name(2, "-2+3");
        rec.Write_XML_header();
    }
    const auto expect_neutral = [&](const std::string& csv, const char* writer) {
        EXPECT_NE(csv.find("\n'@SUM(1).px3,\"'=HYPERLINK(\"\"http"), std::string::npos) << writer << csv;
        EXPECT_NE(csv.find(",'+CMD|' /C calc'!A0,"), std::string::npos) << writer;
        EXPECT_NE(csv.find(",'-2+3,"), std::string::npos) << writer;
        for (const char* bare : {",=", ",+", ",-2", ",@", "\n=", "\n@"})
            EXPECT_EQ(csv.find(bare), std::string::npos) << writer << ": " << bare;
    };
    cls_VideoFile_handler rec;
    rec.Open_File(recording);
    PublishedHeat published = publish_heat(rec, 0, kDefaultUsPerLength);
    published.recording = "@SUM(1).px3";
    expect_neutral(results_csv(published), "results");
    expect_neutral(event_results_csv(read_event_results(dir.path(), kDefaultUsPerLength, false)), "event");
    write_evidence_pack(recording, dir.file("pack"), kDefaultUsPerLength);
    expect_neutral(read_whole_file(dir.file("pack/results.csv")).value_or(""), "evidence");
    EXPECT_NE(results_json(published).find("\"+CMD|' /C calc'!A0\""), std::string::npos);
}

// A pack's copy checked with the manifest's own SHA-256, as `evidence` printed it: each tampering
// fails the check, and those that leave the manifest's form intact fail it only with the SHA-256.
TEST_F(Publishing, EveryTamperingOfAPackFailsItsCheck) {
    const std::string recording = heat("heat 2.px3", "2");
    const EvidencePack pack = write_evidence_pack(recording, dir.file("pack"), kDefaultUsPerLength);
    EXPECT_EQ(fs::status(dir.file("pack")).permissions(), fs::perms(0755));
    EXPECT_EQ(fs::status(dir.file("pack/results.txt")).permissions(), fs::perms(0644));
    const std::string manifest = read_whole_file(dir.file("pack/MANIFEST.sha256")).value();
    EXPECT_EQ(sha256_hex(manifest), pack.manifest_sha256);

    const fs::path copy = dir.file("copy");
    const auto replace = [&](const std::string& from, const std::string& to) {
        std::string text = manifest;
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        save_file_atomically((copy / "MANIFEST.sha256").string(), text.replace(at, from.size(), to));
    };
    const auto line_at = [&](std::size_t at) {
        return manifest.substr(at, manifest.find('\n', at) + 1 - at);
    };
    const std::string csv_line = line_at(manifest.find("  results.csv\n") - 64);
    const std::string recording_line = line_at(manifest.find("# recording "));
    struct Tampering {
        const char* what;
        bool seen_without_sum;
        std::function<void()> apply;
    };
    const std::vector<Tampering> tamperings = {
        {"the date edited", false, [&] { replace("made 2", "made 1"); }},
        {"the recording's name edited", false, [&] { replace("  heat 2.px3", "  heat 3.px3"); }},
        {"a byte appended", true, [&] { replace(csv_line, csv_line + "x"); }},
        {"a byte appended at the end", true,
         [&] { save_file_atomically((copy / "MANIFEST.sha256").string(), manifest + " "); }},
        {"a line repeated", true, [&] { replace(csv_line, csv_line + csv_line); }},
        {"a line and its file removed", true,
         [&] {
             replace(csv_line, "");
             fs::remove(copy / "results.csv");
         }},
        {"the recording line removed", true, [&] { replace(recording_line, ""); }},
        {"a second recording line", true,
         [&] {
             replace(recording_line, recording_line + "# recording " + std::string(64, 'a') + "  x.px3\n");
         }},
        {"a file added and listed", false,
         [&] {
             save_file_atomically((copy / "box6_finish.png").string(), "x");
             replace(csv_line, csv_line + sha256_hex("x") + "  box6_finish.png\n");
         }},
        {"a file swapped for a link to an identical copy", true,
         [&] {
             fs::copy_file(copy / "results.txt", dir.file("same.txt"), fs::copy_options::overwrite_existing);
             fs::remove(copy / "results.txt");
             fs::create_symlink(dir.file("same.txt"), copy / "results.txt");
         }},
    };
    for (const Tampering& t : tamperings) {
        fs::remove_all(copy);
        fs::copy(dir.file("pack"), copy);
        EXPECT_EQ(check_evidence_pack(copy, recording, pack.manifest_sha256).problems,
                  std::vector<std::string>{});
        t.apply();
        EXPECT_FALSE(check_evidence_pack(copy, recording, pack.manifest_sha256).problems.empty()) << t.what;
        EXPECT_EQ(check_evidence_pack(copy, recording).problems.empty(), !t.seen_without_sum) << t.what;
    }
}

// A recording's name holding a line feed and a recording line of its own stays on its line: the pack
// passes its own check, and only with its own recording.
TEST_F(Publishing, ARecordingsNameCannotAddALineToTheManifest) {
    const std::string other = heat("other.px3", "3");
    const std::string name = "heat\n# recording " + sha256_file_hex(other).value() + "  other.px3\n\\n.px3";
    const std::string recording = heat(name, "2");
    const EvidencePack pack = write_evidence_pack(recording, dir.file("pack"), kDefaultUsPerLength);
    const std::string manifest = read_whole_file(dir.file("pack/MANIFEST.sha256")).value();
    EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\n'), 2 + 7);
    EXPECT_EQ(parse_manifest(manifest).recording_name, name);
    EXPECT_TRUE(check_evidence_pack(dir.file("pack"), recording, pack.manifest_sha256).problems.empty());
    EXPECT_FALSE(check_evidence_pack(dir.file("pack"), other).problems.empty());
    const std::string sums = "cd '" + dir.file("pack") + "' && sha256sum --quiet -c MANIFEST.sha256";
    EXPECT_EQ(std::system(sums.c_str()), 0);

    // What a killed run left is cleared away by the next pack made in the same place.
    fs::create_directories(dir.file(".again.partial-Ab12Cd/x"));
    write_evidence_pack(recording, dir.file("again"), kDefaultUsPerLength);
    EXPECT_FALSE(fs::exists(dir.file(".again.partial-Ab12Cd")));
}

// Three demo heats judged at the first picture that reaches each dog's true crossing, as the
// operator judges: the page ranks the dogs in the order they crossed, with a picture of each. Under
// VELTRO_SCREENSHOT_DIR the page is kept there ("event_results.html") for the README's picture.
TEST_F(Publishing, JudgedDemoHeatsMakeAnEventPageInTheOrderTheDogsCrossed) {
    fs::create_directories(dir.file("event"));
    const char* names[] = {"Fast Lady",    "Slow Joe",   "Red Comet",     "Blue Moon",     "Sandy",
                           "Tiger",        "Dusty Road", "Kilkenny Star", "Night Owl",     "Paper Moon",
                           "Quick Silver", "Westwind",   "Ballyhoo",      "Copper Kettle", "Midnight Run",
                           "Sea Breeze",   "Tally Ho",   "Whisper"};
    std::vector<std::vector<std::int16_t>> timed_boxes;
    std::vector<std::array<std::optional<std::int32_t>, 6>> crossings;
    for (int h = 1; h <= 3; ++h) {
        DemoHeatOptions options;
        options.path = dir.file("event/Spring Cup_" + std::to_string(h) + "_2026_12_07 19_0" +
                                std::to_string(h) + "_00.px3");
        options.fast = true;
        const DemoHeatResult demo = record_demo_heat(options);
        cls_VideoFile_handler rec;
        HeatTiming timing(system_clock());
        Review review(rec, timing, system_clock());
        ASSERT_EQ(review.open(options.path), Review::OpenResult::Opened);
        rec.Velt_event("Spring Cup");
        rec.Velt_Heat_ID(std::to_string(h));
        rec.Velt_Heat_Name(h == 1 ? "Puppy stakes" : h == 2 ? "Open 480" : "Final");
        for (std::int16_t box = 1; box <= 6; ++box)
            rec.Velt_Dog_name(box, names[(h - 1) * 6 + box - 1]);
        rec.Write_XML_header();
        std::vector<std::int16_t> order;
        for (std::int16_t box = 1; box <= 6; ++box) {
            if (h == 3 && box == 6) { // a dog that pulled up
                timing.no_time = true;
                timing.no_time_caption = "DNF";
                timing.Set_Time(box, 0, false);
                continue;
            }
            ASSERT_TRUE(demo.crossing_ms[static_cast<std::size_t>(box - 1)]) << box;
            review.Goto_Time(*demo.crossing_ms[static_cast<std::size_t>(box - 1)]);
            timing.Set_Time(box, *review.frame_time(), false);
            order.push_back(box);
        }
        timed_boxes.push_back(order);
        crossings.push_back(demo.crossing_ms);
    }
    save_file_atomically(dir.file("event/Spring Cup_4_2026_12_07 19_04_00.px3"), std::string(32016, '\0'));

    const EventResults results = read_event_results(dir.file("event"), kDefaultUsPerLength, true);
    ASSERT_EQ(results.heats.size(), 4u);
    EXPECT_EQ(results.event, "Spring Cup");
    for (std::size_t h = 0; h < 3; ++h) {
        const PublishedHeat& heat = *results.heats[h].heat;
        std::vector<std::int16_t> ranked;
        for (const PublishedRow& row : heat.rows)
            if (row.finish_ms)
                ranked.push_back(row.box);
        const std::vector<std::int16_t>& expected = timed_boxes[h];
        EXPECT_EQ(ranked.size(), expected.size());
        EXPECT_EQ(results.heats[h].thumbnails.size(), expected.size());
        for (const EventThumbnail& t : results.heats[h].thumbnails)
            EXPECT_EQ(t.jpeg.substr(0, 2), "\xff\xd8") << t.caption;
        // Ranked as they crossed; dogs less than a field (20 ms) apart may share a picture.
        for (std::size_t i = 0; i + 1 < ranked.size(); ++i) {
            const auto at = [&](std::int16_t box) {
                return *crossings[h][static_cast<std::size_t>(box - 1)];
            };
            EXPECT_LE(at(ranked[i]), at(ranked[i + 1]) + 20) << "heat " << h + 1 << " position " << i + 1;
        }
    }
    EXPECT_EQ(results.heats[2].heat->rows.back().no_time, "DNF");
    EXPECT_FALSE(results.heats[3].heat);

    // Written out, each judged heat links its photo finish, a picture beside the page.
    const std::string page = write_event_results(results, dir.file("event/cup"), "now").second;
    pugi::xml_document written;
    ASSERT_TRUE(written.load_file(page.c_str()));
    const pugi::xpath_node_set links = written.select_nodes("//*[local-name()='a']");
    ASSERT_EQ(links.size(), 3u);
    for (std::size_t h = 0; h < 3; ++h) {
        const std::string name = "cup heat " + std::to_string(h + 1) + " photo finish.png";
        EXPECT_EQ(links[h].node().attribute("href").value(),
                  "cup%20heat%20" + std::to_string(h + 1) + "%20photo%20finish.png");
        EXPECT_EQ(read_whole_file(dir.file("event/" + name)).value_or("").substr(1, 3), "PNG") << name;
    }

    const std::string html = event_results_html(results, "2026-12-07 19:30:00");
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(html.c_str()));
    if (const char* shots = std::getenv("VELTRO_SCREENSHOT_DIR"))
        save_file_atomically(std::string(shots) + "/event_results.html", html);
}

} // namespace
} // namespace veltro
