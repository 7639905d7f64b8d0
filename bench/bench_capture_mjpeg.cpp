// The capture thread's work per picture of an MJPEG camera sending 1920x1080 with a 600x1080 crop, at
// 50, 100 and 200 pictures a second, three ways side by side: the heat's capture, where the capture
// thread checks the header, stamps the picture and copies the stream for the compression workers
// (which decode the window); only the crop window decoded on the capture thread; a whole decode and
// the crop of rows. "share" is the part of one picture period spent on it (CPU time of the capture
// thread). The workers' part, the window decode and the compression, is measured on its own.
#include "capture/backends/demo/demo_race_scene.h"
#include "capture/capture_hdmi.h"
#include "capture/mjpeg_frame.h"
#include "picture/jpeg_band.h"
#include "picture/jpeg_codec.h"
#include "recording/jpeg_fit.h"

#include <benchmark/benchmark.h>
#include <vector>

namespace {

using namespace veltro;

constexpr std::int32_t kW = DemoRaceScene::kWidth;
constexpr std::int32_t kH = DemoRaceScene::kHeight;

// The demo race as a camera sends it: one JPEG picture, quality 80.
const std::vector<std::uint8_t>& demo_jpeg() {
    static const std::vector<std::uint8_t> jpg = [] {
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(DemoRaceScene::kImageSize));
        DemoRaceScene().render(frame.data(), 2100, 2100);
        std::vector<std::uint8_t> out(frame.size());
        std::int32_t size = static_cast<std::int32_t>(out.size());
        jpg_from_pixels(frame.data(), kW, kH, DemoRaceScene::kStride, out.data(), size, 80);
        out.resize(static_cast<std::size_t>(size));
        return out;
    }();
    return jpg;
}

void report_share(benchmark::State& state, std::int64_t rate) {
    // CPU seconds over (pictures x period): the share of one core at that rate.
    state.counters["share"] =
        benchmark::Counter(static_cast<double>(state.iterations()) / static_cast<double>(rate),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A source that offers 1920x1080 as MJPEG; the benchmark hands its pictures over itself.
class MjpegSource final : public CaptureDevice {
public:
    std::string friendly_name() const override { return "MJPEG camera"; }
    std::string description() const override { return {}; }
    const std::vector<MediaType>& formats() const override { return formats_; }
    std::string start(std::size_t) override { return {}; }
    void Stop() override {}
    int event_fd() const override { return -1; }
    void dispatch(const FrameCallback&) override {}

private:
    std::vector<MediaType> formats_{make_media_type(kW, kH, 50000, fourcc('M', 'J', 'P', 'G'), false)};
};

struct Source {
    ManualClock clock{1000};
    std::unique_ptr<cls_Capture_HDMI> capture;
    std::int64_t stored = 0;

    Source() {
        std::vector<std::unique_ptr<CaptureDevice>> devices;
        devices.push_back(std::make_unique<MjpegSource>());
        capture =
            std::make_unique<cls_Capture_HDMI>(make_capture_component(std::move(devices), clock), clock);
        capture->component().SelectSource("video:1");
        capture->set_HDMI_Crop(600, 1080);
        capture->Do_CROP(true);
        // The heat's store target takes the picture on the capture thread; what it does with it
        // (compression on the workers) is not the capture path's.
        capture->store_target([this](const cDIBSection& picture, std::uint32_t, std::int32_t, std::int32_t) {
            stored += picture.DIBSectionBitsPtr()[0];
        });
        capture->watch_device(false);
        capture->Capture_Run();
    }
    // As the heat's capture takes MJPEG pictures: the stream is copied into a free buffer of the
    // capture pass (a vector here, so that no worker falling behind turns copies into losses).
    void take_jpeg() {
        capture->jpeg_store_target(
            [this](const JpegWindowFrame& frame, std::uint32_t, std::int32_t, std::int32_t) {
                copy.assign(frame.jpg, frame.jpg + frame.length);
                stored += copy[frame.length / 2];
            });
    }
    std::vector<std::uint8_t> copy;
};

// The heat's capture: header check, stamps and a copy of the stream; no decode on this thread. A
// device fills a new buffer for each picture, so the streams come from 64 copies (16 MB), not from a
// cache that holds the last one.
void BM_HandOverPath(benchmark::State& state) {
    static const std::vector<std::vector<std::uint8_t>> streams(64, demo_jpeg());
    const std::int64_t rate = state.range(0);
    Source s;
    s.take_jpeg();
    std::size_t next = 0;
    for (auto _ : state) {
        const std::vector<std::uint8_t>& jpg = streams[next++ % streams.size()];
        s.clock.advance(static_cast<std::uint32_t>(1000 / rate));
        s.capture->on_jpeg_event(jpg.data(), static_cast<std::int32_t>(jpg.size()), kW, kH, s.clock.millis());
    }
    if (s.capture->HDMI_events() != state.iterations() || s.capture->corrupt_frames() != 0) {
        state.SkipWithError("pictures were not taken");
    }
    report_share(state, rate);
}

// Only the crop window is decoded, into the cropped picture.
void BM_BandPath(benchmark::State& state) {
    const auto& jpg = demo_jpeg();
    const std::int64_t rate = state.range(0);
    Source s;
    for (auto _ : state) {
        s.clock.advance(static_cast<std::uint32_t>(1000 / rate));
        s.capture->on_jpeg_event(jpg.data(), static_cast<std::int32_t>(jpg.size()), kW, kH, s.clock.millis());
    }
    if (s.capture->HDMI_events() != state.iterations() || s.capture->corrupt_frames() != 0) {
        state.SkipWithError("pictures were not taken");
    }
    report_share(state, rate);
}

// The whole picture is decoded into rows, then the frame path crops them as it does for raw frames.
void BM_WholeDecodePath(benchmark::State& state) {
    const auto& jpg = demo_jpeg();
    const std::int64_t rate = state.range(0);
    Source s;
    cDIBSection whole;
    for (auto _ : state) {
        s.clock.advance(static_cast<std::uint32_t>(1000 / rate));
        DIB_From_JPG(whole, jpg.data(), static_cast<std::int32_t>(jpg.size()));
        s.capture->OnRGBEvent(whole.DIBSectionBitsPtr(), whole.SizeImage(), s.clock.millis());
    }
    if (s.capture->HDMI_events() != state.iterations()) {
        state.SkipWithError("pictures were not taken");
    }
    report_share(state, rate);
}

// The band decode alone, for the share of the path it takes, at crop widths down to a few block
// columns: what is left at the narrowest is the entropy decoding of every row, which no crop saves.
void BM_BandDecode(benchmark::State& state) {
    const auto crop_width = static_cast<std::int32_t>(state.range(0));
    const auto& jpg = demo_jpeg();
    JpegBandDecoder decoder;
    cDIBSection cropped;
    cDIBSection spare;
    std::string why;
    for (auto _ : state) {
        if (crop_jpeg_frame(decoder, jpg.data(), static_cast<std::int32_t>(jpg.size()), kW, kH, crop_width,
                            1080, cropped, spare, why) != JpegCrop::Cropped) {
            state.SkipWithError("the picture did not decode");
        }
    }
    state.counters["stream_kb"] = static_cast<double>(jpg.size()) / 1024.0;
}

// A compression worker's part of each picture in the heat's capture: the window decoded, then
// compressed at quality 80 for the recording.
void BM_WorkerPicture(benchmark::State& state) {
    const auto& jpg = demo_jpeg();
    JpegBandDecoder decoder;
    const std::int32_t stride = cDIBSection::bytes_per_scan_line(600);
    std::vector<std::uint8_t> window(static_cast<std::size_t>(stride) * 1080);
    std::vector<std::uint8_t> stream;
    const JpegBand band = *jpeg_crop_window(kW, kH, 600, 1080);
    for (auto _ : state) {
        decoder.decode_into(jpg.data(), jpg.size(), kW, kH, band, window.data() + std::size_t{1079} * stride,
                            -stride);
        benchmark::DoNotOptimize(compress_to_fit(window.data(), 600, 1080, stride, 80, 0, stream));
    }
}

BENCHMARK(BM_HandOverPath)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WorkerPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandPath)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeDecodePath)->Arg(50)->Arg(100)->Arg(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BandDecode)->Arg(16)->Arg(600)->Arg(1920)->Unit(benchmark::kMillisecond);

} // namespace
