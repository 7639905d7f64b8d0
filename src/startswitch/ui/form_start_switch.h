#pragma once

#include "startswitch/kit_backends.h"
#include "startswitch/kit_config.h"
#include "support/clocks.h"

#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace veltro {

class InterfaceKit;

// The "Start switch" settings: which hardware carries the start switch and the finish triggers, and
// how it is wired (which line is which input, inverted or not, the debounce time, the LED line).
// OK checks the wiring by making the kit, stores it and hands the kit to the main window; a wiring
// that cannot work is said and changes nothing.
class FormStartSwitch : public QWidget {
    Q_OBJECT
public:
    // `kits` and `clock` (not owned) outlive the window; a kit made here stamps its edges on `clock`.
    FormStartSwitch(const KitBackends& kits, const Clock& clock, QWidget* parent = nullptr);

    // Asked before anything is stored: false keeps everything as it is (a heat is running).
    std::function<bool()> may_change;
    // The new kit; nullptr for the simulated kit.
    std::function<void(std::unique_ptr<InterfaceKit> kit)> use_kit;
    // The present kit's state, for the status line.
    std::function<std::string()> kit_status;

    // Fills the fields from the stored settings.
    void load();
    void refresh_status();
    // The settings as the fields show them.
    KitConfig fields() const;
    // Checks, stores and applies the fields; false when something was wrong (and said).
    bool apply();

private:
    void build();
    void show_config(const KitConfig& config);
    void backend_chosen();

    const KitBackends& kits_;
    const Clock& clock_;
    QComboBox* combo_backend_ = nullptr;
    QComboBox* combo_device_ = nullptr;
    QLabel* label_device_hint_ = nullptr;
    QLabel* label_line_hint_ = nullptr;
    std::array<QLineEdit*, 6> text_lines_{};
    std::array<QCheckBox*, 6> check_inverted_{};
    QSpinBox* spin_debounce_ = nullptr;
    QLineEdit* text_led_ = nullptr;
    QLabel* label_status_ = nullptr;
    QWidget* wiring_ = nullptr;
    bool loading_ = false;
};

} // namespace veltro
