// The journal beside a recording: its entries survive a crash that cuts the last one short, and a
// header block torn by a crash (or never reached by the last rewrite) is restored from it on open.
#include "failing_file.h"
#include "recording/header_journal.h"
#include "recording/recording_check.h"
#include "recording_fixture.h"
#include "support/files.h"
#include "support/memory_file.h"
#include "support/veltro_error.h"

#include <array>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::FailingFile;
using testing::lend;

std::string text_of(const MemoryFile& file) {
    return std::string(file.bytes().begin(), file.bytes().end());
}

TEST(HeaderJournalFile, EntriesSurviveACutLastEntryAndAFailedAppendLeavesNoTrace) {
    MemoryFile disk;
    {
        HeaderJournal journal(lend(disk), "heat.px3.journal");
        journal.append(JournalKind::Header, "<a>1</a>", "2024-05-01 14:03:00.000");
        journal.append(JournalKind::Frames, encode_frames_payload({4, {0xdeadbeef, 7}}),
                       "2024-05-01 14:03:01.250");
        journal.append(JournalKind::Header, "<a>2</a>", "2024-05-01 14:03:02.500");
    }
    const std::string whole = text_of(disk);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", crc32_of("<a>1</a>", 8));
    const std::string first = "VJ1 1 2024-05-01 14:03:00.000 header 8 " + std::string(crc) + "\n<a>1</a>\n";
    EXPECT_EQ(whole.substr(0, first.size()), first);
    const JournalContents all = decode_journal(whole);
    ASSERT_EQ(all.entries.size(), 3u);
    EXPECT_EQ(all.entries[1].sequence, 2u);
    EXPECT_EQ(all.entries[1].time, "2024-05-01 14:03:01.250");
    const auto frames = decode_frames_payload(all.entries[1].payload);
    ASSERT_TRUE(frames.has_value());
    EXPECT_EQ(frames->first, 4);
    EXPECT_EQ(frames->crcs, (std::vector<std::uint32_t>{0xdeadbeef, 7}));
    EXPECT_EQ(all.last_header()->payload, "<a>2</a>");
    EXPECT_EQ(all.header_before(*all.last_header())->payload, "<a>1</a>");
    const auto crcs = recorded_frame_crcs(all, 6);
    EXPECT_FALSE(crcs[2].has_value());
    EXPECT_EQ(crcs[3], 0xdeadbeefu);
    EXPECT_EQ(crcs[4], 7u);
    // A later pass from the same frame on (the earlier one was never counted) replaces its checksums.
    JournalContents again = all;
    again.entries.push_back(all.entries[1]);
    again.entries.back().payload = encode_frames_payload({5, {9}});
    EXPECT_EQ(recorded_frame_crcs(again, 6)[4], 9u);
    EXPECT_EQ(recorded_frame_crcs(again, 6)[3], 0xdeadbeefu);

    // Cut anywhere inside the last entry, or one byte of its text changed: the entry is not there.
    const std::size_t last_at = whole.rfind("VJ1 ");
    for (std::size_t cut = last_at + 1; cut < whole.size(); ++cut) {
        const JournalContents c = decode_journal(std::string_view(whole).substr(0, cut));
        ASSERT_EQ(c.entries.size(), 2u) << cut;
        EXPECT_EQ(c.last_header()->payload, "<a>1</a>") << cut;
    }
    std::string changed = whole;
    changed[whole.size() - 3] = '3';
    EXPECT_EQ(decode_journal(changed).last_header()->payload, "<a>1</a>");

    // A journal whose last entry was torn gets the next entry behind the torn bytes, numbered on.
    MemoryFile torn(std::vector<std::uint8_t>(whole.begin(), whole.end() - 5));
    {
        HeaderJournal journal(lend(torn), "heat.px3.journal");
        journal.append(JournalKind::Header, "<a>3</a>", "2024-05-01 14:04:00.000");
    }
    const JournalContents after = decode_journal(text_of(torn));
    ASSERT_EQ(after.entries.size(), 3u);
    EXPECT_EQ(after.entries[2].sequence, 3u);
    EXPECT_EQ(after.last_header()->payload, "<a>3</a>");
    EXPECT_GT(after.skipped_bytes, 0);

    // A disk that fills up inside the entry: an error naming the journal, the file as it was.
    FailingFile full(disk);
    full.disk_full_after(20);
    HeaderJournal journal(lend(full), "heat.px3.journal");
    try {
        journal.append(JournalKind::Header, "<a>4</a>", "2024-05-01 14:05:00.000");
        FAIL() << "a full disk took the entry";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kDiskFull);
        EXPECT_EQ(e.description(), "Cannot write heat.px3.journal: No space left on device");
    }
    EXPECT_EQ(text_of(disk), whole);
}

// A recording with times, the header before and after the last change, and the journal of both.
class JournalRestore : public ::testing::Test {
protected:
    testing::FakeOperator op;
    testing::TempDir dir;
    std::string path = dir.file("heat 1.px3");
    std::vector<std::string> log;
    std::string old_text;
    std::string new_text;
    std::unique_ptr<px3::HeaderBlock> old_block = std::make_unique<px3::HeaderBlock>();
    std::unique_ptr<px3::HeaderBlock> new_block = std::make_unique<px3::HeaderBlock>();
    static constexpr std::array<std::int32_t, 6> kTimes{23450, 23910, 24030, 24110, 25020, 26400};

    void SetUp() override {
        cls_VideoFile_handler rec;
        rec.event_log([this](const std::string& line) { log.push_back(line); });
        Arm_Test_Recording(rec, path, 64, 48);
        Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3));
        rec.Open_File(path);
        rec.Velt_Heat_time(1, false, 23000);
        rec.Write_XML_header();
        old_text = rec.xml_header().XML_string();
        for (std::int16_t box = 1; box <= 6; ++box) {
            rec.Velt_Dog_name(box, "Dog number " + std::to_string(box));
            rec.Velt_Heat_time(box, false, kTimes[static_cast<std::size_t>(box - 1)]);
        }
        rec.Velt_dead_heat(4, true);
        rec.Write_XML_header();
        new_text = rec.xml_header().XML_string();
        rec.Close_File();
        px3::encode_header_block(old_text, *old_block);
        px3::encode_header_block(new_text, *new_block);
        // The change lies late in a longer text: a block torn before it holds the whole old text.
        ASSERT_GT(new_text.size(), old_text.size());
    }
    void put_block(const std::uint8_t* block) {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.write(reinterpret_cast<const char*>(block), px3::kHeaderBlockSize);
    }
    std::string block_on_disk() const {
        return read_whole_file(path).value().substr(0, px3::kHeaderBlockSize);
    }
    static std::string bytes(const px3::HeaderBlock& block) {
        return std::string(reinterpret_cast<const char*>(block.data()), block.size());
    }
    // The blocks a rewrite of the old header by the new one leaves when it stops at each 512-byte
    // boundary of the new text: the new bytes before it, then the old bytes or zeros.
    std::vector<std::pair<std::string, std::unique_ptr<px3::HeaderBlock>>> torn_blocks() const {
        std::vector<std::pair<std::string, std::unique_ptr<px3::HeaderBlock>>> out;
        for (std::size_t at = 512; at < px3::kTextOffset + new_text.size(); at += 512) {
            for (const bool zeros : {false, true}) {
                auto block = std::make_unique<px3::HeaderBlock>(*old_block);
                if (zeros) {
                    block->fill(0);
                }
                std::copy(new_block->begin(), new_block->begin() + static_cast<std::ptrdiff_t>(at),
                          block->begin());
                out.emplace_back(std::to_string(at) + (zeros ? " then zeros" : " then the old header"),
                                 std::move(block));
            }
        }
        return out;
    }
    void expect_new_values(const cls_VideoFile_handler& rec) const {
        ASSERT_TRUE(rec.Has_XML());
        for (std::int16_t box = 1; box <= 6; ++box) {
            EXPECT_EQ(rec.Velt_Heat_time(box, false), kTimes[static_cast<std::size_t>(box - 1)]) << box;
            EXPECT_EQ(rec.Velt_Dog_name(box), "Dog number " + std::to_string(box));
        }
        EXPECT_TRUE(rec.Velt_dead_heat(4));
        EXPECT_EQ(rec.xml_header().G_Frames_no(), 3);
    }
};

TEST_F(JournalRestore, HeaderTornAtEveryBoundaryOpensWithTheNewestHeaderOrIsReportedWithoutJournal) {
    const std::string journal = read_whole_file(journal_path(path)).value();
    const auto cases = torn_blocks();
    ASSERT_GE(cases.size(), 8u);
    for (const auto& [what, block] : cases) {
        SCOPED_TRACE(what);
        put_block(block->data());
        op.messages.clear();
        log.clear();
        cls_VideoFile_handler rec;
        rec.event_log([this](const std::string& line) { log.push_back(line); });
        rec.Open_File(path);
        expect_new_values(rec);
        EXPECT_EQ(rec.xml_header().loaded_text(), new_text);
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(op.last_message().rfind(
                      "The header of " + path + " was damaged by a write that was cut short (", 0),
                  0u)
            << op.last_message();
        EXPECT_NE(op.last_message().find("It has been restored from its journal"), std::string::npos);
        EXPECT_EQ(log, std::vector<std::string>{op.last_message()});
        rec.Close_File();
        EXPECT_EQ(block_on_disk(), bytes(*new_block));
        EXPECT_TRUE(check_recording(path).problems.empty()) << check_recording(path).problems.front();
    }
    EXPECT_EQ(read_whole_file(journal_path(path)).value(), journal) << "restoring adds nothing to it";

    std::filesystem::remove(journal_path(path));
    for (const auto& [what, block] : cases) {
        SCOPED_TRACE(what);
        put_block(block->data());
        op.messages.clear();
        cls_VideoFile_handler rec;
        rec.event_log([](const std::string&) {});
        rec.Open_File(path);
        ASSERT_EQ(op.messages.size(), 1u);
        EXPECT_EQ(op.last_message().rfind("The header of " + path + " is damaged (", 0), 0u)
            << op.last_message();
        EXPECT_NE(op.last_message().find(") and has no journal to restore it from: "), std::string::npos);
        EXPECT_EQ(block_on_disk(), bytes(*block)) << "left as it is";
    }
}

// The last rewrite journalled but never begun; a read-only file; a header from another program.
TEST_F(JournalRestore, HeaderBehindItsJournalIsRestoredUnlessReadOnlyAndAForeignOneIsLeftAlone) {
    put_block(old_block->data());
    const JournalEntry last = *decode_journal(read_whole_file(journal_path(path)).value()).last_header();
    cls_VideoFile_handler rec;
    rec.event_log([this](const std::string& line) { log.push_back(line); });
    rec.File_name(path);
    rec.Open_px3_for_Append();
    expect_new_values(rec);
    EXPECT_EQ(op.last_message(), "The last change to the header of " + path +
                                     " was cut short before it reached the recording. It has been restored "
                                     "from its journal: the heat is as it was at " +
                                     last.time.substr(11, 8) + " (change " + std::to_string(last.sequence) +
                                     ").");
    rec.abandon_append();
    EXPECT_EQ(block_on_disk(), bytes(*new_block));

    // Read only: shown as the journal has it, the file untouched.
    put_block(torn_blocks().front().second->data());
    const std::string torn = read_whole_file(path).value();
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    op.messages.clear();
    rec.Open_File(path);
    expect_new_values(rec);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.last_message().find(
                  "The file is read only, so it is not repaired; the heat is shown as it was at "),
              std::string::npos)
        << op.last_message();
    rec.Close_File();
    EXPECT_EQ(read_whole_file(path).value(), torn);
    std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);

    // Another program's header parses and matches no entry: it stays, and the operator hears of it.
    std::string foreign = new_text;
    foreign.replace(foreign.find("Dog number 2"), 12, "Dog number 9");
    auto block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(foreign, *block);
    put_block(block->data());
    op.messages.clear();
    log.clear();
    rec.Open_File(path);
    EXPECT_EQ(rec.Velt_Dog_name(2), "Dog number 9");
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.last_message(), "The header of " + path +
                                     " matches no entry of its journal: another program changed it. The heat "
                                     "is shown as that program left it.");
    EXPECT_EQ(log, std::vector<std::string>{op.last_message()});
    rec.Close_File();
    EXPECT_EQ(block_on_disk(), bytes(*block));
    EXPECT_EQ(check_recording(path).problems,
              std::vector<std::string>{
                  "header text matches no journal entry nor its checksum: another program changed it"});
}

// Two changes of the same length far apart: a rewrite torn between them leaves a header that parses
// but is neither the old one nor the new one.
TEST_F(JournalRestore, TornBetweenTwoChangesOfTheSameLengthIsRestoredThoughItParses) {
    cls_VideoFile_handler rec;
    rec.event_log([this](const std::string& line) { log.push_back(line); });
    rec.Open_File(path);
    rec.Velt_Heat_time(1, false, 23460);
    rec.Velt_Heat_time(6, false, 26410);
    rec.Write_XML_header();
    const std::string latest = rec.xml_header().XML_string();
    rec.Close_File();
    ASSERT_EQ(latest.size(), new_text.size());
    // Torn in the sector after box 1's new time (the update time, stamped to the second, may differ
    // earlier in the text too).
    const std::size_t first_change = latest.find(">23460<");
    ASSERT_NE(first_change, std::string::npos);
    const std::size_t at = (px3::kTextOffset + first_change) / 512 * 512 + 512;
    ASSERT_NE(latest.substr(at - px3::kTextOffset), new_text.substr(at - px3::kTextOffset));
    auto torn = std::make_unique<px3::HeaderBlock>(*new_block);
    px3::encode_header_block(latest, *torn);
    std::copy(new_block->begin() + static_cast<std::ptrdiff_t>(at), new_block->end(),
              torn->begin() + static_cast<std::ptrdiff_t>(at));
    put_block(torn->data());
    Cls_XML_header parsed;
    parsed.XML_string(px3::decode_header_block(torn->data(), torn->size()).text);
    ASSERT_TRUE(parsed.Has_XML());
    EXPECT_EQ(parsed.Velt_Heat_time(1, false), 23460);
    EXPECT_EQ(parsed.Velt_Heat_time(6, false), 26400);

    rec.Open_File(path);
    EXPECT_EQ(rec.Velt_Heat_time(1, false), 23460);
    EXPECT_EQ(rec.Velt_Heat_time(6, false), 26410);
    EXPECT_NE(op.last_message().find("was damaged by a write that was cut short (it is partly the header "
                                     "before the last change). It has been restored"),
              std::string::npos)
        << op.last_message();
}

// A journal that cannot be written does not cost the operator a time: the header is stored, and the
// operator hears of the journal once.
TEST_F(JournalRestore, AJournalThatCannotBeWrittenDoesNotStopAChange) {
    const std::string recording = read_whole_file(path).value();
    const std::string journal = read_whole_file(journal_path(path)).value();
    MemoryFile disk(std::vector<std::uint8_t>(recording.begin(), recording.end()));
    MemoryFile journal_disk(std::vector<std::uint8_t>(journal.begin(), journal.end()));
    FailingFile failing(journal_disk);
    failing.disk_full_after(0);
    cls_VideoFile_handler rec;
    rec.event_log([this](const std::string& line) { log.push_back(line); });
    rec.Open_File(lend(disk), "heat 1.px3", lend(failing));
    ASSERT_TRUE(rec.Has_XML());
    rec.Velt_Heat_time(2, false, 30010);
    rec.Write_XML_header();
    rec.Velt_Heat_time(3, false, 30020);
    rec.Write_XML_header();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.last_message(),
              "The journal of heat 1.px3 cannot be written (Cannot write heat 1.px3.journal: No "
              "space left on device). Changes are still stored in the recording, but a header "
              "damaged by a crash cannot be restored from its journal.");
    EXPECT_EQ(log.size(), 2u);
    EXPECT_EQ(text_of(journal_disk), journal);
    rec.Close_File();

    cls_VideoFile_handler reader;
    reader.event_log([](const std::string&) {});
    reader.Open_File(std::make_unique<MemoryFile>(disk.bytes()), "check.px3");
    EXPECT_EQ(reader.Velt_Heat_time(2, false), 30010);
    EXPECT_EQ(reader.Velt_Heat_time(3, false), 30020);
    const std::string stored = reader.xml_header().loaded_text();
    const RecordingCheck check = check_recording(disk, &journal_disk);
    EXPECT_TRUE(check.problems.empty()) << check.problems.front();
    EXPECT_EQ(check.notes,
              std::vector<std::string>{"the last change of the header (its checksum is whole) is "
                                       "not in the journal: the journal could not be written then"});

    // With the journal back, the change it missed goes in first, dated when it was made.
    rec.Open_File(lend(disk), "heat 1.px3", lend(journal_disk));
    rec.Velt_Heat_time(4, false, 30030);
    rec.Write_XML_header();
    rec.Close_File();
    const JournalContents after = decode_journal(text_of(journal_disk));
    ASSERT_GE(after.entries.size(), 2u);
    const JournalEntry& missed = after.entries[after.entries.size() - 2];
    EXPECT_EQ(missed.payload, stored);
    EXPECT_EQ(missed.time, reader.xml_header().Update_Time() + ".000");
    EXPECT_EQ(after.entries.back().payload, rec.xml_header().XML_string());
}

// One small change (box 3 from 2,29 to 2,32) cut at every byte where the two blocks differ, the rest
// old or zeros: each cut is restored from the journal, and without the journal reported, never taken
// for a header.
TEST(HeaderCut, EveryByteLevelCutOfAChangeIsRestoredOrReported) {
    testing::FakeOperator op;
    testing::TempDir dir;
    const std::string path = dir.file("heat 3.px3");
    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    Arm_Test_Recording(rec, path, 64, 48);
    Append_Test_Frames(rec, testing::CapturedFrames(64, 48, 3));
    rec.Open_File(path);
    rec.Velt_Heat_time(3, false, 2291);
    rec.Write_XML_header();
    auto old_block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(rec.xml_header().XML_string(), *old_block);
    rec.Velt_Heat_time(3, false, 2319);
    rec.Write_XML_header();
    const std::string new_text = rec.xml_header().XML_string();
    auto new_block = std::make_unique<px3::HeaderBlock>();
    px3::encode_header_block(new_text, *new_block);
    rec.Close_File();
    const JournalContents journal = decode_journal(read_whole_file(journal_path(path)).value());
    ASSERT_EQ(journal.last_header()->payload, new_text);

    std::size_t first = 0;
    while ((*old_block)[first] == (*new_block)[first]) {
        ++first;
    }
    std::size_t last = new_block->size() - 1;
    while ((*old_block)[last] == (*new_block)[last]) {
        --last;
    }
    const std::size_t time_at = px3::kTextOffset + new_text.find(">2319<") + 3;
    ASSERT_LT(first, time_at);
    ASSERT_GE(last, time_at);
    auto cut = std::make_unique<px3::HeaderBlock>();
    const auto cut_at = [&](std::size_t at, bool zeros) {
        *cut = *old_block;
        if (zeros) {
            std::fill(cut->begin() + static_cast<std::ptrdiff_t>(at), cut->end(), 0);
        }
        std::copy_n(new_block->begin(), at, cut->begin());
    };
    for (std::size_t at = first + 1; at <= last; ++at) {
        for (const bool zeros : {false, true}) {
            cut_at(at, zeros);
            const HeaderJudgement with = judge_header_block(*cut, &journal);
            ASSERT_EQ(with.state, HeaderState::Damaged) << at << (zeros ? " then zeros" : "");
            ASSERT_EQ(with.last, journal.last_header());
            ASSERT_EQ(judge_header_block(*cut, nullptr).state, HeaderState::Damaged)
                << at << (zeros ? " then zeros" : "");
        }
    }

    // Through the reader, cut inside the time: "2,39" with the journal restored, without it reported.
    cut_at(time_at, false);
    const std::string torn = std::string(reinterpret_cast<const char*>(cut->data()), cut->size());
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.write(torn.data(), static_cast<std::streamsize>(torn.size()));
    }
    rec.Open_File(path);
    EXPECT_EQ(rec.Velt_Heat_time(3, false), 2319);
    EXPECT_NE(op.last_message().find("It has been restored from its journal"), std::string::npos);
    rec.Close_File();
    std::filesystem::remove(journal_path(path));
    {
        std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
        f.write(torn.data(), static_cast<std::streamsize>(torn.size()));
    }
    op.messages.clear();
    rec.Open_File(path);
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.last_message(),
              "The header of " + path +
                  " is damaged (its text does not match its checksum) and has no journal to "
                  "restore it from: the heat's times shown may be wrong.");
}

} // namespace
} // namespace veltro
