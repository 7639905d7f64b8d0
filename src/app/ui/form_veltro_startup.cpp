// Start-up, single instance, keyboard, closing a reviewed recording, the capture folder, shutdown.
#include "app/ui/form_veltro.h"
#include "recording/capture_spool.h"
#include "review/review.h"
#include "review/ui/picture_box.h"
#include "startswitch/ui/simulated_kit_window.h"
#include "startswitch/ui/start_switch_panel.h"
#include "support/app_paths.h"
#include "support/files.h"
#include "support/numbers.h"
#include "support/operator.h"
#include "support/process_facts.h"
#include "support/run_mode.h"
#include "support/settings.h"
#include "support/trace.h"
#include "support/ui/run_trapped.h"
#include "support/ui/user_folders.h"
#include "support/wait.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSocketNotifier>
#include <QSpinBox>
#include <cstring>
#include <filesystem>
#include <unistd.h>
#include <utility>

namespace veltro {
namespace {

// One running program per data folder (and so per settings file).
QString instance_name() {
    const QByteArray key =
        QCryptographicHash::hash(QByteArray::fromStdString(data_dir()), QCryptographicHash::Sha1);
    return QString("Veltro_HDMI-%1-%2").arg(QString::number(getuid()), QString(key.toHex().left(12)));
}

} // namespace

void Form_Veltro::Form_Load() {
    Trace("Form_Veltro Form_Load g_Program_Ending = ", program_ending_);
    Trace("*Form_Veltro Form_Load, begin");
    const ProcessFacts& facts = process_facts();
    Trace("*Computer name = " + facts.computer_name, " Windows = " + facts.os_version,
          " CPU = " + facts.cpu_info, " OS = " + facts.os_bitness);
    Trace(" Veltro starting, version = " + facts.version_text, " Computer = " + facts.computer_name);
    qApp->installEventFilter(this);

    command_line_path_ = start_.command_line_path;
    if (command_line_path_.size() >= 2 && command_line_path_.front() == '"' &&
        command_line_path_.back() == '"') {
        command_line_path_ = command_line_path_.substr(1, command_line_path_.size() - 2);
    }
    Trace("command_dollar " + command_line_path_);

    if (start_.single_instance && another_instance_running()) {
        instance_refused_ = true;
        program_ending_ = true;
        // A recording opened from the file manager goes to the running program, which shows it:
        // a box here would only stand in the operator's way.
        if (command_line_path_.empty()) {
            the_operator().message("A previous instance of Veltro is running!");
        } else {
            Trace("*second instance: the recording went to the running program");
        }
        return;
    }

    program_start_counter_ = now();
    // Each step is trapped on its own: one that fails must not cost the ones after it (the timing
    // settings above all).
    run_trapped(where("Check_For_Phidget"), [this] { Check_For_Phidget(); });
    run_trapped(where("load_Capture_Folder"), [this] { load_Capture_Folder(); });
    Trace("Form_Load, after load_Capture_Folder");
    run_trapped(where("Recover_Captures"), [this] { recover_captures(); });

    run_trapped(where("Form_Load"), [this] {
        event_session_.editor_start_up();
        label_event_->setText(event_session_.event_valid()
                                  ? QString::fromStdString(event_session_.Event_name())
                                  : QString("No event"));
    });
    std::int16_t heat = 1;
    try {
        heat = parse_integer(Read_Setting(keys::heat_id));
    } catch (const VeltroError&) {
        heat = 1;
    }
    updown_heat_->setValue(std::clamp<int>(heat, 1, 100));
    label_heat_->setText(QString::number(updown_heat_->value()));

    run_trapped(where("Load_Compensations"), [this] { Load_Compensations(); });

    const bool trapping = !is_debug_run();
    menu_debug_->menuAction()->setVisible(!trapping);
    menu_assign_->menuAction()->setVisible(!trapping);
    menu_specials_->menuAction()->setVisible(!trapping);
    menu_trap_errors_->menuAction()->setVisible(!trapping);

    run_trapped(where("Check_Attached"), [this] { Check_Attached(); });
    Trace("*Command_dollar = " + command_line_path_);
    if (!library_present_) {
        start_switch_panel_->show_no_drivers();
    }

    selected_camera_ = 1;
    run_trapped(where("Read_Goal_Lines"), [this] { Read_Goal_Lines(); });
    run_trapped(where("Read_Last_Crop"), [this] { Read_Last_Crop(); });
    Arrange_form();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect avail = screen->availableGeometry();
        move(avail.left() + std::max(0, (avail.width() - width()) / 2), avail.top());
    }
    if (is_debug_run()) {
        setWindowTitle(windowTitle() + " [debug]");
    }
    if (start_.show_simulated_kit && simulated_kit_window()) {
        simulated_kit_window()->show();
    }
    Trace("Form_Veltro Form_Load, end");
}

bool Form_Veltro::another_instance_running() {
    const QString name = instance_name();
    {
        QLocalSocket probe;
        probe.connectToServer(name);
        if (probe.waitForConnected(500)) {
            // Hand the recording to the running program, which opens it: as a full path, since a
            // name given in a shell is relative to a folder the running program is not in.
            std::error_code ec;
            const std::string path = command_line_path_.empty()
                                         ? std::string()
                                         : std::filesystem::absolute(command_line_path_, ec).string();
            probe.write(QByteArray::fromStdString(path + "\n"));
            probe.waitForBytesWritten(1000);
            probe.disconnectFromServer();
            return true;
        }
    }
    // Nobody answers: a name left by a program that crashed is taken over.
    QLocalServer::removeServer(name);
    instance_server_ = new QLocalServer(this);
    instance_server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!instance_server_->listen(name)) {
        Trace("*single instance: cannot listen, " + instance_server_->errorString().toStdString());
        return false;
    }
    connect(instance_server_, &QLocalServer::newConnection, this,
            [this] { received_from_second_instance(); });
    return false;
}

void Form_Veltro::received_from_second_instance() {
    while (QLocalSocket* socket = instance_server_->nextPendingConnection()) {
        // The second program may have written and gone before we look: read what is there now,
        // and whatever still comes.
        auto read_lines = [this, socket] {
            while (socket->canReadLine()) {
                const std::string path = socket->readLine().trimmed().toStdString();
                Trace("*second instance hands over: " + path);
                std::error_code ec;
                if (!path.empty() && std::filesystem::is_regular_file(path, ec)) {
                    run_trapped(where("Handle_Open"), [this, path] { Handle_Open(path); });
                }
                raise();
                activateWindow();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, read_lines);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        read_lines();
    }
}

void Form_Veltro::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    run_trapped(where("Form_Activate"), [this] { Form_Activate(); });
}

void Form_Veltro::Form_Activate() {
    Trace("Form_Veltro Form_Activate g_Program_Ending = ", program_ending_);
    Trace("Form_Veltro Form_Activate, activated = ", activated_);
    if (program_ending_ || activated_) {
        return;
    }
    activated_ = true;
    paint_dog_tiles();
    run_trapped(where("Display_Heat_Data"), [this] { Display_Heat_Data(); });
    run_trapped(where("Check_Attached"), [this] { Check_Attached(); });
    if (is_debug_run()) {
        command_start_heat_->setEnabled(true);
    }
    std::error_code ec;
    if (!command_line_path_.empty() && std::filesystem::is_regular_file(command_line_path_, ec)) {
        run_trapped(where("Handle_Open"), [this] { Handle_Open(command_line_path_); });
    } else if (!recovered_to_open_.empty()) {
        run_trapped(where("Handle_Open"), [this] { Handle_Open(std::exchange(recovered_to_open_, {})); });
    }
}

bool Form_Veltro::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_capture_folder_ && event->type() == QEvent::MouseButtonRelease) {
        run_trapped(where("Label_capture_folder_Click"), [this] { label_capture_folder_click(); });
        return true;
    }
    if (event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && !key->isAutoRepeat()) {
            escape_down_ = false;
        }
    }
    if (event->type() == QEvent::KeyPress && !program_ending_) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            escape_down_ = true;
        }
        // The box keys and the mark jumps are the operator's judging: never dropped by the pause
        // below, which keeps a held arrow from flooding the focus changes.
        if (review_key(watched, *key)) {
            return true;
        }
        // Only keys meant for the main window; a key reaches the filter once per widget it passes.
        if (watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this &&
            static_cast<QWidget*>(watched) == QApplication::focusWidget()) {
            const std::uint32_t t = now();
            if (key_seen_ && elapsed_ms(last_key_, t) < 150) {
                return false;
            }
            last_key_ = t;
            key_seen_ = true;
            Trace("*IWindowsHook_HookProc, wParam = ", key->key());
            const bool keypad = key->modifiers() & Qt::KeypadModifier;
            const bool arrow = key->key() == Qt::Key_Left || key->key() == Qt::Key_Right;
            // Alt with an arrow nudges the goal line like the keypad's 4 and 6, but only while
            // "Displace goalline" is on: otherwise the keypad's arrows step and its digits type.
            const bool goal_key = (keypad && (key->key() == Qt::Key_4 || key->key() == Qt::Key_6 || arrow)) ||
                                  (arrow && (key->modifiers() & Qt::AltModifier));
            if (goal_key && review().displace_on()) {
                const int k = key->key() == Qt::Key_4 || key->key() == Qt::Key_Left ? 100 : 102;
                run_trapped(where("Handle_Goal_Offset"), [this, k] { Handle_Goal_Offset(k); });
                return true;
            }
            if (key->key() == Qt::Key_Left ||
                (key->key() == Qt::Key_Right && !(key->modifiers() & Qt::ControlModifier))) {
                if (slider_play_->isEnabled() && static_cast<QWidget*>(watched) != slider_play_) {
                    slider_play_->setFocus();
                }
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form_Veltro::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Left || event->key() == Qt::Key_Right) && slider_play_->isEnabled()) {
        slider_play_->setFocus();
        QApplication::sendEvent(slider_play_, event);
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form_Veltro::recover_captures() {
    for (const std::string& spool : find_spools(capture_folder())) {
        const std::string recording = spool.substr(0, spool.size() - std::string_view(".spool").size());
        const SpoolRecovery recovery = recover_spool(recording);
        Trace("*" + recovery.message);
        if (recovery.frames == 0) {
            the_operator().message(recovery.message);
            continue;
        }
        // The heat cut short is newer than the one finished last: "Open last heat" must find it.
        Write_Setting(keys::last_file, recording);
        if (recovered_to_open_.empty() &&
            the_operator().ask_yes_no(recovery.message + "\n\nOpen the recovered heat now?", kProgramId)) {
            recovered_to_open_ = recording;
        }
    }
}

std::string Form_Veltro::capture_folder() const {
    return veltro::capture_folder();
}

void Form_Veltro::load_Capture_Folder() {
    const QString folder = QString::fromStdString(capture_folder());
    label_capture_folder_->setText(folder);
    label_capture_folder_->setToolTip(folder);
}

void Form_Veltro::label_capture_folder_click() {
    const QString chosen =
        QFileDialog::getExistingDirectory(this, "Capture folder", label_capture_folder_->text());
    if (!chosen.isEmpty()) {
        Write_Setting(keys::save_folder, chosen.toStdString());
        load_Capture_Folder();
    }
}

bool Form_Veltro::Validate_Folder() {
    const std::string folder = capture_folder();
    std::error_code ec;
    if (Read_Setting(keys::save_folder) == keys::save_folder.default_value) {
        std::filesystem::create_directories(folder, ec);
    }
    if (!std::filesystem::is_directory(folder, ec)) {
        the_operator().message("Capture folder does not exist!");
        return false;
    }
    const int rc = probe_folder_writable(folder);
    Trace("Validate_Folder " + folder + (rc == 0 ? " writable" : " not writable"));
    if (rc != 0) {
        the_operator().message("Capture folder can not be written!\r\n" + folder + "\r\n" +
                               std::strerror(rc));
        return false;
    }
    return true;
}

void Form_Veltro::Do_Close() {
    end_capture_first();
    recording_.Close_File();
    label_frame_size_->clear();
    text_file_name_->clear();
    label_picture_number_->clear();
    label_file_size_->clear();
    live_picture_shown_ = false;
    picture_->clear();
    label_heat_time_->setText("00:00,00");
    setWindowTitle(QString(kProgramId) + (is_debug_run() ? " [debug]" : ""));
    frame_set_times_->setVisible(false);
    show_compensation_note();
    command_split_goal_->setText("Split");
    Clear_Results_Display();
    reload_competitors();
}

void Form_Veltro::closeEvent(QCloseEvent* event) {
    if (!program_ending_) {
        run_trapped(where("Form_QueryUnload"), [this] { Veltro_end(); });
    }
    event->accept();
}

void Form_Veltro::Veltro_end() {
    Trace("Veltro_End g_Program_Ending = ", program_ending_);
    Trace("*Veltro_end, begin");
    end_capture_first();
    program_ending_ = true;
    timer_heat_clock_.stop();
    timer_fps_.stop();
    if (capture_ && capture_->Running()) {
        Stop_Cams();
    }
    // Every spool is settled before the capture source goes: frames only in memory are said now.
    if (const std::string told = heat_->close(); !told.empty()) {
        the_operator().message(told, MsgIcon::Exclamation);
    }
    Trace("Veltro_End Set obj_Capture_HDMI = Nothing before ");
    Trace("1 IsObject((obj_Capture_HDMI) = ", capture_ != nullptr);
    watch_capture(false);
    capture_.reset();
    Trace("2 IsObject((obj_Capture_HDMI) = ", capture_ != nullptr);
    Trace("Veltro_End Set obj_Capture_HDMI = Nothing after ");
    Trace("*Veltro_1");
    delete kit_notifier_;
    kit_notifier_ = nullptr;
    recording_.Close_File();
    Trace("*Veltro_2");
    // Core dumps of this program, which would otherwise pile up in the data folder.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(data_dir(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("core.veltro", 0) == 0) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
    Unload_Forms();
    if (instance_server_) {
        instance_server_->close();
    }
    Trace("*Veltro_end,  before end forms.count = ",
          static_cast<int>(QApplication::topLevelWidgets().size()));
    Trace("*Veltro_end,  after end");
}

void Form_Veltro::Unload_Forms() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w != this && w->isVisible()) {
            w->close();
        }
    }
}

} // namespace veltro
