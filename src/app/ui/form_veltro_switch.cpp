// The start switch: the interface kit's events, the status panel and the LED.
#include "app/ui/form_veltro.h"
#include "capture/backends/demo/demo_led.h"
#include "startswitch/ui/form_start_switch.h"
#include "startswitch/ui/simulated_kit_window.h"
#include "startswitch/ui/start_switch_panel.h"
#include "support/event_log.h"
#include "support/operator.h"
#include "support/run_mode.h"
#include "support/trace.h"
#include "support/ui/run_trapped.h"
#include "support/veltro_error.h"
#include "support/wait.h"

#include <QLabel>
#include <QPushButton>
#include <QSocketNotifier>

namespace veltro {

void Form_Veltro::Check_For_Phidget() {
    // The simulated kit (or the board given at start) is always there: the library counts as present.
    library_present_ = kit_ != nullptr;
    if (!library_present_) {
        Trace("*Check_For_Phidget_Error");
        start_switch_panel_->show_no_drivers();
        label_attached_status_->setText("No Phidget drivers");
        return;
    }
    Trace("*Check_for_Phidget OK = ", library_present_, " ,version = ", kit_->library_version());
    kit_->OnAttach = [this] {
        run_trapped(where("obj_Phidget_OnAttach"), [this] { obj_Phidget_OnAttach(); });
    };
    kit_->OnDetach = [this] {
        run_trapped(where("obj_Phidget_OnDetach"), [this] { obj_Phidget_OnDetach(); });
    };
    kit_->OnInputChange = [this](std::int16_t index, bool state, std::uint32_t stamp_mill) {
        run_trapped(where("obj_Phidget_OnInputChange"),
                    [&] { obj_Phidget_OnInputChange(index, state, stamp_mill); });
    };
    if (start_.watch_devices && kit_->event_fd() >= 0) {
        kit_notifier_ = new QSocketNotifier(kit_->event_fd(), QSocketNotifier::Read, this);
        connect(kit_notifier_, &QSocketNotifier::activated, this, [this] { dispatch_kit(); });
    }
    kit_->open();
    Trace("*Phidget present " + kit_->library_version() + "/" + kit_->device_type());
}

void Form_Veltro::obj_Phidget_OnAttach() {
    Trace("*obj_Phidget_OnAttach");
    switch_.attached(kit_->serial_number());
    log_event_quietly("Start switch attached: " + kit_->device_type() + ", serial = " + switch_.serial());
    Check_Attached();
}

void Form_Veltro::obj_Phidget_OnDetach() {
    Trace("*obj_Phidget_OnDetach");
    switch_.detached();
    log_event_quietly("Start switch detached: " + kit_->device_type());
    Check_Attached();
}

bool Form_Veltro::start_switch_may_change() {
    // A trigger held on the old hardware could never be released on the new one.
    if (heat_->heat_start_counter() != 0 || heat_->capturing()) {
        the_operator().message("Finish the heat before changing the start switch.");
        return false;
    }
    return true;
}

std::string Form_Veltro::start_switch_status() const {
    if (kit_->IsAttached()) {
        return "Attached: " + kit_->device_type() + ", serial = " + std::to_string(kit_->serial_number());
    }
    const std::string problem = kit_->problem();
    return problem.empty() ? "Not attached" : "Not attached: " + problem;
}

void Form_Veltro::use_kit(std::unique_ptr<InterfaceKit> kit) {
    Trace("*Use_Kit, begin");
    delete kit_notifier_;
    kit_notifier_ = nullptr;
    delete kit_window_;
    kit_window_ = nullptr;
    if (switch_.is_attached()) {
        set_led(false);
        switch_.detached();
        log_event_quietly("Start switch detached: " + kit_->device_type());
    }
    simulated_kit_ = nullptr;
    kit_ = kit ? std::move(kit) : make_simulated_kit();
    Check_For_Phidget();
    Check_Attached();
    Trace("*Use_Kit, end ", kit_->device_type());
}

void Form_Veltro::obj_Phidget_OnInputChange(std::int16_t index, bool state, std::uint32_t stamp_mill) {
    const std::optional<SwitchActions> actions =
        switch_.input_changed(*kit_, index, state, elapsed_ms(program_start_counter_, stamp_mill));
    if (!actions) {
        return;
    }
    Trace("*obj_Phidget_OnInputChange, Index = " + std::to_string(index) +
          " NewState = " + (state ? "True" : "False"));
    if (actions->start) {
        Handle_Start(stamp_mill);
    }
    if (actions->update_led) {
        Update_LED();
    }
    if (actions->capture) {
        if (*actions->capture) {
            Handle_Capture_Start(stamp_mill);
        } else {
            Handle_Capture_End(stamp_mill);
        }
    }
    Trace("obj_Phidget_OnInputChange, before Check_Attached");
    Check_Attached();
    Trace("obj_Phidget_OnInputChange, after Check_Attached");
}

void Form_Veltro::Check_Attached() {
    if (start_switch_window_) {
        start_switch_window_->refresh_status();
    }
    if (!library_present_) {
        Trace("*Check_Attached m_Phidget_Present = False");
        return;
    }
    const bool trapping = !is_debug_run();
    const bool attached = switch_.is_attached() && kit_->IsAttached();
    if (!attached) {
        start_switch_panel_->show_state(false, led_test_pressed_);
        label_attached_status_->setText("Not attached");
        label_attached_status_->setStyleSheet("");
        Trace("Check_Attached obj_Phidget.IsAttached = false");
        command_start_heat_->setEnabled(!trapping);
        return;
    }
    Trace("*Check_Attached obj_Phidget.IsAttached = True");
    label_attached_status_->setText("Attached, serial = " + QString::fromStdString(switch_.serial()));
    label_attached_status_->setStyleSheet("color: rgb(0, 160, 0);");
    if (trapping) {
        command_initiate_file_->setEnabled(true);
    }
    command_start_heat_->setEnabled(true);
    // The trigger lamp goes back from red to the input's colour with this refresh.
    switch_.panel_refreshed();
    set_led(start_switch_panel_->show_state(true, led_test_pressed_));
    Trace("Check_Attached, End");
}

std::uint32_t Form_Veltro::set_led(bool on) {
    // The stamp of the edge: halfway through the call, which may go over USB to the board.
    const std::uint32_t before = now();
    kit_->output_state(0, on);
    const std::uint32_t stamp = before + static_cast<std::uint32_t>(elapsed_ms(before, now()) / 2);
    demo_led().switched(on, stamp);
    return stamp;
}

void Form_Veltro::Update_LED() {
    set_led(kit_->input_state(0));
}

void Form_Veltro::item_blink_led_click() {
    set_led(true);
    Wait_ms(2000);
    set_led(false);
}

} // namespace veltro
