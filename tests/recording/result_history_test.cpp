// The History and undo read from a journal of header texts.
#include "recording/header_journal.h"
#include "recording/result_history.h"
#include "recording/xml_header.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

// A journal of the headers written as the heat was judged; each step changes the header of the last.
class Judged {
public:
    Judged() {
        header_.Create_Header();
        write();
    }
    Judged& time(std::int16_t box, std::int32_t t, const std::string& kind = {}) {
        header_.Velt_Heat_time(box, false, t);
        return write(kind);
    }
    Judged& official(const std::string& mark, const std::string& kind = {}) {
        header_.velt_official(mark);
        return write(kind);
    }
    // Ctrl+Z as the program does it: the box times of the target, marked "undo".
    Judged& undo() {
        const JournalEntry* target = undo_target(journal);
        if (!target)
            throw std::runtime_error("nothing to undo");
        Cls_XML_header old;
        old.XML_string(target->payload);
        for (std::int16_t box = 1; box <= 2; ++box)
            header_.Velt_Heat_time(box, false, old.Velt_Heat_time(box, false));
        return write("undo");
    }
    std::int32_t time(std::int16_t box) const { return header_.Velt_Heat_time(box, false); }
    JournalContents journal;

private:
    Judged& write(const std::string& kind = {}) {
        header_.velt_changed_by("Anna");
        header_.velt_change(kind);
        const auto n = static_cast<std::uint32_t>(journal.entries.size() + 1);
        journal.entries.push_back({n, "2026-12-08 14:03:0" + std::to_string(n % 10) + ".000",
                                   JournalKind::Header, header_.XML_string(), 0});
        return *this;
    }
    Cls_XML_header header_;
};

TEST(ResultUndo, EachUndoTakesBackTheLastChangeNotUndoneAndSkipsTheOfficialMark) {
    Judged heat;
    heat.time(1, 23450).time(2, 23600).time(1, 25000);
    heat.official("Anna, 2026-12-08 14:05:00").official("", "reason: box 1 misjudged");
    heat.undo();
    EXPECT_EQ(heat.time(1), 23450);
    heat.undo();
    EXPECT_EQ(heat.time(2), 0);
    heat.time(2, 23700).undo();
    EXPECT_EQ(heat.time(2), 0);
    heat.undo();
    EXPECT_EQ(heat.time(1), 0);
    EXPECT_EQ(undo_target(heat.journal), nullptr);

    const std::vector<ResultChange> history = result_history(heat.journal);
    ASSERT_EQ(history.size(), 10u);
    EXPECT_EQ(result_change_line(history[3]), "14:03:05  result declared official  by Anna");
    EXPECT_EQ(history[4].what, "official withdrawn (reason: box 1 misjudged)");
    EXPECT_EQ(history[5].what, "box 1 finish time 25,00 -> 23,45 (undo)");
}

// Recordings made before the marks existed have none of their elements; a write naming nobody adds
// none, so such a header stays as older readers know it, and its values read back as before.
TEST(ResultUndo, AHeaderWithoutMarksGainsNoElementUnlessAChangeNamesSomeone) {
    Cls_XML_header header;
    header.Create_Header();
    header.Velt_Heat_time(2, false, 23450);
    const std::string before = header.XML_string();
    header.velt_changed_by("");
    header.velt_change("");
    header.velt_official("");
    EXPECT_EQ(header.XML_string(), before);
    EXPECT_EQ(header.velt_official(), "");

    header.velt_official("Anna, 2026-12-08 14:05:00");
    Cls_XML_header read;
    read.XML_string(header.XML_string());
    EXPECT_EQ(read.Velt_Heat_time(2, false), 23450);
    EXPECT_EQ(read.velt_official(), "Anna, 2026-12-08 14:05:00");
    EXPECT_NE(read.XML_string().find("</box>"), std::string::npos);
}

} // namespace
} // namespace veltro
