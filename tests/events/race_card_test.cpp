#include "events/event_session.h"
#include "events/race_card.h"
#include "fake_operator.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(EventText, TheEventFileHoldsWesternLettersOnly) {
    EXPECT_TRUE(EventDocument::can_hold(""));
    EXPECT_TRUE(EventDocument::can_hold("Fr\xC3\xB6ken \xC3\xBF\xC2\xA0-\tA & <B>"));
    // Outside ISO-8859-1: would come back as "?".
    EXPECT_FALSE(EventDocument::can_hold("\xC5\x81ucja"));         // L with stroke
    EXPECT_FALSE(EventDocument::can_hold("Dog \xE2\x82\xAC"));     // euro sign
    EXPECT_FALSE(EventDocument::can_hold("Dog \xF0\x9F\x90\x95")); // a dog emoji
    // Control characters make an unreadable XML 1.0 file.
    EXPECT_FALSE(EventDocument::can_hold("Rex\x01"));
    EXPECT_FALSE(EventDocument::can_hold("Rex\nMax"));
    EXPECT_FALSE(EventDocument::can_hold("Rex\xC2\x85"));
    EXPECT_FALSE(EventDocument::can_hold("Fr\xF6ken")); // not UTF-8 at all
}

TEST(RaceCard, RecognisedByShapeWithOrWithoutHeading) {
    EXPECT_TRUE(Looks_like_race_card("1,1,Rex\n1,2,Max\n"));
    EXPECT_TRUE(Looks_like_race_card("\xEF\xBB\xBFHeat;Box;Dog\r\n\r\n3;4;Bo\r\n"));
    EXPECT_TRUE(Looks_like_race_card("Heat\tBox\tDog\n2\t6\tRex, the second\n"));
    // The lists of the "Start" import never look like a card, not even with commas in a name.
    EXPECT_FALSE(Looks_like_race_card("Start1\nDog A, B, C\n"));
    EXPECT_FALSE(Looks_like_race_card("Start 1\n1,2,3\n"));
    EXPECT_FALSE(Looks_like_race_card(""));
    EXPECT_FALSE(Looks_like_race_card("Heat,Box,Dog\n"));
    EXPECT_FALSE(Looks_like_race_card("a,b,c\nd,e,f\n"));
}

TEST(RaceCard, ReadsSeparatorsQuotesEncodingsAndSkipsEmptyNames) {
    const RaceCard tabs = Parse_race_card("Heat\tBox\tDog\n2\t6\tRex, the second\n2\t1\t  \n");
    ASSERT_TRUE(tabs.problems.empty()) << tabs.problems.front();
    ASSERT_EQ(tabs.entries.size(), 1u);
    EXPECT_EQ(tabs.entries[0].heat, 2);
    EXPECT_EQ(tabs.entries[0].box, 6);
    EXPECT_EQ(tabs.entries[0].name, "Rex, the second");

    const RaceCard csv = Parse_race_card("1,1,\"Max \"\"Speedy\"\", Jr\"\r1,2,Fr\xF6ken\r\n1,3,Bo, Jr\n");
    ASSERT_TRUE(csv.problems.empty()) << csv.problems.front();
    ASSERT_EQ(csv.entries.size(), 3u);
    EXPECT_EQ(csv.entries[0].name, "Max \"Speedy\", Jr");
    EXPECT_EQ(csv.entries[1].name, "Fr\xC3\xB6ken"); // ISO-8859-1 file, UTF-8 in memory
    EXPECT_EQ(csv.entries[2].name, "Bo, Jr");        // unquoted separator stays in the name
    EXPECT_EQ(csv.entries[2].line, 3);
}

TEST(RaceCard, EveryBadLineIsNamedAndNothingIsKeptFromIt) {
    const RaceCard card = Parse_race_card("Heat,Box,Dog\n"
                                          "1,1,Rex\n"
                                          "101,1,Far\n"
                                          "0,2,Zero\n"
                                          "1,7,Seven\n"
                                          "1,1,Again\n"
                                          "x,1,Word\n"
                                          "2,1,\xC5\x81ucja\n"
                                          "1, 99999999999 ,Big\n");
    ASSERT_EQ(card.problems.size(), 7u);
    EXPECT_EQ(card.problems[0], "line 3: heat 101 is not in 1..100");
    EXPECT_EQ(card.problems[1], "line 4: heat 0 is not in 1..100");
    EXPECT_EQ(card.problems[2], "line 5: box 7 is not in 1..6");
    EXPECT_EQ(card.problems[3], "line 6: heat 1 box 1 is named twice");
    EXPECT_EQ(card.problems[4], "line 7: not a heat number, box number and dog name");
    EXPECT_EQ(card.problems[5].rfind("line 8: \"\xC5\x81ucja\" has a character", 0), 0u) << card.problems[5];
    EXPECT_EQ(card.problems[6], "line 9: box 99999999999 is not in 1..6");
    EXPECT_EQ(card.entries.size(), 1u);
}

TEST(RaceCard, ImportWritesNamesShowsLastHeatAndSavesNothing) {
    testing::TempDir dir;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    EventSession session(dir.file("events"));
    session.fields().event_name = "Cup";
    session.Create_new_Event_file();
    const std::string before = session.document().serialise();
    session.document().dog_name(3, 2, "Kept");

    const RaceCard card = Parse_race_card("3,1,Rex\n3,4,Bo\n5,6,Max\n");
    EXPECT_EQ(Race_card_preview(card),
              "3 dog names will be imported:\r\nHeat 3:  1 Rex  4 Bo\r\nHeat 5:  6 Max");
    EXPECT_EQ(Import_race_card(card, session), 3);
    EXPECT_EQ(session.Reg_Dog_Name(3, 1), "Rex");
    EXPECT_EQ(session.Reg_Dog_Name(3, 2), "Kept");
    EXPECT_EQ(session.Reg_Dog_Name(3, 4), "Bo");
    EXPECT_EQ(session.Reg_Dog_Name(5, 6), "Max");
    EXPECT_EQ(session.current_heat(), 5);
    EXPECT_EQ(session.fields().dog_names[5], "Max");
    // On disk only after the editor's next save.
    EventSession reread(dir.file("events"));
    reread.Open_another_event_file(session.current_event_file());
    EXPECT_EQ(reread.Reg_Dog_Name(5, 6), "");
    set_settings_path({});
}

} // namespace
} // namespace veltro
