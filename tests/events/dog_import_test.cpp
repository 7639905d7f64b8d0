#include "events/dog_import.h"
#include "events/event_session.h"
#include "fake_operator.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>
#include <sstream>

namespace veltro {
namespace {

class DogImportTest : public ::testing::Test {
protected:
    void SetUp() override { set_settings_path(dir.file("Veltro_HDMI.ini")); }

    std::int32_t import(const std::string& text) {
        std::istringstream in(text);
        return Import_Dogs(in, session, hooks);
    }

    std::string dog(int heat, int box) const {
        return session.Reg_Dog_Name(static_cast<std::int16_t>(heat), static_cast<std::int16_t>(box));
    }

    testing::TempDir dir;
    testing::FakeOperator op;
    EventSession session{dir.file("events")};
    DogImportHooks hooks;
};

TEST_F(DogImportTest, ExampleFillsBoxesInOrderAndEmptyLinesUseUpABox) {
    session.document().dog_name(1, 3, "Kept");
    int heats = 0, names = 0;
    hooks.heat_changed = [&] { ++heats; };
    hooks.name_stored = [&] { ++names; };

    EXPECT_EQ(import("Start1\nDog A\nDog B\n\nDog D\nStart2\nDog E\n"), 4);

    EXPECT_EQ(dog(1, 1), "Dog A");
    EXPECT_EQ(dog(1, 2), "Dog B");
    EXPECT_EQ(dog(1, 3), "Kept");
    EXPECT_EQ(dog(1, 4), "Dog D");
    EXPECT_EQ(dog(2, 1), "Dog E");
    EXPECT_EQ(dog(2, 2), "");
    EXPECT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.last_message(), "4 Dogs imported!");
    EXPECT_EQ(heats, 2);
    EXPECT_EQ(names, 4);
    // The editor shows the heat being filled.
    EXPECT_EQ(session.current_heat(), 2);
    EXPECT_EQ(session.fields().dog_names[0], "Dog E");
}

TEST_F(DogImportTest, HeatNumberIsInCharactersSixToEight) {
    EXPECT_EQ(import("Start 7 \r\n  Seven One \r\nStart100\r\nHundred\rStart 12\nTwelve"), 3);
    EXPECT_EQ(dog(7, 1), "Seven One");
    EXPECT_EQ(dog(100, 1), "Hundred");
    EXPECT_EQ(dog(12, 1), "Twelve");
    EXPECT_EQ(dog(7, 2), ""); // CR LF is one line end, not two
}

TEST_F(DogImportTest, ConsecutiveStartLinesClearNothing) {
    session.document().dog_name(3, 1, "Earlier");
    EXPECT_EQ(import("Start3\nStart4\nFour\n"), 1);
    EXPECT_EQ(dog(3, 1), "Earlier");
    EXPECT_EQ(dog(4, 1), "Four");
}

TEST_F(DogImportTest, EmptyFileReportsZero) {
    EXPECT_EQ(import(""), 0);
    EXPECT_EQ(op.last_message(), "0 Dogs imported!");
}

TEST_F(DogImportTest, NameOutsideAHeatStopsAndKeepsEarlierNames) {
    EXPECT_EQ(import("Dog before any heat\n"), 0);
    EXPECT_EQ(op.last_message(), "Invalid import file format!");

    op.messages.clear();
    EXPECT_EQ(import("Start5\nFive\nStart101\nNowhere\nStart6\nSix\n"), 1);
    ASSERT_EQ(op.messages.size(), 1u) << "no count after the stop";
    EXPECT_EQ(op.last_message(), "Invalid import file format!");
    EXPECT_EQ(dog(5, 1), "Five");
    EXPECT_EQ(dog(6, 1), "");
    EXPECT_EQ(session.current_heat(), 5);
}

TEST_F(DogImportTest, StarterBoyIsAHeatLineThatFails) {
    try {
        import("Start1\nRex\nStarter Boy\nMax\n");
        FAIL() << "no failure";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kTypeMismatch);
        EXPECT_NE(e.description().find("line 3"), std::string::npos) << e.description();
    }
    EXPECT_EQ(dog(1, 1), "Rex");
    EXPECT_EQ(dog(1, 2), "");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DogImportTest, NinthNameFailsAfterEightAreStored) {
    std::string text = "Start9\n";
    for (int b = 1; b <= 8; ++b)
        text += "Dog " + std::to_string(b) + "\n";
    // A ninth empty line still fits; a ninth name does not.
    EXPECT_EQ(import(text + "\n"), 8);
    EXPECT_EQ(dog(9, 8), "Dog 8");
    EXPECT_THROW(import(text + "Dog 9\n"), VeltroError);
    EXPECT_EQ(dog(9, 8), "Dog 8");
}

TEST_F(DogImportTest, Latin1AndUtf8FilesGiveTheSameNames) {
    EXPECT_EQ(import("\xEF\xBB\xBFStart1\nFr\xC3\xB6ken\n"), 1);
    EXPECT_EQ(import("Start2\nFr\xF6ken\n"), 1);
    EXPECT_EQ(dog(1, 1), "Fröken");
    EXPECT_EQ(dog(2, 1), "Fröken");
}

TEST_F(DogImportTest, NameTheEventFileCannotHoldFailsInsteadOfBecomingQuestionMarks) {
    EXPECT_THROW(import("Start1\nRex\n\xC5\x81ucja\n"), VeltroError);
    EXPECT_EQ(dog(1, 1), "Rex");
    EXPECT_EQ(dog(1, 2), "");
}

TEST_F(DogImportTest, ImportFolderDefaultIsTheHomeFolder) {
    testing::ScopedEnv home("HOME", "/home/race");
    EXPECT_EQ(import_folder(), "/home/race/");
    Write_Setting(keys::importdir, "/srv/cards/");
    EXPECT_EQ(import_folder(), "/srv/cards/");
}

TEST_F(DogImportTest, ImportNeedsAValidEventFile) {
    EXPECT_FALSE(session.import_possible());
    EXPECT_EQ(op.last_message(), "No valid Event File open!\r\nImport not possible");

    store_import_folder("/home/race/lists/heats.txt");
    EXPECT_EQ(import_folder(), "/home/race/lists/");
    EXPECT_THROW(import_dogs_file(dir.file("none.txt"), session), VeltroError);
}

} // namespace
} // namespace veltro
