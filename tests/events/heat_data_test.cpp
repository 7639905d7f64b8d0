#include "events/event_session.h"
#include "events/heat_data.h"
#include "fake_operator.h"
#include "own_settings.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

class HeatDataTest : public testing::OwnSettingsTest {};

TEST_F(HeatDataTest, FromTheEventFileOrTestAndTheUpDownStoresTheHeat) {
    EventSession session(dir.path().string());
    HeatData none = Display_Heat_Data(session, 2);
    EXPECT_FALSE(none.from_event_file);
    EXPECT_EQ(none.event_name, "Test");
    EXPECT_EQ(none.heat_name, "Test");
    EXPECT_FALSE(heat_up_down_changed(session, false, 2));
    EXPECT_EQ(Read_Setting(keys::heat_id), "1");

    session.fields().event_name = "Cup";
    session.fields().day = "Sunday";
    session.create_new_event_file();
    ASSERT_TRUE(session.event_valid()) << op.last_message();
    session.current_heat(2);
    session.write_heat_name("Final");
    session.write_heat_length("480");
    session.write_dog_name(3, "Red Comet");

    const HeatData d = Display_Heat_Data(session, 2);
    EXPECT_TRUE(d.from_event_file);
    EXPECT_EQ(d.heat_number, "2");
    EXPECT_EQ(d.heat_name, "Final");
    EXPECT_EQ(d.heat_length, "480 m");
    EXPECT_EQ(d.dog_names[2], "Red Comet");
    EXPECT_EQ(d.event_file_label, file_name_part(session.current_event_file()));

    EXPECT_FALSE(heat_up_down_changed(session, true, 3)); // a recording is under review
    EXPECT_EQ(Read_Setting(keys::heat_id), "1");
    EXPECT_TRUE(heat_up_down_changed(session, false, 3));
    EXPECT_EQ(Read_Setting(keys::heat_id), "3");
}

} // namespace
} // namespace veltro
