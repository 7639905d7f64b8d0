#include "error_number.h"
#include "events/event_session.h"
#include "events/heat_competitors.h"
#include "own_settings.h"
#include "timing/fake_heat_values.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using Names = std::array<std::string, kTimedBoxes>;

// A recording whose header write can be made to fail.
struct Recording : testing::FakeHeatValues {
    bool fail_write = false;
    void Write_XML_header() override {
        if (fail_write)
            throw VeltroError(err::kPermissionDenied, "Permission denied");
        FakeHeatValues::Write_XML_header();
    }
    Names dogs() const {
        Names n;
        for (std::int16_t b = 1; b <= kTimedBoxes; ++b)
            n[static_cast<std::size_t>(b - 1)] = Velt_Dog_name(b);
        return n;
    }
};

class HeatCompetitors : public testing::OwnSettingsTest {
protected:
    void SetUp() override {
        OwnSettingsTest::SetUp();
        for (std::int16_t b = 1; b <= kTimedBoxes; ++b)
            rec.box(b).dog = "Rec " + std::to_string(b);
        rec.heat_name = "Rec heat";
        rec.heat_id = "3";
    }

    // An event file whose heat 3 has the recording's names except box 2 and the heat name, and whose
    // heat 4 has no names at all.
    void open_event_file() {
        session.fields().event_name = "Cup";
        session.fields().day = "d";
        session.create_new_event_file();
        session.current_heat(3);
        for (std::int16_t b = 1; b <= kTimedBoxes; ++b)
            session.write_dog_name(b, b == 2 ? "Event 2" : "Rec " + std::to_string(b));
        session.write_heat_name("Final");
    }

    // What the window does with the fields: each one's change handler runs.
    int run_change_handlers(HeatCompetitorList& list) {
        int written = 0;
        const HeatCompetitorList::Fields f = list.fields();
        for (std::int16_t b = 1; b <= kTimedBoxes; ++b)
            written += list.dog_name_changed(b, f.dog_names[static_cast<std::size_t>(b - 1)]) ? 1 : 0;
        written += list.heat_name_changed(f.heat_name) ? 1 : 0;
        return written;
    }

    Recording rec;
    EventSession session{dir.file("events")};
};

TEST_F(HeatCompetitors, OpeningWritesOnlyWhatDiffersFromTheRecording) {
    open_event_file();
    HeatCompetitorList list(rec, session);
    ASSERT_TRUE(list.load_Dog_Names());
    EXPECT_EQ(list.fields().dog_names[1], "Rec 2");
    EXPECT_EQ(run_change_handlers(list), 0);
    EXPECT_FALSE(list.changed());

    EXPECT_EQ(list.first_heat(9), 3);
    ASSERT_TRUE(list.apply_heat(3));
    EXPECT_EQ(run_change_handlers(list), 2);
    EXPECT_EQ(rec.box(2).dog, "Event 2");
    EXPECT_EQ(rec.heat_name, "Final");
    EXPECT_EQ(rec.box(1).dog, "Rec 1");
    EXPECT_TRUE(list.changed());

    EXPECT_TRUE(list.store_changes());
    EXPECT_FALSE(list.store_changes());
    EXPECT_EQ(rec.writes, 1);

    // The same names again change nothing and write nothing.
    list.load_Dog_Names();
    list.apply_heat(3);
    EXPECT_EQ(run_change_handlers(list), 0);
    EXPECT_FALSE(list.store_changes());
    EXPECT_EQ(rec.writes, 1);
}

// On opening, a heat the event file has no names for keeps a judged recording's names; chosen by
// the operator, the event's (empty) heat is applied.
TEST_F(HeatCompetitors, AnEventHeatWithoutNamesEmptiesTheRecordingOnlyWhenChosen) {
    open_event_file();
    HeatCompetitorList list(rec, session);
    list.load_Dog_Names();
    EXPECT_FALSE(list.apply_heat(4, true));
    EXPECT_EQ(run_change_handlers(list), 0);
    EXPECT_EQ(rec.box(6).dog, "Rec 6");
    ASSERT_TRUE(list.apply_heat(4));
    EXPECT_EQ(run_change_handlers(list), kTimedBoxes + 1);
    EXPECT_EQ(rec.dogs(), Names{});
    EXPECT_EQ(rec.heat_name, "");
}

TEST_F(HeatCompetitors, WithoutAnEventFileTheRecordingsNamesStay) {
    HeatCompetitorList list(rec, session);
    list.load_Dog_Names();
    EXPECT_FALSE(list.apply_heat(3));
    EXPECT_EQ(list.fields().dog_names[5], "Rec 6");
    EXPECT_EQ(run_change_handlers(list), 0);
    EXPECT_EQ(rec.box(6).dog, "Rec 6");
}

TEST_F(HeatCompetitors, WithNoRecordingOpenTheEventNamesShowAndNothingIsWritten) {
    open_event_file();
    rec.open = false;
    HeatCompetitorList list(rec, session);
    EXPECT_FALSE(list.load_Dog_Names());
    EXPECT_EQ(list.first_heat(120), 100);
    EXPECT_EQ(list.first_heat(0), 1);
    ASSERT_TRUE(list.apply_heat(3));
    EXPECT_EQ(list.fields().dog_names[1], "Event 2");
    EXPECT_EQ(run_change_handlers(list), 0);
    EXPECT_FALSE(list.update_current_file());
    EXPECT_FALSE(list.store_changes());
    EXPECT_EQ(rec.box(2).dog, "Rec 2");
    EXPECT_EQ(rec.writes, 0);
}

TEST_F(HeatCompetitors, ARecordingsHeatThatIsNoHeatNumberFallsBackToTheMainWindows) {
    for (const char* id : {"", "x3", "3x", "0", "101"}) {
        rec.heat_id = id;
        EXPECT_EQ(HeatCompetitorList(rec, session).first_heat(5), 5) << id;
    }
}

TEST_F(HeatCompetitors, UpdateCurrentFileStoresTheSixDogFields) {
    HeatCompetitorList list(rec, session);
    list.load_Dog_Names();
    rec.box(4).dog = "Changed elsewhere";
    EXPECT_TRUE(list.update_current_file());
    EXPECT_EQ(rec.box(4).dog, "Rec 4");
    EXPECT_FALSE(list.update_current_file());
    EXPECT_THROW(list.dog_name_changed(7, "x"), VeltroError);
}

TEST_F(HeatCompetitors, AReadOnlyRecordingIsRefusedAndKeepsItsNames) {
    open_event_file();
    rec.read_only = true;
    HeatCompetitorList list(rec, session);
    list.load_Dog_Names();
    list.apply_heat(3);
    EXPECT_EQ(testing::error_number([&] { list.dog_name_changed(2, "Event 2"); }), err::kPermissionDenied);
    // Refused once: the other fields of the same showing are not reported again.
    EXPECT_FALSE(list.heat_name_changed("Final"));
    EXPECT_EQ(testing::error_number([&] { list.update_current_file(); }), err::kPermissionDenied);
    EXPECT_FALSE(list.store_changes());
    EXPECT_EQ(rec.box(2).dog, "Rec 2");
    EXPECT_EQ(rec.heat_name, "Rec heat");
    EXPECT_EQ(rec.writes, 0);
    // Loaded afresh, it is refused again.
    list.load_Dog_Names();
    EXPECT_THROW(list.dog_name_changed(2, "Event 2"), VeltroError);
}

TEST_F(HeatCompetitors, AFailedHeaderWriteKeepsTheChangeForTheNextAttempt) {
    HeatCompetitorList list(rec, session);
    list.load_Dog_Names();
    ASSERT_TRUE(list.dog_name_changed(1, "New"));
    rec.fail_write = true;
    EXPECT_THROW(list.store_changes(), VeltroError);
    EXPECT_TRUE(list.changed());
    rec.fail_write = false;
    EXPECT_TRUE(list.store_changes());
    EXPECT_EQ(rec.writes, 1);
}

} // namespace
} // namespace veltro
