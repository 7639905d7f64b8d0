#pragma once

#include "picture/dib_section.h"
#include "picture/video_buffer.h"
#include "recording/compressed_frame.h"
#include "recording/header_journal.h"
#include "recording/px3_layout.h"
#include "recording/recording_lock.h"
#include "recording/uncounted_records.h"
#include "recording/xml_header.h"
#include "support/file_io.h"
#include "timing/heat_values.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veltro {

// The JPEG codec name that takes the trial-compression path; its frames are marked "IJL".
inline constexpr const char* kJpegCodecName = "TurboJPEG";

// How a heat filmed at `running_fps` frames per second is stored: interlaced (two fields 20 ms apart
// in every 40 ms frame) up to 30, progressive (20 ms frames) above. The reader takes the frame period
// from the stored rate by the same bound (mill_per_Frame), so the two always agree.
constexpr bool interlaced_at_rate(std::int32_t running_fps) {
    return running_fps <= 30;
}

// The recording object: writes one ".px3" recording of a heat (header block, then one sample record
// per frame), reads it back frame by frame, renders fields and frames for the review, and offers the
// heat values of its recording header. Holds at most one open recording.
//
// Writing: File_name, RGB_interlaced, Cropped_X/Y, Initiate_PX3_File, heat values, Write_XML_header,
// Close_File; at capture end Calculate_Compressed_Size, Close_File, Open_px3_for_Append,
// Append_RGB_Frame for every frame, Close_File. Reading: Open_File, Read_RGB_sample / Draw_RGB_Field /
// Draw_RGB_frame.
class cls_VideoFile_handler : public HeatValues {
public:
    cls_VideoFile_handler();
    ~cls_VideoFile_handler() override;
    cls_VideoFile_handler(const cls_VideoFile_handler&) = delete;
    cls_VideoFile_handler& operator=(const cls_VideoFile_handler&) = delete;

    // ---- The file ------------------------------------------------------------------------------
    const std::string& File_name() const { return file_name_; }
    void File_name(const std::string& path);
    bool File_open() const override { return file_ != nullptr; }
    bool Read_only() const override { return read_only_; }
    Cls_XML_header& xml_header() { return *header_; }
    const Cls_XML_header& xml_header() const { return *header_; }
    bool Has_XML() const;

    // Where the lines for the event log go; by default Log_Event ("Veltro_eventlog.txt").
    void event_log(std::function<void(const std::string&)> sink) { event_log_ = std::move(sink); }
    // The wall-clock time of the journal's entries; by default the computer's local time.
    void journal_clock(std::function<LocalTime()> now) { journal_clock_ = std::move(now); }
    // True when a header write found that another program had changed the header since this object
    // read it: that change was kept under this one, and the heat values now show both. Cleared by
    // reading it.
    bool take_changed_elsewhere() { return std::exchange(changed_elsewhere_, false); }
    // Brings in what another program stored in the header since this object read or wrote it, with
    // this object's own unwritten changes kept on top; a change that follows then starts from the
    // header as it is on disk. Nothing when the header cannot be read.
    void take_changes_made_elsewhere() override;

    // ---- Writing (frame format and codec, set before Initiate_PX3_File) ------------------------
    bool RGB_interlaced() const { return interlaced_; }
    void RGB_interlaced(bool value) { interlaced_ = value; }
    std::int32_t Cropped_X() const { return cropped_x_; }
    void Cropped_X(std::int32_t value) { cropped_x_ = value; }
    std::int32_t Cropped_Y() const { return cropped_y_; }
    void Cropped_Y(std::int32_t value) { cropped_y_ = value; }
    std::int16_t start_quality() const { return start_quality_; }
    void start_quality(std::int16_t value);
    const std::string& jpeg_codec() const { return codec_; }
    void jpeg_codec(const std::string& value) { codec_ = value; }
    bool preview_on() const { return preview_on_; }
    void preview_on(bool value) { preview_on_ = value; }
    std::int16_t top_delimiter() const { return top_delimiter_; }
    void top_delimiter(std::int16_t value) { top_delimiter_ = value; }

    void Initiate_PX3_File();
    void Create_PX3_header();
    // Writes the header block at offset 0 of the open file and flushes it to disk.
    void Write_PX3_header();
    void Write_XML_header() override;
    // Fixes D from trial compressions of three of the `frames` captured frames.
    void Calculate_Compressed_Size(std::int32_t frames, const FrameAt& frame_at);
    void Open_px3_for_Append();
    void Append_RGB_Frame(std::int32_t index, const CVideobuff_RGB& frame);
    void Close_File();
    // Closes an append pass cut short by a failure without counting its frames: readers see the
    // recording as it was before the pass, and the next pass writes over those records.
    void abandon_append() noexcept;
    // The final pass of a capture that was compressed while it ran: every frame of `frames`, in
    // order, into one sample record each, written in one sequential pass, then counted in the
    // header (Close_File). A first pass fixes D from the largest stream of all its frames, so no
    // frame is stepped down; in a later pass D is fixed and a stream larger than it is decoded and
    // compressed again at lower qualities. `progress` (when given) gets the percentage done. A
    // failure leaves the recording as it was before the pass (abandon_append). Unlike Close_File
    // after Append_RGB_Frame, a pass of one or two frames is counted too: no captured frame is lost.
    void append_compressed_pass(const CompressedFrames& frames, const std::function<void(int)>& progress);
    // Counts in the header the whole records an append pass left behind the counted frames when it
    // ended before its header write (a process killed), when every one of them is sound; the bytes
    // of a torn record after them are cut off. Returns what was found; with a problem, or with no
    // records, the file is left as it was.
    UncountedRecords count_uncounted_records();

    std::int32_t Rounded_Compressed_Size() const { return data_size_; }
    std::int32_t largest_compressed_size() const { return largest_; }
    std::int32_t smallest_compressed_size() const { return smallest_; }
    std::int16_t reduced_quality_count() const { return reduced_count_; }
    std::int32_t frames_appended() const { return frames_appended_; }
    std::int16_t Measured_fps() const;
    void Measured_fps(std::int16_t value);

    // ---- Reading -------------------------------------------------------------------------------
    // Opens a recording for review; problems are told to the operator and leave no file open.
    void Open_File(const std::string& path);
    // The same for a recording already open in `file` (for reading and writing), known as `name`,
    // with its journal open in `journal` (without one, nothing is journalled while it is open).
    void Open_File(std::unique_ptr<File> file, const std::string& name,
                   std::unique_ptr<File> journal = nullptr);
    // Reads the header block. A block that a write cut short (or that the last rewrite never
    // reached) is restored from the journal and the operator is told; a damaged block that cannot be
    // restored is reported.
    void Read_PX3_Headers();
    void Read_Top_Delimiter();
    // Reads record `frame` (1-based); with `draw` also decodes it into the frame bitmap.
    void Read_RGB_sample(std::int32_t frame, bool draw);
    void Read_All_RGB_Frames();
    // 1-based file position of frame n.
    std::int64_t RGB_video_adress(std::int32_t frame) const;

    std::int16_t num_Frames() const { return num_frames_; }
    std::int16_t Num_fields() const { return num_fields_; }
    std::int32_t sample_size() const { return sample_size_; }
    // 40 ms per frame up to 30 frames per second, else 20; halved when shown field by field.
    std::int16_t mill_per_Frame() const;
    // True when the review shows whole frames rather than single fields.
    bool deinterlaced() const { return deinterlaced_; }
    void deinterlaced(bool value) { deinterlaced_ = value; }
    std::int16_t RGB_Topdelim_Y() const { return top_delim_y_; }
    bool RGB_samplesize_error() const { return samplesize_error_; }
    // Frames the header counts but the file is too short to hold (they are not offered).
    std::int16_t frames_missing() const { return frames_missing_; }
    // True when the last frame drawn could not be read or decoded and shows the blue "Corrupted
    // video" picture.
    bool frame_corrupted() const { return frame_corrupted_; }
    // True when the record last read no longer has the bytes the journal recorded for it.
    bool frame_damaged() const { return frame_damaged_; }
    // Set when reading a frame raised an error: field drawing stops for this recording.
    bool read_error() const { return read_error_; }
    std::int32_t RGB_Checksum() const { return checksum_; }
    std::int32_t PX3_Capture_mill() const { return fields_.capture_mill; }
    std::int32_t PX3_Capture_local() const { return fields_.capture_local; }
    std::int16_t PX3_Capture_Delta() const { return static_cast<std::int16_t>(fields_.capture_delta); }
    std::int32_t PX3_JPEG_Size() const { return fields_.jpeg_size; }
    std::int16_t PX3_Compression_Quality() const { return static_cast<std::int16_t>(fields_.quality); }
    std::int32_t Capture_HDMI_events() const { return fields_.capture_events; }
    std::int32_t Timestamp_long() const { return fields_.capture_mill; }
    // The decoded frame (RGB_X x RGB_Y).
    const cDIBSection& frame_bitmap() const { return frame_; }

    // ---- Rendering -----------------------------------------------------------------------------
    bool rotated() const { return rotated_; }
    void Draw_RGB_Field(std::int32_t field);
    void Draw_RGB_frame(std::int32_t frame);
    void Draw_Current_Field();
    void Draw_Current_RGB_frame();
    // Takes field (or frame) `position` as on show without decoding it: the review's read-ahead
    // decoded it elsewhere, from a record whose CRC-32 is `record_crc`. Reads the record (its times
    // and data are then those of the picture on show) and returns true when it is that record, sound;
    // picture() decodes it only when asked. False otherwise: the caller draws it as usual.
    bool show_decoded(std::int32_t position, bool field, std::uint32_t record_crc);
    // The picture to show after the last Draw_ call (or show_decoded): the field or frame, turned
    // when rotated.
    const cDIBSection& picture();
    // 1 or 2 for the field of its frame on show, 99 while a whole frame is shown.
    std::int16_t Field_To_Show() const { return displayed_field_; }
    std::int16_t PX3_Displayed_Field() const { return displayed_field_; }
    // The frame last read.
    std::int16_t PX3_Displayed_Frame() const { return static_cast<std::int16_t>(current_frame_); }
    // The field number last drawn (fields 2k - 1 and 2k belong to frame k).
    std::int32_t current_field() const { return current_field_; }
    std::int16_t start_number() const { return start_number_; }
    void start_number(std::int16_t value) { start_number_ = value; }
    std::int32_t field_duration() const { return field_duration_; }
    std::int32_t frame_duration() const { return frame_duration_; }
    // Milliseconds of the picture on show since the start field or frame.
    float effective_time() const { return effective_time_; }

    // ---- Heat values (forwarded to the recording header; Write_XML_header stores them) ----------
    std::int32_t Velt_Heat_time(std::int16_t box, bool split) const override {
        return header_->Velt_Heat_time(box, split);
    }
    void Velt_Heat_time(std::int16_t box, bool split, std::int32_t value) override {
        header_->Velt_Heat_time(box, split, value);
    }
    std::int16_t Velt_heat_frame(std::int16_t box) const override { return header_->Velt_heat_frame(box); }
    void Velt_heat_frame(std::int16_t box, std::int16_t value) override {
        header_->Velt_heat_frame(box, value);
    }
    std::int16_t Velt_split_frame(std::int16_t box) const override { return header_->Velt_split_frame(box); }
    void Velt_split_frame(std::int16_t box, std::int16_t value) override {
        header_->Velt_split_frame(box, value);
    }
    std::int32_t Velt_Heat_Click_Time(std::int16_t box) const override {
        return header_->Velt_Heat_Click_Time(box);
    }
    void Velt_Heat_Click_Time(std::int16_t box, std::int32_t value) override {
        header_->Velt_Heat_Click_Time(box, value);
    }
    bool Velt_dead_heat(std::int16_t box) const override { return header_->Velt_dead_heat(box); }
    void Velt_dead_heat(std::int16_t box, bool value) override { header_->Velt_dead_heat(box, value); }
    std::string Velt_Dog_name(std::int16_t box) const override { return header_->Velt_Dog_name(box); }
    void Velt_Dog_name(std::int16_t box, const std::string& value) override {
        header_->Velt_Dog_name(box, value);
    }
    std::string velt_official() const override { return header_->velt_official(); }
    void velt_official(const std::string& value) override { header_->velt_official(value); }
    void next_change(const std::string& by, const std::string& kind) override;
    std::string Velt_start_PC_mill() const override { return header_->Velt_heat_start_PC_mill(); }
    void Velt_start_PC_mill(const std::string& value) { header_->Velt_heat_start_PC_mill(value); }
    // The counter at the start signal, stored as a signed Long like the capture stamps of the records,
    // so that readers expecting a Long can read it after 24.8 days of uptime.
    void Velt_start_PC_mill(std::uint32_t counter) {
        header_->Velt_heat_start_PC_mill(std::to_string(static_cast<std::int32_t>(counter)));
    }

    std::string Velt_event() const override { return header_->Velt_event(); }
    void Velt_event(const std::string& value) override { header_->Velt_event(value); }
    std::string Velt_Heat_ID() const override { return header_->Velt_Heat_ID(); }
    void Velt_Heat_ID(const std::string& value) { header_->Velt_Heat_ID(value); }
    std::string Velt_Heat_Name() const override { return header_->Velt_Heat_Name(); }
    void Velt_Heat_Name(const std::string& value) override { header_->Velt_Heat_Name(value); }
    std::string Velt_Heat_Length() const { return header_->Velt_Heat_Length(); }
    std::string Velt_Goal_Finish() const { return header_->Velt_Goal_Finish(); }
    void Velt_Goal_Finish(const std::string& value) { header_->Velt_Goal_Finish(value); }
    std::string Velt_Goal_Split() const { return header_->Velt_Goal_Split(); }
    void Velt_Goal_Split(const std::string& value) { header_->Velt_Goal_Split(value); }
    std::string Velt_box_delay() const { return header_->Velt_box_delay(); }
    void Velt_box_delay(const std::string& value) { header_->Velt_box_delay(value); }
    std::string Velt_Goal_compensation() const { return header_->Goal_Compensation(); }
    void Velt_Goal_compensation(const std::string& value) { header_->Goal_Compensation(value); }
    std::string Velt_Split_compensation() const { return header_->Split_Compensation(); }
    void Velt_Split_compensation(const std::string& value) { header_->Split_Compensation(value); }
    std::string Velt_start_DateTime() const override { return header_->Velt_start_DateTime(); }
    void Velt_start_DateTime(const std::string& value) { header_->Velt_start_DateTime(value); }
    std::int32_t Velt_heat_start_local() const { return header_->Velt_heat_start_Local_mill(); }
    void Velt_heat_start_local(std::int32_t value) { header_->Velt_heat_start_Local_mill(value); }
    std::string Phidget_serial() const { return header_->Phidget_serial(); }
    void Phidget_serial(const std::string& value) { header_->Phidget_serial(value); }
    std::string Creation_date() const { return header_->Creation_date(); }
    std::string Last_Capture_time() const { return header_->Last_Capture_time(); }
    std::string Computer_name() const { return header_->Comp_Name(); }
    std::string OS_version() const { return header_->OS_version(); }
    std::int16_t Height() const { return header_->RGB_Y(); }
    std::int16_t Width() const { return header_->RGB_X(); }

private:
    void open_file(bool for_writing);
    void close_file() noexcept;
    // The review's checks of a recording just opened.
    void open_recording();
    void tell_uncounted_records();
    void flush_to_disk();
    // Close_File, counting the pass's frames in the header when there are at least `at_least`.
    void close_counting(std::int32_t at_least);
    // Journals the header text, then writes the header block at offset 0 and flushes it.
    void write_header_block();
    // Before a header write, under the lock: what another program stored since this object read the
    // header is taken into the header in memory, under this object's own changes.
    void keep_changes_made_elsewhere(const px3::HeaderBlock& on_disk);
    // Journals a header stored without its journal entry before the change that follows it.
    void journal_unjournalled(const px3::HeaderBlock& on_disk);
    // The lock of one writer (RecordingLock), held by this object while any change or append pass of
    // it runs; taken once however deeply those nest. Recordings given as File objects have no lock.
    class WriterHold;
    bool lockable() const;
    void hold_lock();
    void release_lock() noexcept;
    // The lock for an append pass, held until the file is closed.
    void hold_pass_lock();
    // Reads the header block and restores it from the journal when a write cut it short; why it
    // is damaged when it can be neither read nor restored ("its text does not parse"), else "".
    std::string load_header_block();
    // Reads the header block into `block` and judges it; when it looks like a write in progress, takes
    // `lock` (when it can) and reads it again.
    HeaderJudgement judge_block(px3::HeaderBlock& block, const JournalContents*& contents,
                                std::optional<RecordingLock>& lock);
    // Puts the last header of the journal in place of a damaged one (not into a read-only file, nor
    // without the lock) and tells the operator.
    void restore_header(const HeaderJudgement& judged, bool may_write);
    // The journal of the open recording, opened for writing (created when missing) or for reading;
    // nullptr when there is none to read or the recording came without one.
    HeaderJournal* journal(bool for_writing);
    // Appends one entry to the journal. A journal that cannot be written does not stop the change
    // (the recording stays the record of the heat); the operator is told once.
    void append_to_journal(JournalKind kind, std::string_view payload);
    // The first header of a new recording starts its journal afresh.
    void start_journal(const std::string& text);
    void journal_failed(const std::string& why);
    // The frames entry of the append pass being counted.
    void journal_pass();
    // Writes all `size` bytes at `offset`; `what` names the data in the error ("a frame", ...).
    void write_at(const std::uint8_t* data, std::size_t size, std::int64_t offset, const char* what);
    void log_event(const std::string& text);
    void size_record(std::int32_t data_size);
    // Puts `frame` into the D bytes at `data`, compressed again at lower qualities (through
    // `picture`) when its stream is larger; sets `quality` and `size` to what was stored.
    void fit_compressed_frame(std::int32_t index, const CompressedFrame& frame, cDIBSection& picture,
                              std::uint8_t* data, std::int32_t& quality, std::int32_t& size);
    // Compares the record just read with the checksum the journal holds for it (frame_damaged).
    void check_recorded_bytes(std::int32_t frame);
    bool decode_into_frame();
    void show_corrupted_frame();
    void reset_reader();

    std::unique_ptr<Cls_XML_header> header_;
    std::function<void(const std::string&)> event_log_;
    std::string file_name_;
    std::string next_change_by_, next_change_; // for the next Write_XML_header only
    std::string suffix_;                       // lower case
    std::unique_ptr<File> file_;
    bool writable_ = false;
    bool read_only_ = false;
    std::optional<RecordingLock> writer_lock_;
    int writer_holds_ = 0;
    bool pass_holds_lock_ = false;
    std::string base_text_; // the header text as last read from or written to the file
    bool changed_elsewhere_ = false;

    // Journal
    enum class JournalSource { Beside, Given, None };
    JournalSource journal_source_ = JournalSource::Beside;
    std::unique_ptr<HeaderJournal> journal_;
    bool journal_writable_ = false;
    bool journal_failure_told_ = false;
    std::function<LocalTime()> journal_clock_;
    std::int32_t pass_first_frame_ = 0;
    std::vector<std::uint32_t> pass_crcs_;                    // of the records of the append pass, in order
    std::vector<std::optional<std::uint32_t>> recorded_crcs_; // by frame, from the journal
    std::vector<bool> damage_logged_;

    // Writer
    bool interlaced_ = true;
    std::int32_t cropped_x_ = 0;
    std::int32_t cropped_y_ = 0;
    std::int16_t start_quality_ = 80;
    std::string codec_ = kJpegCodecName;
    bool preview_on_ = true;
    std::int16_t top_delimiter_ = 0;
    std::int16_t measured_fps_ = 0;
    std::int32_t data_size_ = 0; // D
    std::int32_t largest_ = 0;
    std::int32_t smallest_ = 999999;
    std::int32_t last_compressed_ = 0;
    std::int32_t frames_appended_ = 0;
    std::int64_t append_position_ = 0;
    std::int64_t length_before_append_ = 0;
    std::int32_t measured_sample_size_ = 0;
    std::int16_t reduced_count_ = 0;
    std::vector<std::uint8_t> record_;     // the sample record being written
    std::vector<std::uint8_t> compressed_; // room for one frame compressed at any quality

    // Reader
    std::int16_t num_frames_ = 0;
    std::int16_t num_fields_ = 0;
    std::int32_t sample_size_ = 0;
    std::int16_t rgb_x_ = 0;
    std::int16_t rgb_y_ = 0;
    std::string fourcc_;
    std::int16_t top_delim_y_ = 0;
    bool samplesize_error_ = false;
    std::int16_t frames_missing_ = 0;
    bool frame_corrupted_ = false;
    bool frame_damaged_ = false;
    bool read_error_ = false;
    std::int32_t current_frame_ = 0;
    std::int32_t decoded_frame_ = 0;
    bool deinterlaced_ = false;
    std::vector<std::uint8_t> read_record_; // the record of current_frame_
    std::vector<std::uint8_t> next_record_; // read into first, so a short read leaves read_record_ whole
    px3::RecordFields fields_;
    std::int32_t checksum_ = 0;
    cDIBSection frame_;

    // Rendering
    bool rotated_ = false;
    cDIBSection field_;
    cDIBSection rotation_;
    const cDIBSection* picture_ = &frame_;
    bool undecoded_ = false; // show_decoded took the picture on show; picture() decodes it
    std::int32_t current_field_ = 0;
    std::int16_t displayed_field_ = 0;
    std::int16_t start_number_ = 0;
    std::int32_t field_duration_ = 20;
    std::int32_t frame_duration_ = 40;
    float effective_time_ = 0;
};

// The box delay a heat's times are published with: the one stored with the heat, or the one in the
// settings for a recording that has none.
std::int32_t recorded_box_delay(const cls_VideoFile_handler& rec);

} // namespace veltro
