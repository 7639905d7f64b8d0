#pragma once

#include "app/assembly.h"
#include "app/heat_lifecycle.h"
#include "capture/capture_hdmi.h"
#include "events/event_session.h"
#include "recording/video_file_handler.h"
#include "results/frame_print.h"
#include "results/live_feed.h"
#include "review/goal_line.h"
#include "review/ui/marked_slider.h"
#include "review/view_adjust.h"
#include "startswitch/interface_kit.h"
#include "startswitch/start_switch.h"
#include "support/app_paths.h"
#include "timing/finish_estimate.h"
#include "timing/heat_timing.h"

#include <QMainWindow>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QGroupBox;
class QImage;
class QPrinter;
class QLabel;
class QLineEdit;
class QLocalServer;
class QMenu;
class QPushButton;
class QSlider;
class QSocketNotifier;
class QSpinBox;
class QVBoxLayout;

namespace veltro {

class Form_HDMI_performance;
class Form_Velt_Results;
class Form_event_registration;
class Form_heat_competitors;
class Form_Veltro_settings;
class Review;
class Form_select_Video;
class Form_timer;
class Frm_progress;
class PaintedBox;
class PictureBox;
class FinishStripView;
class StripWorker;
class SimulatedKit;
class SimulatedKitWindow;
class FormStartSwitch;
class StartSwitchPanel;
class ScoreboardOutput;
class StartClickPlayer;
class LiveServer;

// What the program hands the main window at start-up: the back ends to take devices from and the
// clock, which have no defaults (a forgotten one does not compile). Tests give their own capture
// object and kit and keep a pointer to them.
struct VeltroStart {
    // `backends` and `clock` (the PC millisecond counter and the local time of day of the heat and
    // its frames) are not owned: the program's, or a test's manual clock, outlive the window.
    VeltroStart(const ProgramBackends& backends, const Clock& clock);

    // A fresh capture component (the program's: V4L2 devices, then the demo camera).
    std::function<std::unique_ptr<CaptureComponent>()> make_component;
    // The source filmed while none was ever chosen (the demo race camera).
    std::string first_start_source;
    // The kinds of start-switch hardware the settings may name.
    const KitBackends& kits;
    // The capture object; none given: one on a fresh component (`make_component`) that films
    // `first_start_source` while none was ever chosen.
    std::unique_ptr<cls_Capture_HDMI> capture;
    // The interface kit: the one the settings name (configured_kit), unless replaced.
    std::unique_ptr<InterfaceKit> kit;
    const Clock& clock;
    // A recording to review once the window is shown.
    std::string command_line_path;
    // Serve the live results on this port (`veltro --live-results[=PORT]`; 0: any free one);
    // none: as the settings say.
    std::optional<int> live_results_port;
    // Show the "Simulated interface kit" window at start-up.
    bool show_simulated_kit = false;
    // Refuse to run beside another instance (and hand it the command-line recording).
    bool single_instance = true;
    // Watch the devices' descriptors; tests call dispatch_capture / dispatch_kit instead.
    bool watch_devices = true;
    // The program's executable: the operator's guide is looked for beside it.
    std::string program_path = executable_path();
};

// The program's main window: a shell that wires the heat run, the start switch, the review and the
// results to its panels and menus. Its methods are grouped by the file that defines them.
class Form_Veltro : public QMainWindow {
    Q_OBJECT
public:
    explicit Form_Veltro(VeltroStart start, QWidget* parent = nullptr);
    ~Form_Veltro() override;

    // True when Form_Load found another instance running: the program ends without showing this.
    bool instance_refused() const { return instance_refused_; }

    // ---- Heat lifecycle (form_veltro_lifecycle.cpp) ----
    void Command_start_camera_Click();
    void Start_camera();
    void Stop_Cams();
    void Do_Stop_Cams();
    void Command_initiate_file_Click();
    // `signal_mill`: when the start signal came, on the PC millisecond counter (an input's edge); none:
    // now (the "Start heat" button).
    void Handle_Start(std::optional<std::uint32_t> signal_mill = std::nullopt);
    void command_start_heat_click();
    void Handle_Capture_Start(std::optional<std::uint32_t> signal_mill = std::nullopt);
    // `signal_mill`: the trigger edge that ends the capture; frames still waiting to be delivered
    // were filmed before it and are stored first.
    void Handle_Capture_End(std::optional<std::uint32_t> signal_mill = std::nullopt);
    void command_capture_mouse_down();
    void command_capture_mouse_up();
    void HDMI_event();
    void Do_Abort();
    void Command_finish_Click();
    void do_Heat_Finish();
    void item_last_heat_Click();
    void Update_File_Size(const std::string& name);
    void Update_Running_Fps();
    void Update_heat_time();
    void Stop_all_cams();
    // The running capture device stopped by itself: capture ends with every stored frame, and the
    // operator hears why once the frame delivery that found it is over.
    void capture_source_lost(const std::string& reason);
    // The device lost `count` frames on the way, before the frame that arrived at `before_mill`.
    void capture_frames_lost(std::int64_t count, std::uint32_t before_mill);
    // What the signal timer runs: a lost device tried again, "No signal" judged, the live view
    // redrawn when what it says over the picture changes.
    void watch_signal();
    // A finish trigger of the start switch is held now.
    bool finish_trigger_held() const;
    void Load_Compensations();
    void Read_Goal_Lines();
    void Read_Last_Crop();
    void Set_Cropping(std::int16_t width, std::int16_t height);

    // ---- The moved-camera check (form_veltro_moved_camera.cpp) ----
    // Takes the live picture at the initiation of `recording` (goal line `line`) and checks it once the
    // initiating handler is over, so that no question holds up a start that initiated the recording.
    void queue_moved_camera_check(const std::string& recording, const Goal_line& line);
    void check_moved_camera(const cDIBSection& live, const Goal_line& line, const std::string& recording);

    // ---- Start switch (form_veltro_switch.cpp) ----
    void Check_For_Phidget();
    void obj_Phidget_OnAttach();
    void obj_Phidget_OnDetach();
    void obj_Phidget_OnInputChange(std::int16_t index, bool state, std::uint32_t stamp_mill);
    void Check_Attached();
    void Update_LED();
    void item_blink_led_click();
    // Takes other start-switch hardware into use at once; nullptr: the simulated kit.
    void use_kit(std::unique_ptr<InterfaceKit> kit);

    // Switches the kit's LED (output 0), which the demo camera's LED follows; returns the PC counter
    // at the switch.
    std::uint32_t set_led(bool on);

    // ---- The capture delay, measured through the kit's LED (form_veltro_delay.cpp) ----
    // "Place LED box": the next drag on the live picture draws the box around the LED.
    void item_place_led_box_click();
    // "Measure capture delay": starts the measurement, or stops the one running.
    void item_measure_delay_click();
    // What the measurement's timer does: the LED switched when due, the LED box's samples taken, and at
    // the end the result told (tests on a manual clock call it themselves).
    void measure_delay_tick();

    // ---- The window, its parts and the windows it owns (form_veltro.cpp) ----
    void Arrange_form();
    void Paint_cmd_100();
    void Paint_Notime();
    void Paint_Deadheat();
    void Loose_Focus();
    bool cameras_running() const;
    // Camera colour as the program writes it (0xBBGGRR): light green for the goal camera, yellow for
    // the split camera.
    static std::uint32_t camera_colour(std::int16_t camera);

    // The windows this one owns, created on first use.
    Form_Veltro_settings& settings_window();
    Frm_progress& progress_window();
    // A print's steps shown in the progress window: caption (empty keeps it) and percent; -1 hides it.
    std::function<void(const std::string&, int)> progress_steps();
    // The event editor, on this window's event session.
    Form_event_registration& event_registration_window();
    void item_event_registration_click();
    Form_select_Video& select_video_window();
    Form_timer& timer_window();
    SimulatedKitWindow* simulated_kit_window();
    FormStartSwitch& start_switch_window();

    // Delivers waiting frames / kit events (the descriptors' notifiers do it in a normal run).
    void dispatch_capture();
    void dispatch_kit();
    // Has the capture thread take the frames the device holds ready, then hears of them (not from
    // inside a delivery).
    void deliver_frames();
    // What the capture thread has to say: frames, lost frames, a lost source.
    void deliver_notices();

    // ---- Start-up and close (form_veltro_startup.cpp) ----
    void Form_Activate();
    void Veltro_end();
    void Do_Close();
    void load_Capture_Folder();
    // The folder new recordings go to: the one chosen, else the user's videos folder + "/Veltro".
    std::string capture_folder() const;
    // Captures cut short by the program's end (a crash, a power cut) left their frames in a spool
    // beside their recording: they go into the recordings now, and the operator is told.
    void recover_captures();
    bool Validate_Folder();
    void label_capture_folder_click();

    // ---- Menus (form_veltro_menus.cpp) ----
    // Opening "Form": with Alt held the "Trap errors" menu shows and "Debug" toggles.
    void menu_form_click(Qt::KeyboardModifiers modifiers);
    QMenu* menu(const char* name) const;
    // "Print folder...": where prints go as PDF files when no printer is installed.
    void item_print_folder_click();
    std::function<std::string(const std::string& suggested)> choose_print_folder;

    // ---- Diagnostics (form_veltro_diagnostics.cpp) ----
    // "HDMI performance" (checked: shown) and "JPEG Benchmark" of the "Diagnostics" menu.
    void item_hdmi_performance_click(bool checked);
    void item_jpeg_benchmark_click();
    Form_HDMI_performance* performance_window() const { return performance_window_; }

    // ---- Event results and evidence (form_veltro_publish.cpp) ----
    // "Event results...": every recording of the capture folder as one web page and one CSV file.
    void item_event_results_click();
    // "Save evidence...": the evidence pack of the heat under review in a new folder.
    void item_save_evidence_click();
    // Their dialogs: the suggested path in, the chosen one out ("" when cancelled).
    std::function<std::string(const std::string& suggested)> choose_event_results_file;
    std::function<std::string(const std::string& suggested)> choose_evidence_folder;

    // ---- The finish strip (form_veltro_strip.cpp) ----
    // Asks for the finish strip of the recording on show along the goal line on show; it is made in
    // the background and shown when ready (dispatch_strip).
    void request_strip();
    // Shows a finished strip (the descriptor's notifier does it in a normal run).
    void dispatch_strip();

    // The dog names of the heat initiated last, one a line, as its event file gave them.
    const std::string& dog_list() const { return dog_list_; }

    // ---- Review and time assignment (form_veltro_review.cpp) ----
    void Handle_Open(const std::string& path);
    void Display_Heat_Data();
    void Clear_Results_Display();
    void Handle_Goal_Offset(int key);
    Form_Velt_Results& results_window();
    void Handle_results();
    // Shows the result array as it stands (no reload); nothing while no recording is open.
    void Display_Result_Array();
    // The heat competitor list (menu "Dog names"), created on first use.
    Form_heat_competitors& competitors_window();
    void reload_competitors();
    void Set_Buttons();
    void Display_Goal_times();
    void Display_Split_times();
    // Shows, while a recording is reviewed, when the goal compensation in force is not its own.
    void show_compensation_note();
    // The marks beside the play slider from the recording as it stands; none while nothing is open.
    void show_slider_marks();
    // Page Down (+1) / Page Up (-1): the play slider moves to the next / previous mark; a beep when
    // there is none that way.
    void jump_to_mark(int direction);

    // ---- Frame and series printing (form_veltro_print.cpp) ----
    // The name of a print of the heat under review: event, heat, camera and `kind`.
    std::string print_name(const std::string& kind) const;
    void item_print_frame_Click();
    void item_print_series_Click();
    void item_print_dog_name_click();
    // "Print photo finish": the finish strip with a tick and time for every timed box, the heading
    // and the result table, on a landscape page.
    void item_print_photo_finish_click();
    void print_photo_finish(QPrinter& printer);
    // The printer dialog on `printer`; what is chosen becomes the program's printer. False: cancelled.
    bool Show_Printer_Dialog(QPrinter& printer);
    // Prints the picture on show (`series` false) or the finish pictures of the boxes; the page
    // count printed.
    int Print_Frame(bool series, QPrinter& printer);
    // The dog line printed under a picture (never on it).
    std::vector<std::string> print_BOX_Time(std::int16_t number, std::int16_t box,
                                            const std::string& name) const;
    // The pictures of each printed page with the lines printed under them: the picture on show, or
    // the finish picture of each timed box; the play position is back where it was afterwards.
    std::vector<std::vector<PrintCell>> print_pictures(bool series);
    // The name entered through "Dog Name" for the picture captions.
    const std::string& print_dog_name() const { return print_dog_name_; }

    // ---- The view of the review picture (form_veltro_view.cpp): display only ----
    // `steps` zoom steps around the middle of the goal line on show; a beep without a review picture
    // or beyond the last step.
    void item_zoom_click(int steps);
    // One step of brightness, contrast or gamma; a beep at the end of its range.
    void item_view_enhance_click(bool (ViewAdjust::*knob)(int), int step);
    // Zoom, pan and enhancement back to the picture as recorded.
    void item_reset_view_click();

protected:
    // form_veltro_startup.cpp
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    // form_veltro_review.cpp
    void item_open_file_click();
    void item_show_results_click();
    void item_dog_names_click();
    void item_reset_goal_line_click();
    void item_displace_goalline_click();
    void item_x_stretch_click(int item);
    void item_crop_size_click(const QString& caption);
    void item_display_sample_data_click();
    void item_display_hd_frame_data_click();
    void item_assign_times_click(int command);
    void command_box_mouse_down(int box);
    void command_box_mouse_up(int box);
    void command_box_click(int box);
    void command_split_goal_click();
    void slider_play_change(int value);
    void up_down_heat_change(int heat);

private:
    // form_veltro.cpp
    // "Set_Time of Form Form_Veltro": where a trapped handler of this window ran.
    static std::string where(const char* procedure);
    // form_veltro_panels.cpp
    void build_controls();
    void build_picture(QWidget* central, QVBoxLayout& column);
    void build_clock_panel(QWidget* central, QVBoxLayout& column);
    void build_heat_panel(QWidget* central, QVBoxLayout& column);
    QGroupBox* build_set_times_panel(QWidget* central);
    QGroupBox* build_dogs_panel(QWidget* central);
    // form_veltro_menus.cpp
    void build_menus();
    void build_form_menu();
    void build_settings_menu();
    void build_diagnostics_and_print_menus();
    void build_debug_menu();
    void build_time_menus();
    void build_help_menu();
    // form_veltro_view.cpp
    void build_view_menu();
    // form_veltro_delay.cpp
    void build_delay_items(QMenu* menu);
    struct Delay_parts;
    struct DelayPartsDeleter {
        void operator()(Delay_parts* parts) const;
    };
    // The measurement's end: the probe off, the LED back to its own state; what was measured is told.
    void end_delay_measurement(bool completed);
    // form_veltro.cpp
    QAction* add_item(QMenu* menu, const char* name, const QString& caption, std::function<void()> handler);
    void watch_capture(bool on);
    void paint_dog_tiles();
    // form_veltro_startup.cpp
    void Form_Load();
    bool another_instance_running();
    void received_from_second_instance();
    void Unload_Forms();
    // form_veltro_lifecycle.cpp
    void paint_arm(QPainter& p);
    void paint_live_overlay(QPainter& p, const QSize& picture);
    // "No signal" or the lost device, over the live picture.
    void paint_signal_overlay(QPainter& p, const QSize& picture);
    HeatArming arming() const;
    // A finish, abort, camera stop, close or shutdown while frames are being captured first appends
    // them through the normal capture end, so none is lost or carried into the next heat.
    void end_capture_first();
    void Clear_sources();
    // form_veltro_menus.cpp
    void item_associate_click();
    void item_dll_available_click();
    void item_picture_size_click();
    void item_timestamp_report_click();
    void item_file_properties_click();
    void item_px3_properties_click();
    // The changes of the heat's results from its journal, in the debug text window.
    void item_history_click();
    // `text` of the recording under review in the debug text window; a beep with none open.
    void show_in_debug_window(const std::string& title, const std::function<std::string()>& text);
    void item_text_xml_header_click();
    void item_dump_xml_header_click();
    void item_validate_folder_click();
    void item_misbehave_click(bool trapped_run);
    void item_no_event_file_click();
    void item_open_event_file_click();
    void item_about_click();
    void item_guide_click();
    void item_exit_click();
    void command_notime_menu(const char* caption);
    // form_veltro_review.cpp
    struct Review_parts;
    struct ReviewPartsDeleter {
        void operator()(Review_parts* parts) const;
    };
    Review_parts& review_parts();
    Review& review();
    // The estimated crossings of the recording under review, as its results window shows them.
    const BoxEstimates& finish_estimates();
    // The picture on show is of a recording under review.
    bool reviewing() const { return recording_.File_open(); }
    void show_review_picture();
    void show_camera();
    void sync_goal_lines(bool to_review);
    // Undo, Declare official, Withdraw official: a ReviewController::ResultEdit.
    void item_change_result_click(int change);
    // The review's own keys (box digits, Page Up / Page Down) when `watched` holds this window's
    // keyboard focus outside a text field; true when the key was taken.
    bool review_key(QObject* watched, const QKeyEvent& key);
    // form_veltro_strip.cpp
    void build_strip(QWidget* central);
    void show_strip_position();
    void close_strip();
    // form_veltro_publish.cpp
    void install_publish_dialogs();
    // form_veltro_switch.cpp
    bool start_switch_may_change();
    std::string start_switch_status() const;
    // form_veltro.cpp
    std::unique_ptr<InterfaceKit> make_simulated_kit();
    std::uint32_t now() const { return clock_.millis(); }
    // form_veltro_live.cpp
    void start_live_results();
    // Again with the settings as they are now (the settings window changed them).
    void restart_live_results();
    void start_scoreboard();
    // Tells the track's displays what became of the heat: a change of `kind`, the heat now `state`.
    void publish_live(const char* kind, const char* state);
    // The race card of the event file as it stands; the results of the capture folder's recordings.
    void publish_live_card();
    void publish_live_event();
    // form_veltro_print.cpp
    void start_print(bool series);
    // The texts of a printed page for the heat on show, printed on `device`.
    FramePageTexts frame_page_texts(const std::string& device) const;
    // The picture at the play position, the part `shown` of it, enhanced as on screen, with the goal
    // line when prints carry it.
    PrintCell printed_picture(const PrintView& shown, std::vector<std::string> caption);

    VeltroStart start_;
    const Clock& clock_;
    std::unique_ptr<cls_Capture_HDMI> capture_;
    cls_VideoFile_handler recording_;
    std::unique_ptr<HeatLifecycle> heat_;
    StartSwitch switch_;
    HeatTiming timing_;
    EventSession event_session_{default_event_folder()};
    LiveFeed live_feed_{clock_};
    std::unique_ptr<LiveServer> live_server_;
    std::unique_ptr<ScoreboardOutput> scoreboard_;
    std::string live_official_; // the official mark the track last heard of
    std::unique_ptr<InterfaceKit> kit_;
    SimulatedKit* simulated_kit_ = nullptr;
    std::unique_ptr<StartClickPlayer> click_;
    QSocketNotifier* capture_notifier_ = nullptr;
    QSocketNotifier* kit_notifier_ = nullptr;
    // True while the capture component delivers frames: a kit event handled then must not ask for
    // frames again.
    bool delivering_frames_ = false;
    QLocalServer* instance_server_ = nullptr;

    // Windows, created on first use.
    Form_Veltro_settings* settings_window_ = nullptr;
    Frm_progress* progress_window_ = nullptr;
    Form_event_registration* event_registration_window_ = nullptr;
    Form_select_Video* select_video_window_ = nullptr;
    Form_timer* timer_window_ = nullptr;
    Form_HDMI_performance* performance_window_ = nullptr;
    SimulatedKitWindow* kit_window_ = nullptr;
    FormStartSwitch* start_switch_window_ = nullptr;
    Form_heat_competitors* competitors_window_ = nullptr;

    // Controls.
    PictureBox* picture_ = nullptr;
    FinishStripView* strip_view_ = nullptr;
    std::unique_ptr<StripWorker> strip_worker_;
    QSocketNotifier* strip_notifier_ = nullptr;
    PaintedBox* picture_arm_ = nullptr;
    MarkedSlider* slider_play_ = nullptr;
    QPushButton* command_start_camera_ = nullptr;
    QPushButton* command_initiate_file_ = nullptr;
    QPushButton* command_start_heat_ = nullptr;
    QPushButton* command_capture_ = nullptr;
    QPushButton* command_finish_ = nullptr;
    QPushButton* command_split_goal_ = nullptr;
    QPushButton* command_100_ = nullptr;
    QPushButton* command_deadheat_ = nullptr;
    QPushButton* command_notime_ = nullptr;
    std::array<QPushButton*, 6> command_box_{};
    QGroupBox* frame_set_times_ = nullptr;
    QGroupBox* frame_control_ = nullptr;
    QGroupBox* frame_dogs_ = nullptr;
    std::array<QLabel*, 6> label_dog_tile_{};
    std::array<QLabel*, 6> label_dog_name_{};
    QLabel* label_heat_time_ = nullptr;
    QLabel* label_picture_number_ = nullptr;
    QLabel* label_compensation_ = nullptr;
    QLabel* label_fps_ = nullptr;
    QLabel* label_file_size_ = nullptr;
    QLabel* label_frame_size_ = nullptr;
    QLabel* label_frame_count_ = nullptr;
    QLabel* label_arm_ = nullptr;
    QLabel* label_capture_folder_ = nullptr;
    QLabel* label_event_ = nullptr;
    QLabel* label_heat_ = nullptr;
    QSpinBox* updown_heat_ = nullptr;
    QLineEdit* text_file_name_ = nullptr;
    QLabel* label_attached_status_ = nullptr;
    StartSwitchPanel* start_switch_panel_ = nullptr;

    // Menus.
    QMenu* menu_form_ = nullptr;
    QMenu* menu_debug_ = nullptr;
    QMenu* menu_assign_ = nullptr;
    QMenu* menu_specials_ = nullptr;
    QMenu* menu_notime_ = nullptr;
    QMenu* menu_trap_errors_ = nullptr;
    QMenu* menu_crop_ = nullptr;

    // Timers: the heat clock (50 ms), the frame-rate display (1000 ms) and the source's signal (100 ms).
    QTimer timer_heat_clock_;
    QTimer timer_fps_;
    QTimer timer_signal_;

    // State.
    bool instance_refused_ = false;
    bool program_ending_ = false;
    bool activated_ = false;
    bool library_present_ = false;
    bool led_test_pressed_ = false;
    std::uint32_t program_start_counter_ = 0;
    bool live_view_ = false;
    std::uint32_t last_live_picture_ = 0;
    bool live_picture_shown_ = false;
    cDIBSection live_picture_; // the copy of the latest cropped frame on show
    // The device went while capture was on: when it comes back with a finish trigger still held,
    // capture goes on.
    bool resume_capture_on_return_ = false;
    // What the live view says over the picture about the source ("No signal"); empty: nothing.
    std::string signal_text_;
    std::int16_t crop_width_ = 400;
    std::int16_t crop_height_ = 880;
    std::int16_t selected_camera_ = 1;
    std::array<Goal_line, 2> goal_lines_{};
    std::string dog_list_;
    std::string command_line_path_;
    std::string recovered_to_open_; // a recovered heat the operator chose to open at activation
    bool escape_down_ = false;
    std::string print_dog_name_;
    // Where the judge was looking, zoomed in, when each box was given its time (split times under
    // true), for this recording: the series print crops each box's picture around it.
    std::map<std::pair<bool, std::int16_t>, ViewPoint> nose_points_;
    std::uint32_t last_key_ = 0;
    bool key_seen_ = false;
    // The operator's heat buttons count one press a second; the capture button one in 300 ms.
    Debounce start_camera_press_{1000};
    Debounce start_heat_press_{1000};
    Debounce capture_down_press_{300};
    Debounce capture_up_press_{300};
    // The review, its results window and the time assignment; made on first use.
    std::unique_ptr<Review_parts, ReviewPartsDeleter> review_parts_;
    // The LED box and the capture delay measurement; goes first, while the capture object is there.
    std::unique_ptr<Delay_parts, DelayPartsDeleter> delay_parts_;
};

// Said once the handler that found it is over: a message box must not stand inside a frame delivery
// or a start-switch event.
void tell_later(QObject* context, const std::string& text);

} // namespace veltro
