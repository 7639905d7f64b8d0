#pragma once

#include "capture/capture_controls.h"
#include "picture/dib_section.h"
#include "support/clocks.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace veltro {

// Typed format records. The capture component hands these out where the old component handed out
// memory addresses as decimal text, so a stale or wrong number can no longer read arbitrary memory.

struct FrameRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// The video info header of a format: rectangles, rates, time per frame in 100 ns units and the
// bitmap header of its pictures (size, image size, compression code).
struct VideoInfoHeader {
    FrameRect rc_source;
    FrameRect rc_target;
    std::uint32_t dw_bit_rate = 0;
    std::uint32_t dw_bit_error_rate = 0;
    std::int64_t avg_time_per_frame = 0;
    BitmapInfoHeader bmi_header;
};

// One format a source offers. `format` is absent for a record that carries no format block.
struct MediaType {
    std::uint32_t subtype = 0; // the device's own pixel format code (four characters)
    bool interlaced = false;
    std::optional<VideoInfoHeader> format;
};

// A format record for a picture of width x height delivered as 24-bit bottom-up BGR at the given
// time per frame (100 ns units); `subtype` is the device's pixel format.
MediaType make_media_type(std::int32_t width, std::int32_t height, std::int64_t avg_time_per_frame,
                          std::uint32_t subtype, bool interlaced);

// Four characters as a little-endian code ("YUYV" -> 0x56595559).
constexpr std::uint32_t fourcc(char a, char b, char c, char d) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(a)) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

// Receives the frames of a running component.
class CaptureEventSink {
public:
    virtual ~CaptureEventSink() = default;
    // One frame of 24-bit bottom-up BGR rows (each padded to 4 bytes) at the source size, valid
    // during the call only. `arrival_mill` is the moment the frame reached the host on the PC
    // millisecond counter, when the back end knows it.
    virtual void OnRGBEvent(const std::uint8_t* frame, std::int32_t length,
                            std::optional<std::uint32_t> arrival_mill) = 0;
    // One frame as an MJPEG source sends it: a JPEG picture of `length` bytes that should be
    // width x height (the format's size), valid during the call only. The default decodes it whole
    // and passes the rows to OnRGBEvent; a frame that does not decode as a picture of that size is
    // said as one frame lost. Sinks that need only part of the picture decode that part themselves.
    virtual void on_jpeg_event(const std::uint8_t* jpg, std::int32_t length, std::int32_t width,
                               std::int32_t height, std::optional<std::uint32_t> arrival_mill);
    // The running source stopped by itself (unplugged, failed) for `reason`: said once per loss,
    // after the frames it delivered before it. The component stays running and tries the source
    // again on reconnect().
    virtual void on_source_lost(const std::string& reason) { (void)reason; }
    // The running source lost `count` frames on the way (its own count, or its sequence numbers
    // skipped), said after the frame that followed them.
    virtual void on_frames_lost(std::int64_t count) { (void)count; }
};

// The capture component: enumerates the sources of this machine, selects one, sets its format and
// runs it. Frames are never delivered from another thread: the component signals its descriptor
// (event_fd) when frames are ready, and dispatch() hands them to the advised sinks on the calling
// thread, one at a time.
class CaptureComponent {
public:
    virtual ~CaptureComponent() = default;

    // Registers a sink; returns a non-zero cookie.
    virtual std::int32_t Advise(CaptureEventSink& sink) = 0;
    virtual void Unadvise(std::int32_t cookie) = 0;
    // "video:" followed by n (1-based). True when source n exists and is now selected.
    virtual bool SelectSource(const std::string& name) = 0;
    // "GetIntervals" "0", "CaptureFps" "25", "SetFormat" "<format number>".
    virtual void SetProperty(const std::string& name, const std::string& value) = 0;
    // Text properties: "sourceFriendlyName", "sourceDescription", "BuildNumber" / "buildNumber",
    // "numprops", "MaxInterval", "MinInterval". Unknown names give an empty text.
    virtual std::string GetProperty(const std::string& name) = 0;
    // Format records: "getAMT" + two-digit index, "GetProp" (the format in use), "VIDEOINFOHEADER"
    // (the same, its header). Absent for an unknown name, an index out of range or no source.
    virtual std::optional<MediaType> get_format_record(const std::string& name) = 0;
    virtual void Run() = 0;
    virtual void Stop() = 0;
    virtual std::string LastError() const = 0;

    // Readable when frames are waiting or the source has failed; -1 while nothing runs. The same
    // descriptor while the component runs, also across a lost source opened again.
    virtual int event_fd() const = 0;
    virtual void dispatch() = 0;

    // Why the running source stopped by itself; empty while it delivers or nothing runs.
    virtual std::string source_lost() const = 0;
    // Starts a lost source again in the format it ran. True when it runs again; LastError says why not.
    virtual bool reconnect() = 0;

    // Exposure and gain of the selected source (capture_controls.h): what it offers, and the choice
    // its next start applies; controls_applied() says what the last start set.
    virtual std::optional<ControlRange> control(ControlKind kind) {
        (void)kind;
        return std::nullopt;
    }
    virtual void set_controls(const ControlChoice& choice) { (void)choice; }
    virtual std::string controls_applied() const { return {}; }
};

// One capture source behind a component: a device or the demo camera.
class CaptureDevice {
public:
    using FrameCallback =
        std::function<void(const std::uint8_t* frame, std::int32_t length, std::optional<std::uint32_t>)>;

    virtual ~CaptureDevice() = default;
    virtual std::string friendly_name() const = 0;
    virtual std::string description() const = 0;
    virtual const std::vector<MediaType>& formats() const = 0;
    // Starts frames in format `index` of formats(). Returns an error text, empty on success.
    virtual std::string start(std::size_t index) = 0;
    virtual void Stop() = 0;
    virtual int event_fd() const = 0;
    // Delivers the frames that are ready through `deliver`, on the calling thread.
    virtual void dispatch(const FrameCallback& deliver) = 0;
    // Why the device stopped by itself in dispatch() (unplugged, failed); empty while it runs. A lost
    // device has let go of everything it held; start() tries it again.
    virtual std::string lost() const { return {}; }
    // Frames lost on the way since start(), as far as the device can tell.
    virtual std::int64_t frames_lost() const { return 0; }
    // Exposure and gain, where the device has them: the range and present value, the operator's
    // choice applied at every start() (set before it), and what the last start() set, as
    // controls_text() writes it.
    virtual std::optional<ControlRange> control(ControlKind kind) {
        (void)kind;
        return std::nullopt;
    }
    virtual void set_controls(const ControlChoice& choice) { (void)choice; }
    virtual std::string controls_applied() const { return {}; }
};

// The component over a fixed list of sources ("video:1" is devices[0]). `clock` (not owned) times
// the frames a source delivers without an arrival stamp.
std::unique_ptr<CaptureComponent> make_capture_component(std::vector<std::unique_ptr<CaptureDevice>> devices,
                                                         const Clock& clock);

} // namespace veltro
