// The menus of the main window and the small commands behind them.
#include "app/ui/form_timer.h"
#include "app/ui/form_veltro.h"
#include "capture/ui/form_select_video.h"
#include "events/ui/form_event_registration.h"
#include "recording/px3_properties.h"
#include "recording/result_history.h"
#include "recording/timestamp_report.h"
#include "review/finish_pictures.h"
#include "review/ui/picture_box.h"
#include "startswitch/ui/form_start_switch.h"
#include "startswitch/ui/simulated_kit_window.h"
#include "support/app_paths.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/desktop_association.h"
#include "support/ui/form_veltro_settings.h"
#include "support/ui/frm_about.h"
#include "support/ui/run_trapped.h"
#include "support/ui/user_folders.h"
#include "support/ui/veltro_debug_form.h"
#include "support/veltro_error.h"

#include <QActionGroup>
#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QPrinter>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <tuple>
#include <utility>

namespace veltro {

namespace {

// The keys of the main window's commands, shown beside them in the menus. The review's own keys
// (arrows, digits, Page Up / Page Down) and those of the "View" menu are not taken here.
void give_menu_keys(QObject& window) {
    for (const auto& [name, keys] :
         {std::pair{"item_open_file", QKeySequence(Qt::CTRL | Qt::Key_O)},
          std::pair{"item_last_heat", QKeySequence(Qt::CTRL | Qt::Key_L)},
          std::pair{"item_show_results", QKeySequence(Qt::CTRL | Qt::Key_R)},
          std::pair{"item_undo", QKeySequence(Qt::CTRL | Qt::Key_Z)},
          std::pair{"item_close_file", QKeySequence(Qt::CTRL | Qt::Key_W)},
          std::pair{"item_event_registration", QKeySequence(Qt::CTRL | Qt::Key_E)},
          std::pair{"item_print_frame", QKeySequence(Qt::CTRL | Qt::Key_P)},
          std::pair{"item_print_series", QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P)},
          std::pair{"item_guide", QKeySequence(Qt::Key_F1)}}) {
        if (auto* action = window.findChild<QAction*>(name)) {
            action->setShortcut(keys);
        }
    }
}

} // namespace

void Form_Veltro::build_menus() {
    build_form_menu();
    build_settings_menu();
    build_view_menu();
    build_diagnostics_and_print_menus();
    build_debug_menu();
    build_time_menus();
    build_help_menu();
    give_menu_keys(*this);
}

void Form_Veltro::build_form_menu() {
    menu_form_ = menuBar()->addMenu("Form");
    menu_form_->setObjectName("menu_form");
    connect(menu_form_, &QMenu::aboutToShow, this,
            [this] { menu_form_click(QApplication::queryKeyboardModifiers()); });
    add_item(menu_form_, "item_open_file", "Open Veltro file", [this] { item_open_file_click(); });
    add_item(menu_form_, "item_last_heat", "Open last heat", [this] { item_last_heat_Click(); });
    add_item(menu_form_, "item_show_results", "Show result form", [this] { item_show_results_click(); });
    // The review takes Page Down / Page Up itself, and not in a text field; the menu only shows them,
    // so their shortcuts act only while the menu itself has the keyboard.
    for (const auto& [name, caption, key, direction] :
         {std::tuple{"item_next_mark", "Next mark", Qt::Key_PageDown, +1},
          std::tuple{"item_previous_mark", "Previous mark", Qt::Key_PageUp, -1}}) {
        QAction* jump = add_item(menu_form_, name, caption, [this, d = direction] { jump_to_mark(d); });
        jump->setShortcut(QKeySequence(key));
        jump->setShortcutContext(Qt::WidgetShortcut);
    }
    add_item(menu_form_, "item_reset_goal_line", "Reset Goal line", [this] { item_reset_goal_line_click(); });
    add_item(menu_form_, "item_close_file", "Close Veltro file", [this] { Do_Close(); });
    // Kept for the operators who know it; it deletes nothing, so it is shown greyed out.
    add_item(menu_form_, "item_delete_file", "Delete this file", [] {})->setEnabled(false);
    menu_form_->addSeparator();
    add_item(menu_form_, "item_event_registration", "Event registration",
             [this] { item_event_registration_click(); });
    add_item(menu_form_, "item_open_event_file", "Open Event file", [this] { item_open_event_file_click(); });
    add_item(menu_form_, "item_no_event_file", "No Event File", [this] { item_no_event_file_click(); });
    add_item(menu_form_, "item_dog_names", "Dog names", [this] { item_dog_names_click(); });
    add_item(menu_form_, "item_history", "History", [this] { item_history_click(); });
    add_item(menu_form_, "item_undo", "Undo last change", [this] { item_change_result_click(0); });
    add_item(menu_form_, "item_declare_official", "Declare official",
             [this] { item_change_result_click(1); });
    add_item(menu_form_, "item_withdraw_official", "Withdraw official",
             [this] { item_change_result_click(2); });
    add_item(menu_form_, "item_save_evidence", "Save evidence...", [this] { item_save_evidence_click(); });
    add_item(menu_form_, "item_event_results", "Event results...", [this] { item_event_results_click(); });
    install_publish_dialogs();
    menu_form_->addSeparator();
    add_item(menu_form_, "item_displace_goalline", "Displace goalline",
             [this] { item_displace_goalline_click(); });
    QMenu* stretch = menu_form_->addMenu("X-stretch");
    stretch->setObjectName("menu_x_stretch");
    const char* stretches[] = {"1/1", "1/1,5", "1/2"};
    for (int i = 0; i < 3; ++i) {
        add_item(stretch, QString("item_x_stretch_%1").arg(i).toLatin1().constData(), stretches[i],
                 [this, i] { item_x_stretch_click(i); });
    }
    menu_form_->addSeparator();
    add_item(menu_form_, "item_show_settings", "Show settings", [this] {
        Form_Veltro_settings& w = settings_window();
        const TimingSettings& t = timing_.settings();
        w.load(t.goal_compensation, t.split_compensation, t.box_delay);
        w.show();
        w.raise();
    });
    add_item(menu_form_, "item_select_video", "Select Video Source", [this] {
        Form_select_Video& w = select_video_window();
        w.show();
        w.raise();
    });
    menu_form_->addSeparator();
    add_item(menu_form_, "item_exit", "Exit", [this] { item_exit_click(); });
}

void Form_Veltro::build_settings_menu() {
    QMenu* settings = menuBar()->addMenu("Settings");
    settings->setObjectName("menu_settings");
    add_item(settings, "item_start_switch", "Start switch...", [this] {
        FormStartSwitch& w = start_switch_window();
        w.load();
        w.show();
        w.raise();
    });
    menu_crop_ = settings->addMenu("Crop size");
    menu_crop_->setObjectName("menu_crop");
    auto* crop_group = new QActionGroup(this);
    for (const char* caption : {"400*880", "600*1080", "576*720"}) {
        QAction* a = add_item(menu_crop_, (std::string("item_crop_") + caption).c_str(), caption,
                              [this, caption] { item_crop_size_click(caption); });
        a->setCheckable(true);
        crop_group->addAction(a);
    }
}

void Form_Veltro::build_diagnostics_and_print_menus() {
    QMenu* diagnostics = menuBar()->addMenu("Diagnostics");
    diagnostics->setObjectName("menu_diagnostics");
    QAction* performance = add_item(diagnostics, "item_hdmi_performance", "HDMI performance", [this] {
        item_hdmi_performance_click(findChild<QAction*>("item_hdmi_performance")->isChecked());
    });
    performance->setCheckable(true);
    add_item(diagnostics, "item_jpeg_benchmark", "JPEG Benchmark", [this] { item_jpeg_benchmark_click(); });
    build_delay_items(diagnostics);

    QMenu* print = menuBar()->addMenu("Print");
    print->setObjectName("menu_print");
    add_item(print, "item_print_frame", "Print this frame", [this] { item_print_frame_Click(); });
    add_item(print, "item_print_series", "Print Goal photo series", [this] { item_print_series_Click(); });
    add_item(print, "item_print_photo_finish", "Print photo finish",
             [this] { item_print_photo_finish_click(); });
    add_item(print, "item_print_dog_name", "Dog Name", [this] { item_print_dog_name_click(); });
    // The line is the judge's reference, but it covers a pixel column at the decisive place.
    QAction* line = add_item(print, "item_print_goal_line", "Goal line on prints", [this] {
        Write_Setting(keys::print_goal_line,
                      findChild<QAction*>("item_print_goal_line")->isChecked() ? "1" : "0");
    });
    line->setCheckable(true);
    line->setChecked(goal_line_on_prints());
    add_item(print, "item_print_folder", "Print folder...", [this] { item_print_folder_click(); });
}

void Form_Veltro::item_print_folder_click() {
    const std::string chosen = choose_print_folder(print_folder());
    if (!chosen.empty()) {
        Write_Setting(keys::print_folder, chosen);
    }
}

void Form_Veltro::build_debug_menu() {
    menu_debug_ = menuBar()->addMenu("Debug");
    menu_debug_->setObjectName("menu_debug");
    add_item(menu_debug_, "item_dll_available", "DLL available", [this] { item_dll_available_click(); });
    add_item(menu_debug_, "item_picture_size", "Picture size", [this] { item_picture_size_click(); });
    add_item(menu_debug_, "item_timestamp_report", "Timestamp report",
             [this] { item_timestamp_report_click(); });
    add_item(menu_debug_, "item_file_properties", "File properties",
             [this] { item_file_properties_click(); });
    add_item(menu_debug_, "item_text_xml_header", "Text XML header",
             [this] { item_text_xml_header_click(); });
    add_item(menu_debug_, "item_dump_xml_header", "Dump present XML header",
             [this] { item_dump_xml_header_click(); });
    add_item(menu_debug_, "item_test1", "test1", [] { Trace("test1: NumLock is the desktop's own here"); });
    add_item(menu_debug_, "item_printer_dialog", "Printer dialog", [this] {
        QPrinter printer(QPrinter::HighResolution);
        Show_Printer_Dialog(printer);
    });
    add_item(menu_debug_, "item_validate_folder", "Validate folder",
             [this] { item_validate_folder_click(); });
    add_item(menu_debug_, "item_timer", "Timer", [this] {
        timer_window().show();
        timer_window().raise();
        timer_window().activateWindow();
    });
    add_item(menu_debug_, "item_blink_LED", "Blink LED", [this] { item_blink_led_click(); });
    add_item(menu_debug_, "item_simulated_kit", "Simulated interface kit", [this] {
        if (SimulatedKitWindow* w = simulated_kit_window()) {
            w->show();
            w->raise();
        }
    });
    QMenu* specials_sub = menu_debug_->addMenu("Specials");
    add_item(specials_sub, "item_display_sample_data", "Display sample data",
             [this] { item_display_sample_data_click(); });
    add_item(specials_sub, "item_display_hd_frame_data", "Display HD frame data",
             [this] { item_display_hd_frame_data_click(); });
    menu_trap_errors_ = menu_debug_->addMenu("Trap errors");
    menu_trap_errors_->setObjectName("menu_trap_errors");
    add_item(menu_trap_errors_, "item_misbehave_trapped", "Misbehave trapped",
             [this] { item_misbehave_click(true); });
    add_item(menu_trap_errors_, "item_misbehave_untrapped", "Misbehave untrapped",
             [this] { item_misbehave_click(false); });
}

void Form_Veltro::build_time_menus() {
    menu_assign_ = menuBar()->addMenu("Assign times");
    menu_assign_->setObjectName("menu_assign");
    const char* assign_names[] = {"item_set_time",       "item_set_time_plus", "item_set_split",
                                  "item_set_split_plus", "item_no_time",       "item_dead_heat"};
    const char* assign_captions[] = {"Set time",         "Set time + 1/100", "Set split",
                                     "Set split +1/100", "No time",          "Dead heat"};
    for (int i = 0; i < 6; ++i) {
        add_item(menu_assign_, assign_names[i], assign_captions[i],
                 [this, i] { item_assign_times_click(i); });
    }

    menu_specials_ = menuBar()->addMenu("Specials");
    menu_specials_->setObjectName("menu_specials");
    add_item(menu_specials_, "item_px3_properties", "PX3 Properties",
             [this] { item_px3_properties_click(); });
    add_item(menu_specials_, "item_associate", "Associate", [this] { item_associate_click(); });

    // "Notime" lives as the No-time button's pop-up; it never shows in the bar.
    menu_notime_ = new QMenu("Notime", this);
    menu_notime_->setObjectName("menu_notime");
    add_item(menu_notime_, "item_disqualified", "Disqualified", [this] { command_notime_menu("DSQ"); });
    add_item(menu_notime_, "item_did_not_finish", "Did Not Finish", [this] { command_notime_menu("DNF"); });
    add_item(menu_notime_, "item_no_rank", "No Rank", [this] { command_notime_menu("No Rnk"); });
}

void Form_Veltro::build_help_menu() {
    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("menu_help");
    add_item(help, "item_guide", "Operator's guide", [this] { item_guide_click(); });
    add_item(help, "item_about", "About", [this] { item_about_click(); });
}

QMenu* Form_Veltro::menu(const char* name) const {
    return findChild<QMenu*>(name);
}

void Form_Veltro::menu_form_click(Qt::KeyboardModifiers modifiers) {
    // Alt held while opening "Form": the hidden diagnostics come out.
    if (modifiers & Qt::AltModifier) {
        menu_trap_errors_->menuAction()->setVisible(true);
        menu_debug_->menuAction()->setVisible(!menu_debug_->menuAction()->isVisible());
    }
}

void Form_Veltro::command_notime_menu(const char* caption) {
    timing_.no_time_caption = caption;
    Paint_Notime();
}

void Form_Veltro::item_exit_click() {
    close();
}

void Form_Veltro::item_no_event_file_click() {
    if (event_registration_window_) {
        event_registration_window_->no_event_file();
    } else {
        event_session_.no_event_file();
    }
    label_event_->setText("No event");
    frame_dogs_->setVisible(false);
    Display_Heat_Data();
}

void Form_Veltro::item_open_event_file_click() {
    const QString path = QFileDialog::getOpenFileName(this, "Open Event file",
                                                      QString::fromStdString(event_session_.event_folder()),
                                                      "Event files (*.xml)");
    event_session_.open_another_event_file(path.toStdString());
    if (event_session_.event_valid()) {
        label_event_->setText(QString::fromStdString(event_session_.Event_name()));
    }
    Display_Heat_Data();
}

void Form_Veltro::item_about_click() {
    auto* about = findChild<frmAbout*>();
    if (!about) {
        about = new frmAbout(this);
        about->setWindowFlag(Qt::Window);
    }
    about->show();
    about->raise();
}

void Form_Veltro::item_guide_click() {
    const std::optional<std::string> guide = find_operators_guide(start_.program_path);
    if (!guide) {
        std::string places;
        for (const std::string& place : operators_guide_places(start_.program_path)) {
            places += "\r\n" + place;
        }
        the_operator().message("The operator's guide is not installed. It was looked for at:" + places,
                               MsgIcon::Exclamation);
        return;
    }
    Trace("*Operator's guide: " + *guide);
    if (!the_operator().open_document(*guide)) {
        the_operator().message("The operator's guide could not be opened: no web browser took it. Open this "
                               "file in a browser:\r\n" +
                                   *guide,
                               MsgIcon::Exclamation);
    }
}

void Form_Veltro::item_dll_available_click() {
    Trace("DLL available: capture component built in; kit = " + kit_->library_version());
}

void Form_Veltro::item_picture_size_click() {
    Trace("Picture size: crop = ", crop_width_, "*", crop_height_, " picture box = ", picture_->width(), "*",
          picture_->height());
}

void Form_Veltro::item_timestamp_report_click() {
    if (!reviewing()) {
        the_operator().beep();
        return;
    }
    // The data folder stands in for the program's folder, which an installed program may not write.
    const std::string written = write_timestamp_report(recording_, timestamp_report_path(data_dir()));
    Trace("Timestamp report: " + written);
    the_operator().message("Timestamp report ready");
}

void Form_Veltro::item_file_properties_click() {
    item_px3_properties_click();
}

void Form_Veltro::item_px3_properties_click() {
    show_in_debug_window("Veltro debug", [this] { return px3_properties_text(recording_); });
}

void Form_Veltro::show_in_debug_window(const std::string& title, const std::function<std::string()>& text) {
    if (!recording_.File_open()) {
        the_operator().beep();
        return;
    }
    auto* debug = findChild<Veltro_debug_form*>();
    if (!debug) {
        debug = new Veltro_debug_form(this);
        debug->setWindowFlag(Qt::Window);
    }
    debug->setWindowTitle(QString::fromStdString(title));
    debug->show_text(text());
    debug->show();
    debug->raise();
}

void Form_Veltro::item_history_click() {
    show_in_debug_window("History of " + std::filesystem::path(recording_.File_name()).filename().string(),
                         [this] { return result_history_text(recording_.File_name()); });
}

void Form_Veltro::item_text_xml_header_click() {
    Trace("Text XML header: " + recording_.xml_header().XML_string());
}

void Form_Veltro::item_dump_xml_header_click() {
    const std::string path = data_file("Veltro_header_dump.xml");
    std::ofstream(path) << recording_.xml_header().XML_string();
    Trace("Dump present XML header: " + path);
}

void Form_Veltro::item_validate_folder_click() {
    Validate_Folder();
}

void Form_Veltro::item_misbehave_click(bool trapped_run) {
    volatile int zero = 0;
    auto fail = [&] {
        if (zero == 0) {
            throw VeltroError(err::kDivisionByZero, "Division by zero");
        }
    };
    if (trapped_run) {
        run_trapped(where("item_misbehave_trapped_Click"), fail);
    } else {
        fail();
    }
}

void Form_Veltro::item_associate_click() {
    // The freedesktop way, for this user: the files the package installs, the desktop entry starting
    // this very program.
    const std::filesystem::path base = user_data_home();
    try {
        install_desktop_files(base, association_files(executable_path()));
    } catch (const VeltroError& e) {
        Trace("*Associate failed: " + e.description());
        the_operator().message("Could not associate the file extension .px3 with this application. " +
                                   e.description(),
                               MsgIcon::Exclamation);
        return;
    }
    // The MIME type's file under the name it had before it came from the package.
    std::error_code ec;
    std::filesystem::remove(base / "mime/packages/veltro-px3.xml", ec);
    refresh_desktop_caches(base);
    the_operator().message("Associated the file extension .px3 with this application!");
}

} // namespace veltro
