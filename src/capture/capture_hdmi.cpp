#include "capture/capture_hdmi.h"

#include "capture/capture_trace.h"
#include "capture/format_description.h"
#include "capture/hdmi_crop.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/settings.h"
#include "support/veltro_error.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <sys/eventfd.h>
#include <unistd.h>

namespace veltro {

namespace {
// Frame arrivals kept for the window between two notices (the performance chart); more are not kept.
constexpr std::size_t kMaxArrivals = 4096;
// The rates a source may run at: 24 to 240 pictures a second, with room for a window that ends a
// millisecond early (as 52 once gave the 50 of HDMI).
constexpr std::int64_t kMinRate = 24;
constexpr std::int64_t kMaxRate = 250;

std::int32_t& object_counter() {
    static std::int32_t n = 0;
    return n;
}
std::atomic<bool>& halted() {
    static std::atomic<bool> h{false};
    return h;
}
} // namespace

bool capture_halted() {
    return halted();
}

void capture_halted(bool value) {
    halted() = value;
}

RunningArm running_arm_geometry(double scale_width, double scale_height, float arm_position) {
    RunningArm arm;
    const double angle = 2.0 * (arm_position / 100.0) * 3.14159 - 1.570795;
    const double cx = scale_width / 2.0;
    const double cy = scale_height / 2.0;
    arm.line_width = static_cast<std::int32_t>(round_half_even(scale_width / 8.0));
    arm.x1 = cx + cx * std::cos(angle);
    arm.y1 = cy + cy * std::sin(angle);
    arm.x2 = cx;
    arm.y2 = cy;
    return arm;
}

cls_Capture_HDMI::cls_Capture_HDMI(std::unique_ptr<CaptureComponent> component, const Clock& clock,
                                   std::string first_start_source)
    : component_(std::move(component)), clock_(clock), first_start_source_(std::move(first_start_source)),
      signal_(clock) {
    notice_fd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (notice_fd_ < 0) {
        throw VeltroError(err::kOutOfMemory,
                          std::string("Cannot make the capture notices: ") + std::strerror(errno));
    }
    cookie_ = component_->Advise(*this);
    thread_ = std::make_unique<CaptureThread>([this] { dispatch_frames(); },
                                              [this] {
                                                  std::lock_guard lock(mutex_);
                                                  return running_ && !component_->source_lost().empty();
                                              });
    ++object_counter();
}

cls_Capture_HDMI::~cls_Capture_HDMI() {
    thread_.reset();
    if (running_) {
        component_->Stop();
        running_ = false;
    }
    frame_collection().clear();
    if (cookie_ != 0) {
        component_->Unadvise(cookie_);
        cookie_ = 0;
    }
    component_.reset();
    ::close(notice_fd_);
    --object_counter();
}

void cls_Capture_HDMI::dispatch_frames() {
    std::lock_guard lock(mutex_);
    if (!running_) {
        return;
    }
    try {
        component_->dispatch();
    } catch (const std::exception& e) {
        // Nothing may end the capture thread: said in the trace, and the next frames come as usual.
        capture_trace(std::string("*Frame dispatch failed: ") + e.what() + where());
    }
}

void cls_Capture_HDMI::post_notice() {
    if (notice_posted_) {
        return;
    }
    notice_posted_ = true;
    const std::uint64_t one = 1;
    (void)!::write(notice_fd_, &one, sizeof one);
}

void cls_Capture_HDMI::deliver_notices() {
    std::uint64_t value = 0;
    (void)!::read(notice_fd_, &value, sizeof value);
    std::vector<FrameArrival> arrivals;
    std::vector<std::string> reasons;
    std::int64_t lost = 0;
    std::uint32_t lost_at = 0;
    bool halt = false;
    std::int64_t late = 0;
    std::int64_t late_total = 0;
    std::uint32_t late_at = 0;
    std::string late_why;
    {
        std::lock_guard lock(late_mutex_);
        std::swap(late, late_pending_);
        late_total = late_corrupt_;
        late_at = late_at_;
        late_why.swap(late_why_);
    }
    {
        std::lock_guard lock(mutex_);
        arrivals.swap(arrivals_);
        reasons.swap(lost_reasons_);
        lost = lost_pending_;
        lost_at = lost_at_;
        lost_pending_ = 0;
        halt = halt_pending_;
        halt_pending_ = false;
        notice_posted_ = false;
    }
    if (frame_arrived) {
        for (const FrameArrival& a : arrivals) {
            frame_arrived(a);
        }
    }
    if (late > 0) {
        capture_trace("*Corrupt frames from the device left out after their stamps: " + std::to_string(late) +
                      " (" + late_why + "), " + std::to_string(late_total) + " since the camera started" +
                      where());
        lost_at = lost > 0 ? lost_at : late_at;
        lost += late;
    }
    if (lost > 0 && frames_lost) {
        frames_lost(lost, lost_at);
    }
    if (!arrivals.empty() && HDMIreceived) {
        HDMIreceived();
    }
    if (halt && Stop_all_cams) {
        Stop_all_cams();
    }
    for (const std::string& reason : reasons) {
        if (source_lost) {
            source_lost(reason);
        }
    }
}

void cls_Capture_HDMI::dispatch_now() {
    thread_->sync();
}

void cls_Capture_HDMI::watch_device(bool on) {
    bool running = false;
    {
        std::lock_guard lock(mutex_);
        watch_device_ = on;
        running = running_;
    }
    thread_->watch(on && running ? component_->event_fd() : -1);
}

bool cls_Capture_HDMI::copy_cropped_picture(cDIBSection& into) const {
    if (copy_live_jpeg(into)) {
        return true;
    }
    std::lock_guard lock(mutex_);
    if (cropped_.empty()) {
        return false;
    }
    if (into.Width() != cropped_.Width() || into.Height() != cropped_.Height()) {
        into.Create(cropped_.Width(), cropped_.Height());
    }
    std::memcpy(into.DIBSectionBitsPtr(), cropped_.DIBSectionBitsPtr(),
                static_cast<std::size_t>(cropped_.SizeImage()));
    return true;
}

std::int64_t cls_Capture_HDMI::frames_lost_total() const {
    std::int64_t late = 0;
    {
        std::lock_guard lock(late_mutex_);
        late = late_corrupt_;
    }
    std::lock_guard lock(mutex_);
    return frames_lost_total_ + late;
}

void cls_Capture_HDMI::Do_CROP(bool value) {
    std::lock_guard lock(mutex_);
    do_crop_ = value;
}

void cls_Capture_HDMI::store_target(StoreTargetFn target) {
    std::lock_guard lock(mutex_);
    store_target_ = std::move(target);
}

void cls_Capture_HDMI::picture_probe(PictureProbeFn probe) {
    std::lock_guard lock(mutex_);
    picture_probe_ = std::move(probe);
}

SignalWatch cls_Capture_HDMI::signal() const {
    std::lock_guard lock(mutex_);
    return signal_;
}

std::int32_t cls_Capture_HDMI::HDMI_events() const {
    std::lock_guard lock(mutex_);
    return hdmi_events_;
}

std::uint32_t cls_Capture_HDMI::last_Capture_mill() const {
    std::lock_guard lock(mutex_);
    return last_capture_mill_;
}

std::int32_t cls_Capture_HDMI::last_Capture_local() const {
    std::lock_guard lock(mutex_);
    return last_capture_local_;
}

float cls_Capture_HDMI::arm_position() const {
    std::lock_guard lock(mutex_);
    return arm_position_;
}

std::int32_t cls_Capture_HDMI::object_count() {
    return object_counter();
}

std::string cls_Capture_HDMI::where() const {
    return " (" + id_string_ + " " + std::to_string(index_) + ")";
}

const std::string& cls_Capture_HDMI::Current_FriendlyName() const {
    return current_capture().friendly_name;
}

const std::string& cls_Capture_HDMI::Current_PropertyString() const {
    return current_capture().property_string;
}

void cls_Capture_HDMI::Set_Source_from_Saved() {
    CurrentCapture& cur = current_capture();
    cur.saved_friendlyname = Read_Setting(keys::friendlyname);
    cur.saved_videoproperty = Read_Setting(keys::videoproperty);
    // Before any source was chosen the first-start source (the demo race) is filmed, so that a
    // newcomer's first heat works with no set-up. Nothing is stored: the first device chosen is
    // remembered as usual.
    source_by_default_ =
        cur.saved_friendlyname == keys::friendlyname.default_value && !first_start_source_.empty();
    if (source_by_default_) {
        cur.saved_friendlyname = first_start_source_;
        cur.saved_videoproperty = "0";
    }
    capture_trace("*Set_Source_from_Saved, looking for " + cur.saved_friendlyname + where());

    std::unique_lock lock(mutex_);
    std::int16_t found = 0;
    for (std::int16_t n = 1; n <= 10; ++n) {
        const bool exists = component_->SelectSource("video:" + std::to_string(n));
        last_error_ = component_->LastError();
        if (!exists) {
            capture_trace("Set_Source_from_Saved, no source video:" + std::to_string(n));
            break;
        }
        const std::string name = component_->GetProperty("sourceFriendlyName");
        const std::string build = component_->GetProperty("BuildNumber");
        capture_trace("Set_Source_from_Saved, video:" + std::to_string(n) + " = " + name + ", build " +
                      build);
        if (name == cur.saved_friendlyname) {
            found = n;
            break;
        }
    }
    if (found == 0) {
        lock.unlock();
        the_operator().message("Could not find the saved Video source! Please re-select Video source!",
                               MsgIcon::Exclamation);
        return;
    }
    cur.friendly_name = cur.saved_friendlyname;
    source_number_ = found;
    component_->SetProperty("GetIntervals", "0");
    max_interval_ = component_->GetProperty("MaxInterval");
    min_interval_ = component_->GetProperty("MinInterval");
    if (cur.limit_to_25_fps) {
        component_->SetProperty("CaptureFps", "25");
    }
    component_->SetProperty("SetFormat", cur.saved_videoproperty);
    if (!component_->LastError().empty()) {
        capture_trace("Set_Source_from_Saved, SetFormat: " + component_->LastError());
    }
    cur.property_string = Process_AMT(component_->get_format_record("GetProp"));
    process_facts().capture_source = cur.friendly_name;
    process_facts().capture_property = cur.property_string;
    source_prop_found_ = true;
    capture_trace("*Set_Source_from_Saved, found " + cur.friendly_name + " / " + cur.property_string);
}

void cls_Capture_HDMI::set_HDMI_Crop(std::int16_t width, std::int16_t height) {
    std::lock_guard lock(mutex_);
    crop_width_ = width;
    crop_height_ = height;
    live_pending_ = false;
    if (width > 0 && height > 0) {
        cropped_.Create(width, height);
    } else {
        cropped_.ClearUp();
    }
    video_buff_len_ = checked_mul(checked_mul(width, height), 3);
    capture_trace("*HDMI_Crop X,Y = " + std::to_string(width) + "," + std::to_string(height));
}

void cls_Capture_HDMI::MaxFrames(std::int32_t value) {
    std::lock_guard lock(mutex_);
    max_frames_ = value < 0 ? 0 : value;
    write_position_ = 0;
    stored_count_ = 0;
    buffer_filled_ = false;
}

void cls_Capture_HDMI::Capture_Run() {
    the_operator().process_events();
    std::unique_lock lock(mutex_);
    frame_collection().clear();
    write_position_ = 0;
    buffer_filled_ = false;
    hdmi_events_ = 0;
    window_count_ = 0;
    arm_position_ = 0;
    stored_count_ = 0;
    running_fps_ = 0;
    frames_lost_total_ = 0;
    corrupt_frames_ = 0;
    live_pending_ = false;
    {
        std::lock_guard late_lock(late_mutex_);
        late_corrupt_ = 0;
        late_pending_ = 0;
    }
    running_ = true;
    capture_trace("*Capture_Run" + where());
    if (cookie_ == 0) {
        cookie_ = component_->Advise(*this);
        last_error_ = component_->LastError();
    }
    if (source_prop_found_) {
        // The saved source's exposure and gain, as the source selection stores them now.
        component_->set_controls(read_control_choice());
    }
    component_->Run();
    last_error_ = component_->LastError();
    if (last_error_.empty()) {
        signal_.started(component_->GetProperty("sourceFriendlyName"));
    } else {
        capture_trace("*Capture_Run: " + last_error_ + where());
    }
    const int fd = watch_device_ ? component_->event_fd() : -1;
    lock.unlock();
    thread_->watch(fd);
}

void cls_Capture_HDMI::Stop_Capture() {
    // The thread lets go of the device's descriptor before the device closes it.
    thread_->watch(-1);
    std::lock_guard lock(mutex_);
    if (!running_) {
        capture_trace("Stop_Capture, not running" + where());
        return;
    }
    component_->Stop();
    running_ = false;
    signal_.stopped();
    capture_trace("*Stop_Capture" + where());
}

SignalWatch::State cls_Capture_HDMI::check_signal() {
    std::lock_guard lock(mutex_);
    if (running_ && signal_.reopen_due()) {
        if (component_->reconnect()) {
            last_reconnect_error_.clear();
            signal_.reopened();
        } else if (component_->LastError() != last_reconnect_error_) {
            // Once a second while the device is away: traced when the reason changes.
            last_reconnect_error_ = component_->LastError();
            capture_trace("Reconnect: " + last_reconnect_error_ + where());
        }
    }
    return signal_.check();
}

void cls_Capture_HDMI::on_source_lost(const std::string& reason) {
    capture_trace("*Source lost: " + reason + where());
    if (signal_.lost(reason)) {
        lost_reasons_.push_back(reason);
        post_notice();
    }
}

void cls_Capture_HDMI::on_frames_lost(std::int64_t count) {
    frames_lost_total_ += count;
    lost_pending_ += count;
    lost_at_ = last_capture_mill_;
    capture_trace("*Frames lost by the device: " + std::to_string(count) + " before the frame at " +
                  std::to_string(last_capture_mill_) + ", " + std::to_string(frames_lost_total_) +
                  " since the camera started" + where());
    post_notice();
}

void cls_Capture_HDMI::OnRGBEvent(const std::uint8_t* frame, std::int32_t length,
                                  std::optional<std::uint32_t> arrival_mill) {
    const std::uint32_t at = take_frame_times(length, arrival_mill);
    // 8.
    if (do_crop_) {
        live_pending_ = false;
        if (!crop_frame(frame, length, source_width_, source_height_, crop_width_, crop_height_, cropped_)) {
            capture_trace("*Crop failed, " + std::to_string(source_width_) + "*" +
                          std::to_string(source_height_) + " to " + std::to_string(crop_width_) + "*" +
                          std::to_string(crop_height_) + where());
            capture_halted(true);
            halt_pending_ = true;
        }
    }
    hand_over_cropped(at);
    tell_window(at);
}

std::uint32_t cls_Capture_HDMI::take_frame_times(std::int32_t length,
                                                 std::optional<std::uint32_t> arrival_mill) {
    // 2. Time stamps: the driver's arrival moment when known, else now.
    const std::uint32_t now = clock_.millis();
    const std::uint32_t at = arrival_mill.value_or(now);
    last_capture_mill_ = at;
    last_capture_local_ = local_ms_before(clock_.local_ms(), elapsed_ms(at, now));
    arrival_delta_ = elapsed_ms(previous_arrival_, at);
    previous_arrival_ = at;

    signal_.frame();

    // 3. The 50-frame rate window; Capture_Run leaves its start alone.
    ++hdmi_events_;
    ++window_count_;
    if (window_count_ >= 50) {
        const std::int32_t elapsed = elapsed_ms(window_start_, at);
        if (elapsed > 0) {
            const std::int64_t rate = div_round_half_even(50000, elapsed);
            if (rate >= kMinRate && rate <= kMaxRate) {
                running_fps_ = static_cast<float>(rate);
            }
            window_start_ = at;
            window_count_ = 0;
        }
    }

    // 4.
    // The figures are worked out when their second time is taken, so that a new run never mixes its
    // times with the earlier run's: until it reaches callback 31 (131) the earlier figure stays.
    if (hdmi_events_ == 21) {
        event21_ = at;
    } else if (hdmi_events_ == 31) {
        event31_ = at;
        hdmi_10_mill_ = elapsed_ms(event21_, at);
    } else if (hdmi_events_ == 131) {
        const std::int32_t span = elapsed_ms(event31_, at);
        measured_fps_ = span > 0 ? static_cast<float>(div_round_half_even(100000, span)) : 0.0f;
    }

    // 5.
    arm_position_ += 1;
    if (arm_position_ > 100) {
        arm_position_ = 1;
    }

    // 6. and 7.: once per object.
    if (!header_loaded_) {
        if (const auto record = component_->get_format_record("VIDEOINFOHEADER"); record && record->format) {
            video_header_ = *record->format;
            source_width_ = video_header_.bmi_header.bi_width;
            source_height_ = video_header_.bmi_header.bi_height;
            header_loaded_ = true;
        }
    }
    if (!raw_header_filled_ && header_loaded_) {
        raw_header_ = BitmapInfoHeader{};
        raw_header_.bi_width = source_width_;
        raw_header_.bi_height = source_height_;
        raw_header_.bi_size_image = static_cast<std::uint32_t>(length);
        raw_header_filled_ = true;
    }
    return at;
}

void cls_Capture_HDMI::hand_over_cropped(std::uint32_t at) {
    // The heat's capture takes the frame here, on the capture thread, whatever the window is doing.
    if (store_target_ && !cropped_.empty() && !halt_pending_) {
        ++write_position_;
        ++stored_count_;
        store_target_(cropped_, at, last_capture_local_, arrival_delta_);
    }
    if (picture_probe_ && !cropped_.empty() && !halt_pending_) {
        picture_probe_(cropped_, at);
    }
}

void cls_Capture_HDMI::tell_window(std::uint32_t at) {
    // 9. The window hears of it when it gets round to it.
    if (arrivals_.size() < kMaxArrivals) {
        arrivals_.push_back({at, arrival_delta_});
    }
    post_notice();
}

void cls_Capture_HDMI::Store_HDMI_Buffer() {
    std::lock_guard lock(mutex_);
    if (hdmi_events_ == 0) {
        capture_trace("m_HDMI_events = 0");
        return;
    }
    if (max_frames_ == 0 && !post_linear_) {
        // Without slots to circle through, only appending is possible.
        capture_trace("Store_HDMI_Buffer, Post_linear is off" + where());
        return;
    }
    if (cropped_.empty()) {
        capture_trace("Store_HDMI_Buffer, no cropped picture" + where());
        return;
    }
    if (store_target_) {
        return; // the store target took the frame as it arrived
    }
    auto item = std::make_unique<CVideobuff_RGB>();
    item->RGB_Length(cropped_.SizeImage());
    item->FillData_RGB(cropped_.DIBSectionBitsPtr());
    item->PutTimestamp(static_cast<std::int32_t>(last_capture_mill_), last_capture_local_, arrival_delta_);
    ++write_position_;
    ++stored_count_;
    if (post_linear_) {
        frame_collection().add(std::move(item));
        return;
    }
    // Circular storage over MaxFrames slots.
    if (write_position_ > max_frames_) {
        write_position_ = 1;
        buffer_filled_ = true;
    }
    if (write_position_ > frame_collection().count()) {
        frame_collection().add(std::move(item));
    } else {
        frame_collection().replace(write_position_, std::move(item));
    }
}

std::int32_t cls_Capture_HDMI::Buff_Num() const {
    std::lock_guard lock(mutex_);
    return frame_collection().count();
}

std::int32_t cls_Capture_HDMI::Effective_Video_Object(std::int32_t n) const {
    std::lock_guard lock(mutex_);
    if (max_frames_ == 0 || post_linear_ || !buffer_filled_) {
        return n;
    }
    // Oldest first: the slot after the last one written.
    return (write_position_ + n - 1) % max_frames_ + 1;
}

CVideobuff_RGB& cls_Capture_HDMI::stored_frame(std::int32_t n) {
    return frame_collection().item(Effective_Video_Object(n));
}

std::int16_t cls_Capture_HDMI::Running_Fps() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int16_t>(round_half_even(running_fps_));
}

float cls_Capture_HDMI::Measured_fps() const {
    std::lock_guard lock(mutex_);
    return measured_fps_;
}

std::int32_t cls_Capture_HDMI::HDMI_10_mill() const {
    std::lock_guard lock(mutex_);
    return hdmi_10_mill_;
}

std::int32_t cls_Capture_HDMI::last_Capture_delta() const {
    std::lock_guard lock(mutex_);
    return arrival_delta_ >= 0 && arrival_delta_ <= 10000 ? arrival_delta_ : 0;
}

std::string cls_Capture_HDMI::HDMI_Sample_Dimensions() const {
    std::lock_guard lock(mutex_);
    return std::to_string(video_header_.bmi_header.bi_width) + "*" +
           std::to_string(video_header_.bmi_header.bi_height);
}

} // namespace veltro
