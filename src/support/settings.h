#pragma once

#include <cstdint>
#include <string>

namespace veltro {

// The program's settings file, one per user. No cache: every read goes to the file and every write
// lands in it at once (atomically), so a value written anywhere is seen by the next read.

// The settings file path: data folder + "/Veltro_HDMI.ini", fixed at the first call.
const std::string& settings_path();
// Points the store at another file (tests; an empty path makes reads and writes fail as they must).
void set_settings_path(const std::string& path);

// The value, or `default_value` when the key is missing or empty, or "N/A" when the default is empty
// too. Values are cut at 511 characters.
std::string Read_Setting(const std::string& section, const std::string& key,
                         const std::string& default_value);
// 1 on success, 0 on failure (after telling the operator).
std::int16_t Write_Setting(const std::string& section, const std::string& key, const std::string& value);

// Every key the program uses, with its section and default: the one list of them.
struct SettingKey {
    const char* section;
    const char* key;
    const char* default_value;
};

namespace keys {
inline constexpr SettingKey current_event_file{"Settings", "current_event_file", "N/A"};
inline constexpr SettingKey importdir{"Settings", "importdir", "c:"};
inline constexpr SettingKey auto_init{"Settings", "auto_init", "0"};
inline constexpr SettingKey open_after_finish{"Settings", "open_after_finish", "0"};
inline constexpr SettingKey show_printer_dialog{"Settings", "show_printer_dialog", "0"};
inline constexpr SettingKey box_delay{"Settings", "Box_delay", "0"};
inline constexpr SettingKey goal_compensation{"Settings", "goal_compensation", "200"};
inline constexpr SettingKey split_compensation{"Settings", "split_compensation", "200"};
inline constexpr SettingKey cpubitness{"Settings", "cpubitness", "N/A"};
inline constexpr SettingKey osbitness{"Settings", "osbitness", "N/A"};
inline constexpr SettingKey heat_id{"Settings", "Heat_ID", "1"};
inline constexpr SettingKey last_file{"Settings", "last_file", "N/A"};
inline constexpr SettingKey last_folder{"Settings", "last_folder", "N/A"};
inline constexpr SettingKey save_folder{"Settings", "save_folder", "C: Click to change!"};
inline constexpr SettingKey lastcrop{"Settings", "lastcrop", "400*880"};
// Seconds a dog covers one length in at the finish, for the distances between dogs.
inline constexpr SettingKey seconds_per_length{"Settings", "seconds_per_length", "0.08"};
// Milliseconds of compressed pictures kept while the camera runs, so that a capture begins at its
// trigger's edge however late the window handles it; and whether a capture also keeps them before it.
inline constexpr SettingKey preroll_ms{"Settings", "preroll_ms", "2000"};
inline constexpr SettingKey keep_preroll{"Settings", "keep_preroll", "0"};
// The live results server: on or off, its port, and the address it listens on ("0.0.0.0": every
// network the computer is on).
inline constexpr SettingKey live_results{"Settings", "live_results", "0"};
inline constexpr SettingKey live_results_port{"Settings", "live_results_port", "8080"};
inline constexpr SettingKey live_results_address{"Settings", "live_results_address", "0.0.0.0"};
// When set, the officials' pages (the speaker's) ask for it: "?token=..." in their address.
inline constexpr SettingKey live_results_token{"Settings", "live_results_token", ""};
// "1": printed results carry the estimated crossings below the table (advisory; off by default).
inline constexpr SettingKey print_estimates{"Settings", "print_estimates", "0"};
// The scoreboard line output: on or off, and where the lines go ("udp:HOST:PORT", "tcp:HOST:PORT" or
// "serial:DEVICE:BAUD").
inline constexpr SettingKey scoreboard{"Settings", "scoreboard", "0"};
inline constexpr SettingKey scoreboard_target{"Settings", "scoreboard_target", "udp:127.0.0.1:5005"};
// Its lines, one template for each kind ("running", "result", "heat", "clear"); unset: the built-in
// one. Escapes such as "\r\n" or "\x1B" are decoded; the {placeholders} are listed in
// results/scoreboard.h.
inline constexpr SettingKey scoreboard_running{"Settings", "scoreboard_running", ""};
inline constexpr SettingKey scoreboard_result{"Settings", "scoreboard_result", ""};
inline constexpr SettingKey scoreboard_heat{"Settings", "scoreboard_heat", ""};
inline constexpr SettingKey scoreboard_clear{"Settings", "scoreboard_clear", ""};
// "1": a key or click replaces a box's time without the question.
inline constexpr SettingKey replace_without_asking{"Settings", "replace_without_asking", "0"};
// The operator's name given last; offered when the next session asks for it.
inline constexpr SettingKey operator_name{"Settings", "operator_name", "N/A"};
// "0": prints and published finish pictures leave the goal line off the picture.
inline constexpr SettingKey print_goal_line{"Settings", "print_goal_line", "1"};
// "dx,dy": the demo camera's scene moved that many pixels (right and down), as by a knocked camera.
inline constexpr SettingKey demo_camera_shift{"Settings", "demo_camera_shift", ""};
// The box around the start kit's LED on the live picture ("x,y,w,h" in cropped-picture pixels), and
// the last capture delay measured through it (a delay record: date; source; format; result).
inline constexpr SettingKey led_box{"Settings", "led_box", ""};
inline constexpr SettingKey capture_delay{"Settings", "capture_delay", ""};
inline constexpr SettingKey goal_line_1{"Goal_lines", "Goal_line1", "N/A"};
inline constexpr SettingKey goal_line_2{"Goal_lines", "Goal_line2", "N/A"};
inline constexpr SettingKey friendlyname{"capturesettings", "friendlyname", "noname"};
inline constexpr SettingKey videoproperty{"capturesettings", "videoproperty", "-1"};
// The exposure time (µs) and gain set for the chosen source at every camera start; none (read as
// "N/A"): the source's own.
inline constexpr SettingKey capture_exposure{"capturesettings", "exposure", ""};
inline constexpr SettingKey capture_gain{"capturesettings", "gain", ""};
inline constexpr SettingKey videoformat{"capture", "videoformat", ""};
// Support contact details printed and mailed with an error report; a report leaves out the
// ones not set. The postal address holds its lines joined by "|".
inline constexpr SettingKey support_postal_address{"Support", "postal_address", ""};
inline constexpr SettingKey support_email{"Support", "email", ""};
inline constexpr SettingKey support_telephone{"Support", "telephone", ""};
// Section = the window's own name.
inline constexpr const char* windowpos = "windowpos";
inline constexpr const char* windowpos_default = "0,0";
} // namespace keys

std::string Read_Setting(const SettingKey& key);
std::int16_t Write_Setting(const SettingKey& key, const std::string& value);

// A window's place on screen, in the window's own coordinate units.
struct FormPos {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Writes "left,top,width,height" under [form_name] windowpos.
void Store_Form_Pos(const std::string& form_name, const FormPos& pos);
// Starts from `pos` (the window's present place) and takes what is stored: left and top only when
// greater than 0, width and height when present. Afterwards a left or top below -150 becomes 0 and,
// with `keep_on_screen`, a left not less than screen_width or a top not less than screen_height
// becomes 0.
FormPos Get_Form_Pos(const std::string& form_name, FormPos pos, int screen_width, int screen_height,
                     bool keep_on_screen = true);

// Reads cpubitness and osbitness; a value not yet stored is computed and written once. The values
// land in the process facts.
void load_bitness_values();

// The platform's compatibility flags for this program, shown in the About window. Linux keeps no
// such flags, so this is always the text for a key that cannot be opened.
inline std::string compatibility_flags() {
    return "**Not found!";
}
} // namespace veltro
