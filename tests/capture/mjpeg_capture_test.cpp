// MJPEG cameras through the V4L2 back end: pictures taken as sent, only the crop window decoded,
// damaged pictures counted and skipped.
#include "app/heat_lifecycle.h"
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/backends/v4l2/v4l2_device.h"
#include "capture/capture_hdmi.h"
#include "capture/capture_trace.h"
#include "capture/fake_v4l2.h"
#include "capture/format_description.h"
#include "capture/hdmi_crop.h"
#include "capture/mjpeg_frame.h"
#include "fake_operator.h"
#include "picture/jpeg_codec.h"
#include "recording/jpeg_fit.h"
#include "recording/video_file_handler.h"
#include "scoped_env.h"
#include "support/settings.h"
#include "temp_dir.h"

#include <cstring>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::FakeV4L2;

constexpr std::int32_t kW = DemoRaceScene::kWidth;
constexpr std::int32_t kH = DemoRaceScene::kHeight;

std::vector<std::uint8_t> compress(const std::uint8_t* bottom_up, std::int32_t width, std::int32_t height,
                                   std::int32_t stride) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * height);
    std::int32_t size = static_cast<std::int32_t>(out.size());
    EXPECT_TRUE(jpg_from_pixels(bottom_up, width, height, stride, out.data(), size, 90));
    out.resize(static_cast<std::size_t>(size));
    return out;
}

// The demo race at `scene_ms` as a camera compresses it.
std::vector<std::uint8_t> demo_jpeg(const DemoRaceScene& scene, double scene_ms) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
    scene.render(frame.data(), scene_ms, scene_ms);
    return compress(frame.data(), kW, kH, DemoRaceScene::kStride);
}

// The same stream without its Huffman tables, as many USB cameras send their pictures.
std::vector<std::uint8_t> without_huffman_tables(const std::vector<std::uint8_t>& jpg) {
    std::vector<std::uint8_t> out(jpg.begin(), jpg.begin() + 2);
    std::size_t at = 2;
    while (at + 4 <= jpg.size() && jpg[at] == 0xFF && jpg[at + 1] != 0xDA) {
        const std::size_t length = 2 + (std::size_t{jpg[at + 2]} << 8 | jpg[at + 3]);
        if (jpg[at + 1] != 0xC4) {
            out.insert(out.end(), jpg.begin() + static_cast<std::ptrdiff_t>(at),
                       jpg.begin() + static_cast<std::ptrdiff_t>(at + length));
        }
        at += length;
    }
    out.insert(out.end(), jpg.begin() + static_cast<std::ptrdiff_t>(at), jpg.end());
    return out;
}

// The crop of a whole decode: what every stored picture must be.
cDIBSection whole_decode_crop(const std::vector<std::uint8_t>& jpg, std::int32_t crop_w,
                              std::int32_t crop_h) {
    cDIBSection whole;
    EXPECT_TRUE(DIB_From_JPG(whole, jpg.data(), static_cast<std::int32_t>(jpg.size())));
    cDIBSection crop;
    EXPECT_TRUE(crop_frame(whole.DIBSectionBitsPtr(), whole.SizeImage(), kW, kH, crop_w, crop_h, crop));
    return crop;
}

bool same_pixels(const cDIBSection& a, const cDIBSection& b) {
    return a.Width() == b.Width() && a.Height() == b.Height() && a.SizeImage() == b.SizeImage() &&
           std::memcmp(a.DIBSectionBitsPtr(), b.DIBSectionBitsPtr(),
                       static_cast<std::size_t>(a.SizeImage())) == 0;
}

// A sink that wants rows: it gets each picture decoded whole.
struct RowSink final : CaptureEventSink {
    std::vector<std::vector<std::uint8_t>> frames;
    std::int64_t lost = 0;
    void OnRGBEvent(const std::uint8_t* frame, std::int32_t length, std::optional<std::uint32_t>) override {
        frames.emplace_back(frame, frame + length);
    }
    void on_frames_lost(std::int64_t count) override { lost += count; }
};

// What a fast USB camera sends: whole pictures of the demo race, one without Huffman tables, and
// damaged ones.
struct CameraPictures {
    std::vector<std::vector<std::uint8_t>> good;
    std::vector<std::uint8_t> no_tables;
    std::vector<std::uint8_t> cut_short; // cut inside the crop window: only its decode can tell
    std::vector<std::uint8_t> garbage;
    std::vector<std::uint8_t> other_size;

    CameraPictures() {
        const DemoRaceScene scene;
        for (const double ms : {2080.0, 2100.0, 2120.0, 2140.0, 2160.0}) {
            good.push_back(demo_jpeg(scene, ms));
        }
        no_tables = without_huffman_tables(good[4]);
        cut_short.assign(good[1].begin(), good[1].begin() + static_cast<std::ptrdiff_t>(good[1].size() / 2));
        garbage.resize(40000);
        for (std::size_t i = 0; i < garbage.size(); ++i) {
            garbage[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
        }
        cDIBSection small;
        small.Create(64, 48);
        small.Fill_with_RGB(0x204080);
        other_size = compress(small.DIBSectionBitsPtr(), 64, 48, small.BytesPerScanLine());
    }
};

// A camera that offers the size as rows at 30 pictures a second and as MJPEG at 120, on a clock of
// whole milliseconds (8 ms a picture), and the capture source that takes its frames when told.
std::unique_ptr<cls_Capture_HDMI> mjpeg_camera(FakeV4L2& io, const FakeV4L2::Node& node, ManualClock& clock) {
    io.plug("/fake/video0", node);
    std::vector<MediaType> formats{v4l2_describe_format(V4L2_PIX_FMT_YUYV, kW, kH, 1, 30),
                                   v4l2_describe_format(V4L2_PIX_FMT_MJPEG, kW, kH, 1, 120)};
    std::vector<std::unique_ptr<CaptureDevice>> devices;
    devices.push_back(std::make_unique<V4L2Device>(
        V4L2Identity{"/fake/video0", node.card, node.bus, "fakev4l2"}, std::move(formats),
        std::vector<std::pair<std::uint32_t, std::uint32_t>>{{1, 30}, {1, 120}}, io));
    auto capture =
        std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock), clock);
    capture->watch_device(false);
    return capture;
}

class MjpegCapture : public ::testing::Test {
protected:
    MjpegCapture() {
        set_settings_path(dir_.file("Veltro_HDMI.ini"));
        set_capture_trace([](const std::string&) {});
        capture_halted(false);
        node_.card = "Fast USB camera";
        node_.width = kW;
        node_.height = kH;
    }
    ~MjpegCapture() override {
        set_capture_trace({});
        set_settings_path({});
    }

    testing::TempDir dir_;
    testing::ScopedEnv env_{"VELTRO_DATA_DIR", dir_.path().string()};
    testing::FakeOperator op_;
    const CameraPictures p_;
    FakeV4L2::Node node_;
    ManualClock clock_{80000};
    FakeV4L2 io_{clock_, 8};
};

// Without the heat's capture (a store target that wants pictures) the window is decoded on the
// capture thread.
TEST_F(MjpegCapture, EveryWholePictureIsStoredAsTheCropOfAWholeDecodeAndDamagedOnesAreCounted) {
    const auto& good = p_.good;
    const auto& no_tables = p_.no_tables;
    ASSERT_LT(no_tables.size(), good[4].size());
    // The last one is damaged, so the live picture must be the last whole one.
    node_.jpeg_pictures = {good[0], p_.cut_short,  good[1],   good[2],   p_.garbage,
                           good[3], p_.other_size, no_tables, p_.garbage};
    const std::vector<bool> whole{true, false, true, true, false, true, false, true, false};
    std::unique_ptr<cls_Capture_HDMI> camera = mjpeg_camera(io_, node_, clock_);
    cls_Capture_HDMI& capture = *camera;

    // The source list names the codec; with no format set the fastest MJPEG runs.
    ASSERT_TRUE(capture.component().SelectSource("video:1"));
    EXPECT_EQ(Process_AMT(capture.component().get_format_record("getAMT00")), "1920*1080/30");
    EXPECT_EQ(Process_AMT(capture.component().get_format_record("getAMT01")), "1920*1080/120 MJPEG");
    EXPECT_EQ(Process_AMT(capture.component().get_format_record("GetProp")), "1920*1080/120 MJPEG");

    RowSink rows;
    capture.component().Advise(rows);
    capture.set_HDMI_Crop(600, 1080);
    capture.Do_CROP(true);
    std::vector<cDIBSection> stored;
    std::vector<std::uint32_t> stamps;
    capture.store_target([&](const cDIBSection& picture, std::uint32_t mill, std::int32_t, std::int32_t) {
        stored.push_back(picture);
        stamps.push_back(mill);
    });
    std::int64_t told_lost = 0;
    capture.frames_lost = [&](std::int64_t count, std::uint32_t) { told_lost += count; };
    capture.Capture_Run();
    ASSERT_EQ(capture.Last_Error(), "");
    EXPECT_EQ(io_.calls[2], "S_FMT 1920*1080");

    for (std::size_t i = 0; i < whole.size(); ++i) {
        clock_.advance(8);
        capture.dispatch_now();
    }
    capture.deliver_notices();

    const std::vector<const std::vector<std::uint8_t>*> expected{&good[0], &good[1], &good[2], &good[3],
                                                                 &no_tables};
    ASSERT_EQ(stored.size(), expected.size());
    std::vector<std::uint32_t> expected_stamps;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if (whole[i]) {
            expected_stamps.push_back(80000 + 8 * static_cast<std::uint32_t>(i + 1));
        }
    }
    EXPECT_EQ(stamps, expected_stamps);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_TRUE(same_pixels(stored[i], whole_decode_crop(*expected[i], 600, 1080))) << "picture " << i;
    }
    EXPECT_TRUE(same_pixels(stored[4], whole_decode_crop(good[4], 600, 1080)));
    EXPECT_EQ(capture.corrupt_frames(), 4);
    EXPECT_EQ(capture.frames_lost_total(), 4);
    EXPECT_EQ(told_lost, 4);
    EXPECT_EQ(capture.HDMI_events(), 5);
    EXPECT_FALSE(capture_halted());
    cDIBSection live;
    ASSERT_TRUE(capture.copy_cropped_picture(live));
    EXPECT_TRUE(same_pixels(live, stored.back()));

    // A sink that wants rows gets the whole pictures, and hears of the damaged ones as lost.
    ASSERT_EQ(rows.frames.size(), expected.size());
    cDIBSection first;
    ASSERT_TRUE(DIB_From_JPG(first, good[0].data(), static_cast<std::int32_t>(good[0].size())));
    EXPECT_EQ(rows.frames[0], std::vector<std::uint8_t>(first.DIBSectionBitsPtr(),
                                                        first.DIBSectionBitsPtr() + first.SizeImage()));
    EXPECT_EQ(rows.lost, 4);
    capture.Stop_Capture();
}

// A camera that sends only garbage is counted in full, but traced sparingly: the trace keeps the
// evening's history.
TEST_F(MjpegCapture, AGarbageCameraIsCountedInFullAndTracedOnceInAThousand) {
    node_.jpeg_pictures = {p_.garbage};
    std::unique_ptr<cls_Capture_HDMI> camera = mjpeg_camera(io_, node_, clock_);
    std::vector<std::string> lines;
    set_capture_trace([&](const std::string& line) {
        if (line.find("Corrupt frame") != std::string::npos)
            lines.push_back(line);
    });
    ASSERT_TRUE(camera->component().SelectSource("video:1"));
    camera->set_HDMI_Crop(600, 1080);
    camera->Do_CROP(true);
    camera->Capture_Run();
    for (int i = 0; i < 2500; ++i) {
        clock_.advance(8);
        camera->dispatch_now();
    }
    camera->deliver_notices();
    camera->Stop_Capture();
    EXPECT_EQ(camera->corrupt_frames(), 2500);
    EXPECT_EQ(camera->frames_lost_total(), 2500);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_NE(lines[9].find("10 since the camera started (one in a thousand traced)"), std::string::npos);
    EXPECT_NE(lines[11].find("2000 since the camera started"), std::string::npos);
}

class NullProgress final : public AppendProgress {
public:
    void begin(const std::string&) override {}
    void percent(int) override {}
    void end() override {}
};

// The picture a recording holds for a camera picture: the crop, compressed at `quality`, decoded.
cDIBSection recorded_crop(const std::vector<std::uint8_t>& jpg, std::int16_t quality) {
    const cDIBSection crop = whole_decode_crop(jpg, 600, 1080);
    std::vector<std::uint8_t> stream;
    const FittedStream fitted =
        compress_to_fit(crop.DIBSectionBitsPtr(), 600, 1080, crop.BytesPerScanLine(), quality, 0, stream);
    cDIBSection picture;
    EXPECT_TRUE(DIB_From_JPG(picture, stream.data(), fitted.size));
    return picture;
}

// In a heat the capture thread only checks each picture's header and stamps it; the compression
// workers decode the windows. The recording holds exactly the whole pictures, with their own stamps;
// a picture damaged inside its window was stamped, and is left out and told as lost all the same.
TEST_F(MjpegCapture, InAHeatTheWindowsAreDecodedByTheWorkersAndOnlyWholePicturesAreRecorded) {
    const auto& good = p_.good;
    node_.jpeg_pictures = {good[0], p_.cut_short, good[1], p_.garbage, good[2], p_.other_size, good[3]};
    std::unique_ptr<cls_Capture_HDMI> capture = mjpeg_camera(io_, node_, clock_);
    ASSERT_TRUE(capture->component().SelectSource("video:1"));
    std::int64_t told_lost = 0;
    capture->frames_lost = [&](std::int64_t count, std::uint32_t) { told_lost += count; };
    cls_VideoFile_handler recording;
    HeatLifecycle heat(*capture, recording, clock_);
    heat.start_camera(600, 1080);
    const auto film = [&](int rounds) {
        for (std::size_t i = 0; i < rounds * node_.jpeg_pictures.size(); ++i) {
            clock_.advance(8);
            capture->dispatch_now();
        }
    };
    film(8); // into the pre-roll, while the rate is measured

    HeatArming arming;
    arming.crop_width = 600;
    arming.crop_height = 1080;
    const std::string path = dir_.file("heat.px3");
    heat.initiate(path, arming);
    ASSERT_EQ(heat.start(clock_.millis(), 0, false, {}), HeatLifecycle::Start::Started);
    const std::uint32_t first = clock_.millis() + 8;
    ASSERT_EQ(heat.capture_start(true, true, false, clock_.millis() + 1),
              HeatLifecycle::CaptureStart::Started);
    film(2);
    NullProgress progress;
    ASSERT_TRUE(heat.capture_end(true, false, 10000, progress));
    capture->deliver_notices();

    cls_VideoFile_handler rec;
    rec.event_log([](const std::string&) {});
    rec.Open_File(path);
    const std::vector<std::uint32_t> places{0, 2, 4, 6, 7, 9, 11, 13};
    ASSERT_EQ(rec.num_Frames(), static_cast<std::int32_t>(places.size()));
    for (std::int32_t n = 1; n <= rec.num_Frames(); ++n) {
        rec.Read_RGB_sample(n, true);
        const std::uint32_t place = places[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(rec.Timestamp_long(), static_cast<std::int32_t>(first + 8 * place)) << "frame " << n;
        EXPECT_TRUE(same_pixels(rec.frame_bitmap(),
                                recorded_crop(good[place % 7 / 2], rec.PX3_Compression_Quality())))
            << "frame " << n;
    }
    // Ten rounds: the picture cut short was stamped each time, the other two damaged ones never.
    EXPECT_EQ(capture->HDMI_events(), 50);
    EXPECT_EQ(capture->corrupt_frames(), 30);
    EXPECT_EQ(capture->frames_lost_total(), 30);
    EXPECT_EQ(told_lost, 30);
    cDIBSection live;
    ASSERT_TRUE(capture->copy_cropped_picture(live));
    EXPECT_TRUE(same_pixels(live, whole_decode_crop(good[3], 600, 1080)));
    heat.camera_stopped();
}

} // namespace
} // namespace veltro
