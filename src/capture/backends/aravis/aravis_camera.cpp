#include "capture/backends/aravis/aravis_camera.h"

#include "picture/dib_section.h"
#include "support/kernel_stamps.h"
#include "support/numbers.h"
#include "support/trace.h"

#include <arv.h>
#include <cmath>
#include <ctime>
#include <map>
#include <mutex>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {

// Enough for a tenth of a second at 240 pictures a second while the capture thread is busy.
constexpr int kBufferCount = 24;

std::string error_text(GError*& error, const std::string& what) {
    std::string text = what;
    if (error != nullptr) {
        text += ": ";
        text += error->message;
        g_clear_error(&error);
    }
    return text;
}

std::string text_or(const char* text, const char* fallback) {
    return text != nullptr && *text != '\0' ? text : fallback;
}

std::int64_t now_ns(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void stream_event(void* self, ArvStreamCallbackType type, ArvBuffer* /*buffer*/) {
    if (type == ARV_STREAM_CALLBACK_TYPE_BUFFER_DONE) {
        static_cast<AravisCamera*>(self)->signal(false);
    }
}

void control_lost(ArvDevice* /*device*/, gpointer self) {
    static_cast<AravisCamera*>(self)->signal(true);
}

// The unit of a camera's gain: the one its description gives for a "Gain" feature, dB when it gives
// none (as the feature naming standard has it); none for cameras that only count raw steps
// ("GainRaw", an integer).
std::string gain_unit(ArvCamera* camera) {
    ArvGcNode* node = arv_device_get_feature(arv_camera_get_device(camera), "Gain");
    if (node == nullptr || !ARV_IS_GC_FLOAT(node)) {
        return {};
    }
    const char* unit = arv_gc_float_get_unit(ARV_GC_FLOAT(node));
    return unit != nullptr && *unit != '\0' ? unit : "dB";
}

std::optional<ControlRange> read_control(ArvCamera* camera, ControlKind kind) {
    GError* error = nullptr;
    ControlRange range;
    if (kind == ControlKind::Exposure) {
        if (!arv_camera_is_exposure_time_available(camera, &error) || error != nullptr) {
            g_clear_error(&error);
            return std::nullopt;
        }
        arv_camera_get_exposure_time_bounds(camera, &range.min, &range.max, &error);
        range.value = arv_camera_get_exposure_time(camera, &error);
        range.unit = "µs";
    } else {
        if (!arv_camera_is_gain_available(camera, &error) || error != nullptr) {
            g_clear_error(&error);
            return std::nullopt;
        }
        arv_camera_get_gain_bounds(camera, &range.min, &range.max, &error);
        range.value = arv_camera_get_gain(camera, &error);
        range.unit = gain_unit(camera);
    }
    if (error != nullptr || !(range.max >= range.min)) {
        g_clear_error(&error);
        return std::nullopt;
    }
    return range;
}

// What a camera said when it was last opened. A GigE camera answers one controlling host at a time:
// while this program films with it, a new list (the source selection opened meanwhile) takes it as it
// was, rather than leave it out.
struct Probed {
    std::uint32_t pixel_format = 0;
    std::vector<MediaType> formats;
    std::vector<double> rates;
    std::optional<ControlRange> exposure;
    std::optional<ControlRange> gain;
};
std::mutex probed_mutex;
std::map<std::string, Probed> probed_cameras;

std::unique_ptr<CaptureDevice> from_probed(GenICamIdentity identity) {
    std::lock_guard lock(probed_mutex);
    const auto it = probed_cameras.find(identity.device_id);
    if (it == probed_cameras.end()) {
        return nullptr;
    }
    const Probed& p = it->second;
    return std::make_unique<AravisCamera>(std::move(identity), p.pixel_format, p.formats, p.rates, p.exposure,
                                          p.gain);
}

std::unique_ptr<CaptureDevice> probe(GenICamIdentity identity) {
    GError* error = nullptr;
    ArvCamera* camera = arv_camera_new(identity.device_id.c_str(), &error);
    if (camera == nullptr) {
        Trace("*Aravis: cannot open ", identity.device_id, ": ", error_text(error, "no answer"));
        return from_probed(std::move(identity));
    }
    guint count = 0;
    gint64* offered = arv_camera_dup_available_pixel_formats(camera, &count, &error);
    std::vector<std::uint32_t> codes;
    for (guint i = 0; offered != nullptr && i < count; ++i) {
        codes.push_back(static_cast<std::uint32_t>(offered[i]));
    }
    g_free(offered);
    g_clear_error(&error);
    const auto pixel_format = genicam_preferred_format(codes);

    gint x = 0, y = 0, width = 0, height = 0, sensor_width = 0, sensor_height = 0, max_width = 0,
         max_height = 0, min_size = 0;
    arv_camera_get_region(camera, &x, &y, &width, &height, &error);
    g_clear_error(&error);
    arv_camera_get_width_bounds(camera, &min_size, &max_width, &error);
    g_clear_error(&error);
    arv_camera_get_height_bounds(camera, &min_size, &max_height, &error);
    g_clear_error(&error);
    arv_camera_get_sensor_size(camera, &sensor_width, &sensor_height, &error);
    g_clear_error(&error);
    double min_fps = 0, max_fps = 0;
    if (arv_camera_is_frame_rate_available(camera, &error)) {
        arv_camera_get_frame_rate_bounds(camera, &min_fps, &max_fps, &error);
    }
    g_clear_error(&error);

    std::vector<MediaType> formats;
    std::vector<double> rates;
    if (pixel_format) {
        std::vector<std::pair<gint, gint>> sizes;
        if (width > 0 && height > 0) {
            sizes.emplace_back(width, height);
        }
        const gint full_width = std::min(sensor_width > 0 ? sensor_width : max_width, max_width);
        const gint full_height = std::min(sensor_height > 0 ? sensor_height : max_height, max_height);
        if (full_width > 0 && full_height > 0 && (full_width != width || full_height != height)) {
            sizes.emplace_back(full_width, full_height);
        }
        const std::vector<double> offered_rates = genicam_offered_rates(min_fps, max_fps);
        for (const auto& [w, h] : sizes) {
            for (double fps : offered_rates) {
                const auto per_frame = static_cast<std::int64_t>(std::llround(10000000.0 / fps));
                formats.push_back(make_media_type(w, h, per_frame, *pixel_format, false));
                rates.push_back(fps);
            }
        }
    }
    auto exposure = read_control(camera, ControlKind::Exposure);
    auto gain = read_control(camera, ControlKind::Gain);
    g_object_unref(camera);
    if (formats.empty()) {
        Trace("*Aravis: ", identity.device_id, " offers no picture format the program takes");
        return nullptr;
    }
    {
        std::lock_guard lock(probed_mutex);
        probed_cameras[identity.device_id] = {*pixel_format, formats, rates, exposure, gain};
    }
    return std::make_unique<AravisCamera>(std::move(identity), *pixel_format, std::move(formats),
                                          std::move(rates), std::move(exposure), std::move(gain));
}

} // namespace

AravisCamera::AravisCamera(GenICamIdentity identity, std::uint32_t pixel_format,
                           std::vector<MediaType> formats, std::vector<double> rates,
                           std::optional<ControlRange> exposure, std::optional<ControlRange> gain)
    : identity_(std::move(identity)), pixel_format_(pixel_format), formats_(std::move(formats)),
      rates_(std::move(rates)), exposure_(std::move(exposure)), gain_(std::move(gain)) {
    event_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

AravisCamera::~AravisCamera() {
    Stop();
    if (event_fd_ >= 0) {
        close(event_fd_);
    }
}

std::string AravisCamera::friendly_name() const {
    return identity_.vendor + " " + identity_.model + " " + identity_.serial;
}

std::string AravisCamera::description() const {
    return identity_.protocol + " " + identity_.device_id;
}

std::optional<ControlRange> AravisCamera::control(ControlKind kind) {
    return kind == ControlKind::Exposure ? exposure_ : gain_;
}

void AravisCamera::signal(bool control_lost) {
    if (control_lost) {
        control_lost_ = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(event_fd_, &one, sizeof one);
}

std::string AravisCamera::apply_controls() {
    GError* error = nullptr;
    std::optional<double> exposure;
    std::optional<double> gain;
    if (choice_.exposure_us && exposure_) {
        arv_camera_set_exposure_time_auto(camera_, ARV_AUTO_OFF, &error);
        g_clear_error(&error); // a camera without automatic exposure has nothing to switch off
        arv_camera_set_exposure_time(camera_, *choice_.exposure_us, &error);
        if (error != nullptr) {
            return error_text(error, "Cannot set the exposure time");
        }
        exposure = arv_camera_get_exposure_time(camera_, &error);
        g_clear_error(&error);
    }
    if (choice_.gain && gain_) {
        arv_camera_set_gain_auto(camera_, ARV_AUTO_OFF, &error);
        g_clear_error(&error);
        arv_camera_set_gain(camera_, *choice_.gain, &error);
        if (error != nullptr) {
            return error_text(error, "Cannot set the gain");
        }
        gain = arv_camera_get_gain(camera_, &error);
        g_clear_error(&error);
    }
    applied_ = controls_text(exposure, gain, gain_ ? gain_->unit : std::string());
    return {};
}

std::string AravisCamera::start(std::size_t index) {
    if (index >= formats_.size() || !formats_[index].format) {
        return "No such format";
    }
    Stop();
    lost_.clear();
    applied_.clear();
    frames_lost_ = 0;
    underruns_ = 0;
    control_lost_ = false;
    stamps_.reset();
    const auto& bmi = formats_[index].format->bmi_header;
    GError* error = nullptr;
    camera_ = arv_camera_new(identity_.device_id.c_str(), &error);
    if (camera_ == nullptr) {
        return error_text(error, "Cannot open " + friendly_name());
    }
    auto fail = [&](const std::string& what) {
        const std::string text = error_text(error, what);
        release();
        return text;
    };
    arv_camera_set_acquisition_mode(camera_, ARV_ACQUISITION_MODE_CONTINUOUS, &error);
    if (error != nullptr) {
        return fail("Cannot set continuous acquisition");
    }
    arv_camera_set_pixel_format(camera_, pixel_format_, &error);
    if (error != nullptr) {
        return fail("Cannot set the pixel format");
    }
    arv_camera_set_region(camera_, 0, 0, bmi.bi_width, bmi.bi_height, &error);
    if (error != nullptr) {
        return fail("Cannot set the picture size " + std::to_string(bmi.bi_width) + "*" +
                    std::to_string(bmi.bi_height));
    }
    if (const std::string why = apply_controls(); !why.empty()) {
        release();
        return why;
    }
    // After the exposure, which may bound it.
    arv_camera_set_frame_rate(camera_, rates_[index], &error);
    if (error != nullptr) {
        return fail("Cannot set the frame rate");
    }
    const guint payload = arv_camera_get_payload(camera_, &error);
    if (error != nullptr || payload == 0) {
        return fail("Cannot learn the picture's payload size");
    }
    stream_ = arv_camera_create_stream(camera_, stream_event, this, &error);
    if (stream_ == nullptr) {
        return fail("Cannot open the picture stream");
    }
    for (int i = 0; i < kBufferCount; ++i) {
        arv_stream_push_buffer(stream_, arv_buffer_new(payload, nullptr));
    }
    g_signal_connect(arv_camera_get_device(camera_), "control-lost", G_CALLBACK(control_lost), this);
    width_ = bmi.bi_width;
    height_ = bmi.bi_height;
    frame_.assign(static_cast<std::size_t>(cDIBSection::bytes_per_scan_line(width_)) * height_, 0);
    arv_camera_start_acquisition(camera_, &error);
    if (error != nullptr) {
        return fail("Cannot start the acquisition");
    }
    return {};
}

void AravisCamera::release() {
    if (camera_ == nullptr) {
        return;
    }
    GError* error = nullptr;
    if (stream_ != nullptr) {
        arv_camera_stop_acquisition(camera_, &error); // a camera that is gone refuses it
        g_clear_error(&error);
        g_object_unref(stream_); // ends the stream thread and frees its buffers
        stream_ = nullptr;
    }
    g_signal_handlers_disconnect_by_data(arv_camera_get_device(camera_), this);
    g_object_unref(camera_);
    camera_ = nullptr;
    std::uint64_t pending = 0;
    [[maybe_unused]] const ssize_t n = read(event_fd_, &pending, sizeof pending);
}

void AravisCamera::Stop() {
    release();
    lost_.clear();
}

void AravisCamera::dispatch(const FrameCallback& deliver) {
    std::uint64_t pending = 0;
    [[maybe_unused]] const ssize_t n = read(event_fd_, &pending, sizeof pending);
    if (stream_ == nullptr) {
        return;
    }
    // The stream thread stamps a buffer's host arrival on the real-time clock; this puts it on the
    // monotonic one.
    const std::int64_t real_to_monotonic = now_ns(CLOCK_MONOTONIC) - now_ns(CLOCK_REALTIME);
    while (ArvBuffer* buffer = arv_stream_try_pop_buffer(stream_)) {
        const bool whole = arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS &&
                           arv_buffer_get_payload_type(buffer) == ARV_BUFFER_PAYLOAD_TYPE_IMAGE;
        std::optional<std::uint32_t> stamp;
        if (whole) {
            std::size_t size = 0;
            const auto* data = static_cast<const std::uint8_t*>(arv_buffer_get_image_data(buffer, &size));
            const bool converted = arv_buffer_get_image_width(buffer) == width_ &&
                                   arv_buffer_get_image_height(buffer) == height_ &&
                                   genicam_to_bottom_up_bgr(arv_buffer_get_image_pixel_format(buffer), data,
                                                            size, width_, height_, frame_.data());
            if (converted) {
                const std::uint64_t host = arv_buffer_get_system_timestamp(buffer);
                const std::int64_t arrival =
                    host != 0 ? static_cast<std::int64_t>(host) + real_to_monotonic : now_ns(CLOCK_MONOTONIC);
                stamp = counter_ms_at(stamps_.monotonic_ns(arv_buffer_get_timestamp(buffer), arrival));
            }
        }
        arv_stream_push_buffer(stream_, buffer);
        if (stamp) {
            deliver(frame_.data(), static_cast<std::int32_t>(frame_.size()), stamp);
        } else {
            ++frames_lost_; // incomplete, or not a picture this camera was set up for
        }
        if (stream_ == nullptr) {
            return;
        }
    }
    guint64 completed = 0, failures = 0, underruns = 0;
    arv_stream_get_statistics(stream_, &completed, &failures, &underruns);
    if (underruns > underruns_) {
        frames_lost_ += static_cast<std::int64_t>(underruns - underruns_); // no free buffer for them
        underruns_ = underruns;
    }
    if (control_lost_) {
        release();
        lost_ = friendly_name() + " is no longer connected";
    }
}

std::vector<std::unique_ptr<CaptureDevice>> enumerate_aravis_cameras(bool simulated) {
    if (simulated) {
        arv_enable_interface("Fake");
    }
    arv_update_device_list();
    std::vector<std::unique_ptr<CaptureDevice>> out;
    const unsigned count = arv_get_n_devices();
    for (unsigned i = 0; i < count; ++i) {
        GenICamIdentity identity{
            text_or(arv_get_device_id(i), ""), text_or(arv_get_device_vendor(i), "GenICam"),
            text_or(arv_get_device_model(i), "camera"), text_or(arv_get_device_serial_nbr(i), ""),
            text_or(arv_get_device_protocol(i), "")};
        if (identity.device_id.empty() || (!simulated && identity.protocol == "Fake")) {
            continue;
        }
        if (auto device = probe(std::move(identity))) {
            out.push_back(std::move(device));
        }
    }
    return out;
}

void register_aravis_backend(CaptureBackends& backends, bool simulated) {
    backends.add({"Aravis", [simulated] { return enumerate_aravis_cameras(simulated); }});
}

} // namespace veltro
