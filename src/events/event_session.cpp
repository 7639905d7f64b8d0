#include "events/event_session.h"

#include "support/app_paths.h"
#include "support/files.h"
#include "support/operator.h"
#include "support/settings.h"
#include "support/text.h"
#include "support/trace.h"

#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace veltro {
namespace fs = std::filesystem;

namespace {

constexpr const char* kNoEventFile = "No event file";

bool no_file_named(const std::string& path) {
    return path.empty() || path == "N/A";
}

} // namespace

std::string default_event_folder() {
    const fs::path folder = fs::path(data_dir()) / "Veltro Event Files";
    std::error_code ec;
    fs::create_directories(folder, ec); // a failure shows when a file there is written
    return folder.string();
}

std::string event_file_stem(const std::string& event_name, const std::string& day) {
    return day.empty() ? event_name : event_name + " " + day;
}

std::string file_name_part(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

EventSession::EventSession(std::string event_folder) : event_folder_(std::move(event_folder)) {
    doc_.Create_Veltro_Race_File();
}

void EventSession::current_heat(std::int16_t heat) {
    if (heat < 1 || heat > kEventHeats)
        throw VeltroError(err::kSubscriptOutOfRange, "Heat " + std::to_string(heat) + " is not in 1..100");
    current_heat_ = heat;
}

void EventSession::report(const VeltroError& e, const std::string& procedure) {
    const std::string location = procedure + " of Form Form_event_registration";
    if (report_error)
        report_error(e, location);
    else
        the_operator().message("Error " + std::to_string(e.number()) + " " + e.description() + "\r\n" +
                                   location,
                               MsgIcon::Critical, " PXV Error");
}

bool EventSession::file_exists(const std::string& path) const {
    std::error_code ec;
    return !path.empty() && fs::exists(path, ec);
}

// --- File operations ---

void EventSession::create_new_event_file() {
    if (fields_.event_name.empty()) {
        the_operator().message("Please enter Event Name before creating the event file!");
        return;
    }
    std::error_code ec;
    fs::create_directories(event_folder_, ec); // a failure shows when the file is written
    // Only the name part is made valid: the folder's own '-' or ',' must stay. A blank keeps the
    // event's name and its day apart.
    const std::string path =
        (fs::path(event_folder_) /
         (Make_Valid_File_Name(event_file_stem(fields_.event_name, fields_.day)) + ".xml"))
            .string();
    // The name and day fields now name the new event: the open one keeps its own on disk.
    if (file_open_ && !doc_.empty()) {
        doc_.event_name(opened_name_);
        doc_.event_day(opened_day_);
        XML_to_File();
    }
    // The open event stays current until the operator agrees to replace the other file.
    if (file_exists(path) &&
        !the_operator().ask_yes_no(path + "\r\n" + "This event file already exists. Overwrite?")) {
        if (file_open_ && !doc_.empty()) {
            fields_.event_name = opened_name_;
            fields_.day = opened_day_;
        }
        return;
    }
    current_event_file_ = path;
    // The old file is not deleted first: the save replaces it in one step, or refuses a read-only
    // file and leaves it as it is.
    Create_Event_XML_File();
    file_open_ = true;
    doc_.event_name(fields_.event_name);
    doc_.event_day(fields_.day);
    XML_to_File();
    Parse_XML_file();
    Write_Setting(keys::current_event_file, path);
    editor_start_up();
}

void EventSession::Create_Event_XML_File() {
    Trace("*Create_Event_XML_File");
    doc_.Create_Veltro_Race_File();
    XML_to_File();
}

void EventSession::XML_to_File() {
    const std::string path = current_event_file_;
    if (no_file_named(path))
        return;
    if (is_read_only_file(path)) {
        the_operator().message("Event file is Read-Only!\r\n" + path);
        return;
    }
    Trace("*Form_event_registration XML_to_File");
    const std::string xml = doc_.serialise();
    if (xml.empty()) {
        Trace("*XML_to_File  no XML!");
        return; // nothing loaded: an empty document must never replace an event file
    }
    // The old file stays in place until the new one is complete (no delete-then-write).
    Trace("*XML_to_File 1");
    save_file_atomically(path, xml);
    Trace("*XML_to_File 3");
}

void EventSession::Parse_XML_file() {
    const std::string path = current_event_file_;
    if (!file_exists(path))
        return;
    Validate_XML_file(path);
    doc_.clear();
    try {
        const auto bytes = read_whole_file(path);
        if (!bytes)
            throw VeltroError(err::kPermissionDenied, "Could not read the event file " + path);
        doc_.load(*bytes, path);
        // A file without the full skeleton is refused whole: a heat or box it lacks would fail
        // at whatever moment the evening first asks for it.
        if (const std::string missing = doc_.first_missing_node(); !missing.empty())
            throw VeltroError(err::kObjectVariableNotSet,
                              path + " is not a complete event file: it has no " + missing);
        fields_.event_name = doc_.event_name();
        fields_.day = Get_day();
        opened_name_ = fields_.event_name;
        opened_day_ = fields_.day;
    } catch (const VeltroError&) {
        // Never written back as if it were an event, and never shown as one.
        doc_.clear();
        event_valid_ = false;
        throw;
    }
    fields_.file_label = path;
    fields_.file_label_tip = path;
}

bool EventSession::Validate_XML_file(const std::string& path) {
    std::error_code ec;
    const auto size = fs::file_size(path, ec);
    if (!ec && size > 0)
        return true;
    // A missing file is no valid event either, so the flag goes in both cases.
    event_valid_ = false;
    if (ec)
        report(VeltroError(error_number_for_errno(ec.value()), "Event file " + path + ": " + ec.message()),
               "Validate_XML_file");
    return false;
}

void EventSession::Open_Event_File() {
    event_valid_ = true;
    if (!Validate_XML_file(current_event_file_))
        the_operator().message("Invalid Event File! " + file_name_part(current_event_file_));
}

void EventSession::editor_start_up() {
    current_event_file_ = Read_Setting(keys::current_event_file);
    if (current_event_file_ == "N/A") {
        current_event_file_.clear();
        event_valid_ = false;
        if (show_heat_data)
            show_heat_data();
        return;
    }
    if (!file_exists(current_event_file_)) {
        the_operator().message("Stored Event File name not found!\r\n" + current_event_file_);
        current_event_file_.clear();
        event_valid_ = false;
        return;
    }
    Open_Event_File();
    if (!file_exists(current_event_file_)) {
        the_operator().message("Event file does not exist!");
        return;
    }
    fields_.file_label = current_event_file_;
    fields_.file_label_tip = current_event_file_;
    file_open_ = true;
    current_heat_ = 1;
    if (event_valid_) {
        // A broken file is reported and the program goes on without an event.
        try {
            Parse_XML_file();
            Load_Heat_Data();
        } catch (const VeltroError& e) {
            report(e, "Parse_XML_file");
        }
    }
}

void EventSession::open_another_event_file(const std::string& path) {
    if (path.empty())
        return;
    current_event_file_ = path;
    file_open_ = true;
    Open_Event_File();
    Write_Setting(keys::current_event_file, path);
    Parse_XML_file();
    Load_Heat_Data();
}

void EventSession::close_event_file() {
    file_open_ = false;
    current_event_file_.clear();
    Write_Setting(keys::current_event_file, "");
    doc_.Create_Veltro_Race_File();
    fields_.file_label = kNoEventFile;
    fields_.event_name.clear();
    fields_.day.clear();
    Load_Heat_Data();
}

void EventSession::no_event_file() {
    current_event_file_.clear();
    Write_Setting(keys::current_event_file, "");
    event_valid_ = false;
    // The editor must not go on taking typing that no file will ever receive.
    file_open_ = false;
    doc_.Create_Veltro_Race_File();
    fields_ = EventEditorFields{};
    fields_.file_label = kNoEventFile;
}

// --- Editor field rules ---

void EventSession::Load_Heat_Data() {
    const std::int16_t h = current_heat_;
    fields_.heat_name = doc_.heat_name(h);
    // Every heat shows its own length, even an empty one: a length kept from another heat would be
    // printed for this one.
    fields_.heat_length = doc_.heat_length(h);
    fields_.heat_start_time = doc_.heat_time(h);
    for (std::int16_t b = 1; b <= kTimedBoxes; ++b)
        fields_.dog_names[static_cast<std::size_t>(b - 1)] = doc_.dog_name(h, b);
}

void EventSession::Update_Event_file_name() {
    fields_.file_label =
        file_exists(current_event_file_) ? file_name_part(current_event_file_) : kNoEventFile;
}

// --- Queries ---

std::string EventSession::Event_name() const {
    return file_open_ ? doc_.event_name() : std::string();
}

std::string EventSession::Get_day() const {
    return doc_.event_day();
}

std::string EventSession::Heat_Name(std::int16_t heat) const {
    return file_open_ ? doc_.heat_name(heat) : std::string();
}

std::string EventSession::Heat_Length(std::int16_t heat) const {
    return file_open_ ? doc_.heat_length(heat) : std::string();
}

std::string EventSession::Reg_Dog_Name(std::int16_t heat, std::int16_t box) const {
    return doc_.dog_name(heat, box);
}

// --- Editor writers ---

bool EventSession::write_event_name(const std::string& value) {
    if (!file_open_)
        return false;
    doc_.event_name(value);
    return true;
}

bool EventSession::write_event_day(const std::string& value) {
    if (!file_open_)
        return false;
    doc_.event_day(value);
    return true;
}

bool EventSession::write_heat_name(const std::string& value) {
    if (!file_open_)
        return false;
    doc_.heat_name(current_heat_, value);
    return true;
}

bool EventSession::write_heat_time(const std::string& value) {
    if (!file_open_)
        return false;
    doc_.heat_time(current_heat_, value);
    return true;
}

bool EventSession::write_heat_length(const std::string& value) {
    if (!file_open_)
        return false;
    doc_.heat_length(current_heat_, value);
    return true;
}

bool EventSession::write_dog_name(std::int16_t box, const std::string& value) {
    if (!file_open_)
        return false;
    doc_.dog_name(current_heat_, box, value);
    return true;
}

bool EventSession::import_possible() {
    // Without any event file there is nothing to report beyond the refusal itself.
    if (no_file_named(current_event_file_) || !Validate_XML_file(current_event_file_)) {
        the_operator().message("No valid Event File open!\r\nImport not possible");
        return false;
    }
    return true;
}

} // namespace veltro
