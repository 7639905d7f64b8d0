#include "capture/format_description.h"
#include "capture/hdmi_performance.h"
#include "capture/jpg_bench.h"
#include "capture/source_selection.h"
#include "capture_fakes.h"
#include "fake_operator.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::FakeDevice;
using testing::hd_format;

TEST(ProcessAMT, DescribesSizeAndRateToOneDecimal) {
    EXPECT_EQ(Process_AMT(hd_format(400000)), "1920*1080/25");
    EXPECT_EQ(Process_AMT(hd_format(333667)), "1920*1080/30");
    EXPECT_EQ(Process_AMT(hd_format(334000)), "1920*1080/29.9");
    EXPECT_EQ(Process_AMT(hd_format(200000)), "1920*1080/50");
    // 10^7 / 320000 = 31.25 exactly: the half goes to the even tenth.
    EXPECT_EQ(Process_AMT(make_media_type(720, 576, 320000, 0, false)), "720*576/31.2");
    EXPECT_EQ(current_capture().image_size, 720 * 576 * 3);

    MediaType no_block;
    EXPECT_EQ(Process_AMT(no_block), "Corrupt data!");
    EXPECT_EQ(Process_AMT(std::nullopt), "Corrupt data!");
    EXPECT_EQ(Process_AMT(hd_format(0)), "Corrupt data!");
}

std::unique_ptr<CaptureComponent>
component_with(std::vector<std::pair<std::string, std::vector<MediaType>>> sources) {
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    for (auto& [name, formats] : sources) {
        devices.push_back(std::make_unique<FakeDevice>(name, formats));
    }
    return make_capture_component(std::move(devices), system_clock());
}

TEST(SourceSelection, EnumerationSkipsARepeatOfTheRowBeforeOnly) {
    MediaType corrupt;
    auto component = component_with({
        {"Grabber A", {hd_format(400000), hd_format(400000), hd_format(200000), hd_format(400000)}},
        {"Grabber B", {hd_format(200000), corrupt, corrupt}},
    });
    const auto rows = Do_Enum(*component);
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].format_number, 0);
    EXPECT_EQ(rows[1].format_number, 2);
    EXPECT_EQ(rows[1].description, "1920*1080/50");
    EXPECT_EQ(rows[2].format_number, 3); // listed again after a different one
    // The comparison starts afresh for every source.
    EXPECT_EQ(rows[3].source_number, 2);
    EXPECT_EQ(rows[3].description, "1920*1080/50");
    EXPECT_EQ(rows[4].description, "Corrupt data!");

    EXPECT_EQ(Do_Select(rows, "Grabber A", "3"), std::optional<std::size_t>(2));
    EXPECT_EQ(Do_Select(rows, "Grabber A", "1"), std::nullopt); // a skipped format number
    EXPECT_EQ(Do_Select(rows, "Grabber B", "-1"), std::nullopt);
    EXPECT_EQ(Do_Select(rows, "noname", "0"), std::nullopt);

    const std::string text = source_list_text(rows, "2026-12-06 20:30:00", "5.0.0", "PC1");
    EXPECT_EQ(text.substr(0, text.find("2  Grabber B")),
              "Video source enumeration at 2026-12-06 20:30:00\r\nProgram version 5.0.0 Computer name PC1\r\n"
              "1  Grabber A  0  1920*1080/25\r\n1  Grabber A  2  1920*1080/50\r\n1  Grabber A  3  "
              "1920*1080/25\r\n");

    EXPECT_TRUE(Do_Enum(*component_with({})).empty());
}

TEST(SourceSelection, RowClickWritesTheTwoSettings) {
    testing::TempDir dir;
    set_settings_path(dir.file("Veltro_HDMI.ini"));
    save_source_choice({2, "Grabber B", 7, "1920*1080/50"});
    EXPECT_EQ(Read_Setting(keys::friendlyname), "Grabber B");
    EXPECT_EQ(Read_Setting(keys::videoproperty), "7");
    set_settings_path({});
}

TEST(HDMIPerformance, CountsAgainstTheNominalPeriod) {
    HdmiPerformanceCounters c;
    c.Reset_Counters(5000);
    for (int i = 0; i < 240; ++i) {
        c.HDMI_event(5000 + 10000 * (i + 1) / 240, 25);
    }
    EXPECT_EQ(c.received(), 240);
    EXPECT_EQ(c.calculated(), 250);
    EXPECT_EQ(c.lost(), -10);
    for (int i = 0; i < 10; ++i) {
        c.HDMI_event(15000, 25);
    }
    EXPECT_EQ(c.lost(), 0);
    c.HDMI_event(15000, 50); // from 31 frames per second on, the measured rate's period
    EXPECT_EQ(c.calculated(), 500);
    c.HDMI_event(15000, 120);
    EXPECT_EQ(c.calculated(), 1200);

    const DeltaColumn d = plot_delta_column(300, 100, 40, 10);
    EXPECT_EQ(d.x, 299);
    EXPECT_EQ(d.y_bottom, 99);
    EXPECT_EQ(d.y_top, 59);
    EXPECT_EQ(d.reference_y[2], 20);
    EXPECT_EQ(d.reference_x_from, 12);
    EXPECT_EQ(plot_delta_column(300, 100, 500).y_top, 0);

    EXPECT_EQ(hdmi_dimensions_text("1920*1080", 400), "1920*1080, 25 fps");
    EXPECT_EQ(hdmi_dimensions_text("1920*1080", 0), "");
}

TEST(HDMIPerformance, MinMaxRatesComeFromTheIntervalTextsAndNonsenseReadsUnknown) {
    // 100 ns units: 400000 is 25 frames a second, 200000 is 50; the longest interval is the lowest rate.
    EXPECT_EQ(min_max_fps_text("200000", "400000"), "min max fps: 25 / 50");
    EXPECT_EQ(min_max_fps_text("333667", "333667"), "min max fps: 30 / 30");
    EXPECT_EQ(min_max_fps_text("0", ""), "min max fps: ? / ?");
    EXPECT_EQ(min_max_fps_text("-5", "99999999999"), "min max fps: ? / ?");
}

TEST(HDMIPerformance, DeltaHistoryKeepsTheNewestWhenItWrapsAround) {
    DeltaHistory h;
    EXPECT_EQ(h.size(), 0u);
    for (std::int32_t i = 0; i < static_cast<std::int32_t>(DeltaHistory::kCapacity) + 5; ++i) {
        h.push(i);
    }
    EXPECT_EQ(h.size(), DeltaHistory::kCapacity);
    EXPECT_EQ(h.back(0), static_cast<std::int32_t>(DeltaHistory::kCapacity) + 4);
    EXPECT_EQ(h.back(DeltaHistory::kCapacity - 1), 5);
    h.clear();
    h.push(40);
    EXPECT_EQ(h.size(), 1u);
    EXPECT_EQ(h.back(0), 40);
}

// Moves on by `step` ms at every reading, so one call that reads it twice sees time pass.
class TickingClock final : public Clock {
public:
    TickingClock(std::uint32_t start, std::uint32_t step) : now_(start), step_(step) {}
    std::uint32_t millis() const override { return now_ += step_; }
    std::int32_t local_ms() const override { return 0; }

private:
    mutable std::uint32_t now_;
    std::uint32_t step_;
};

TEST(JPGBench, AveragesTenCompressionsAndReportsFailure) {
    testing::FakeOperator op;
    const TickingClock clock(1000, 37);
    Class_JPG_Bench bench(clock);
    std::int32_t result = -1;
    ASSERT_TRUE(bench.JPG_Bench(600, 1080, result));
    EXPECT_EQ(result, 3); // 37 ms for 10
    EXPECT_TRUE(op.messages.empty());

    result = -1;
    EXPECT_FALSE(bench.JPG_Bench(4096, 4096, result)); // does not fit in 100000 bytes
    EXPECT_EQ(result, -1);
    EXPECT_EQ(op.last_message(), "JPEG comp error!");

    EXPECT_EQ(jpg_bench_report("06.12.2026 20:30:00", "PC1", "CPU= 8664 2 core 3.0GHz",
                               {{"400*880", 4}, {"600*1080", 7}}),
              "JPG compression benchmark at: 06.12.2026 20:30:00\r\nComputer name = PC1\r\n"
              "CPU info: CPU= 8664 2 core 3.0GHz\r\n400*880 =  4ms\r\n600*1080 =  7ms\r\n---Report end---");
}

} // namespace
} // namespace veltro
