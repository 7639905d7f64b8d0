#include "events/card_text.h"
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

// UTF-16 as spreadsheets save "Unicode text": a byte-order mark, then little-endian code units.
std::string utf16le(const std::u16string& text, bool mark = true) {
    std::string out = mark ? "\xFF\xFE" : "";
    for (const char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    return out;
}

std::string preview(std::string_view bytes, const EventDocument* doc = nullptr) {
    EventDocument empty;
    empty.Create_Veltro_Race_File();
    const std::optional<RaceCard> card = parse_race_card(bytes);
    return card ? race_card_preview_lines(*card, doc ? *doc : empty) : "<unreadable>";
}

TEST(RaceCard, StartListsGoToTheirOwnImport) {
    EXPECT_FALSE(looks_like_race_card("Start1\nDog A, B, C\n"));
    EXPECT_FALSE(looks_like_race_card("\n\xEF\xBB\xBFStart 1\n1,2,3\n"));
    EXPECT_TRUE(looks_like_race_card("Heat,Box,Dog\n1,1,Starter Boy\n"));
    EXPECT_TRUE(looks_like_race_card("l,1,Rex\n"));
}

// Cards as clubs' spreadsheets export them; every one must give the same dogs.
TEST(RaceCard, RealLookingCardsGiveTheirDogs) {
    const struct {
        const char* what;
        std::string bytes;
        std::string expected;
    } cards[] = {
        {"semicolons, empty trailing cells", "1;1;Rex;;\r\n1;2;Max;;\r\n", "1;1;Rex;new\n1;2;Max;new\n"},
        {"heading in other words, extra columns",
         "Race No.;Trap;Greyhound;Weight;Trainer\n3;1;Rex;32.5;J Smith\n3;2;Max;30,1;P O'Neill\n",
         "3;1;Rex;new\n3;2;Max;new\n"},
        {"columns in another order", "Name,Box,Heat\nRex,1,3\n\"Bo, the second\",6,3\n",
         "3;1;Rex;new\n3;6;Bo, the second;new\n"},
        {"quoted names with commas and quotes",
         "Heat,Box,Dog,Weight\n1,1,\"Max \"\"Speedy\"\", Jr\",31.0\n1,2,\"Rex, the second\",30.5\n",
         "1;1;Max \"Speedy\", Jr;new\n1;2;Rex, the second;new\n"},
        {"title line above the heading",
         "Riverside Greyhound Club race card,,,\n,,,\nHeat,Trap,Dog Name,Trainer\n2,4,Bolt,A Jones\n",
         "2;4;Bolt;new\n"},
        {"tabs", "Heat\tBox\tDog\n5\t6\tRex, the second\n", "5;6;Rex, the second;new\n"},
        {"UTF-16 with its mark", utf16le(u"Heat\tBox\tDog\r\n1\t2\tO\u2019Brien\r\n1\t3\tFr\u00f6ken\r\n"),
         "1;2;O'Brien;new\n1;3;Fr\xC3\xB6ken;new\n"},
        {"UTF-16 without a mark", utf16le(u"1;1;Rex\r\n", false), "1;1;Rex;new\n"},
        {"Windows-1252",
         "1;2;O\x92"
         "Brien\r\n1;3;Fr\xF6ken\r\n",
         "1;2;O'Brien;new\n1;3;Fr\xC3\xB6ken;new\n"},
        {"UTF-8 with its mark", "\xEF\xBB\xBFHeat,Box,Name\n1,1,Fr\xC3\xB6ken\n", "1;1;Fr\xC3\xB6ken;new\n"},
        {"typo row first", "l,1,Rex\n1,2,Max\n",
         "1;2;Max;new\nline 1: heat \"l\" is not a number in 1..100\n"},
    };
    for (const auto& c : cards)
        EXPECT_EQ(preview(c.bytes), c.expected) << c.what;
}

TEST(RaceCard, EveryBadLineIsNamedWithItsReasonAndTheRestIsTaken) {
    const std::string big(100 * 1024, 'x');
    EXPECT_EQ(
        preview("Heat,Box,Dog\n"
                "101,1,Far\n"
                "1,7,Seven\n"
                "1,1,Rex\n"
                "1,1,Again\n"
                "2,1,\xC5\x81ucja\n"
                "2,2," +
                big +
                "\n"
                "2,3,\"Two\nlines\"\n"
                "2,4,Max\n"),
        "1;1;Rex;new\n2;4;Max;new\n"
        "line 2: heat \"101\" is not a number in 1..100\n"
        "line 3: box \"7\" is not a number in 1..6\n"
        "line 5: heat 1 box 1 is named twice\n"
        "line 6: \"\xC5\x81ucja\" " +
            EventDocument::cannot_hold_reason() +
            "\n"
            "line 7: the name is 102400 bytes long; a recording keeps at most 200\n"
            "line 8: a quoted cell runs on to line 9 (a line break in a name, or a quote not closed)\n");
    // A quote left open takes the lines after it: said with the line where the cell ends.
    EXPECT_EQ(preview("1,1,Rex\n1,2,\"Max\n1,3,Bo\n"), "1;1;Rex;new\nline 2: a quoted cell runs on to line 3 "
                                                       "(a line break in a name, or a quote not closed)\n");
    // Bytes that claim UTF-16 and are not: nothing is read.
    EXPECT_EQ(preview(std::string("\xFF\xFE\x00\xD8", 4)), "<unreadable>");
}

TEST(RaceCard, NamesASpreadsheetWouldRunAsFormulasAreTakenWithAWarning) {
    const std::optional<RaceCard> card =
        parse_race_card("1;1;=1+1\n1;2;@SUM(1)\n1;3;+CMD|' /C calc'!A0\n1;4;-Rex\n1;5;Rex-Bo\n");
    ASSERT_TRUE(card);
    EXPECT_EQ(card->entries.size(), 5u);
    ASSERT_EQ(card->warnings.size(), 4u);
    EXPECT_EQ(card->warnings[0], "line 1: the name \"=1+1\" begins like a spreadsheet formula");
    EXPECT_EQ(card->warnings[3].rfind("line 4:", 0), 0u);
}

// A corrected card: one dog scratched (empty name), one renamed, one the same, one new.
TEST(RaceCard, ACorrectedCardSaysWhatChangesAndClearsScratchedDogs) {
    EventDocument doc;
    doc.Create_Veltro_Race_File();
    doc.dog_name(1, 1, "Rex");
    doc.dog_name(1, 2, "Max");
    doc.dog_name(1, 3, "Bo");
    const std::string corrected = "Heat;Box;Dog\n1;1;Rex\n1;2;\n1;3;Bolt\n1;4;Sky\n1;5;\n";
    EXPECT_EQ(preview(corrected, &doc), "1;1;Rex;unchanged\n1;2;;cleared\n1;3;Bolt;changed\n1;4;Sky;new\n"
                                        "1;5;;unchanged\n");
    EXPECT_EQ(apply_race_card(*parse_race_card(corrected), doc), 3);
    EXPECT_EQ(doc.dog_name(1, 2), "");
    EXPECT_EQ(doc.dog_name(1, 3), "Bolt");
    EXPECT_EQ(doc.dog_name(1, 4), "Sky");
    EXPECT_EQ(preview(corrected, &doc), "1;1;Rex;unchanged\n1;2;;unchanged\n1;3;Bolt;unchanged\n"
                                        "1;4;Sky;unchanged\n1;5;;unchanged\n");
}

TEST(RaceCard, WithoutAHeadingTheOperatorChoosesTheColumns) {
    const std::string bytes = "Rex,1,3,x\nBo,6,3,y\n";
    const std::optional<RaceCard> first = parse_race_card(bytes);
    ASSERT_TRUE(first);
    EXPECT_FALSE(first->has_heading);
    EXPECT_EQ(first->column_texts, (std::vector<std::string>{"Rex", "1", "3", "x"}));
    EXPECT_EQ(first->rejected.size(), 2u);
    const std::optional<RaceCard> chosen = parse_race_card(bytes, CardColumns{2, 1, 0});
    ASSERT_TRUE(chosen);
    EXPECT_TRUE(chosen->rejected.empty());
    ASSERT_EQ(chosen->entries.size(), 2u);
    EXPECT_EQ(chosen->entries[1].name, "Bo");
    EXPECT_EQ(chosen->entries[1].box, 6);
}

TEST(RaceCard, ImportWritesNamesShowsLastHeatAndSavesNothing) {
    testing::TempDir dir;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    testing::FakeOperator op;
    EventSession session(dir.file("events"));
    session.fields().event_name = "Cup";
    session.create_new_event_file();
    session.document().dog_name(3, 2, "Kept");

    EXPECT_EQ(import_race_card(*parse_race_card("3,1,Rex\n3,4,Bo\n5,6,Max\n"), session), 3);
    EXPECT_EQ(session.Reg_Dog_Name(3, 2), "Kept");
    EXPECT_EQ(session.current_heat(), 5);
    EXPECT_EQ(session.fields().dog_names[5], "Max");
    // On disk only after the editor's next save.
    EventSession reread(dir.file("events"));
    reread.open_another_event_file(session.current_event_file());
    EXPECT_EQ(reread.Reg_Dog_Name(5, 6), "");
    set_settings_path({});
}

} // namespace
} // namespace veltro
