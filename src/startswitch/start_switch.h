#pragma once

#include "startswitch/interface_kit.h"

#include <cstdint>
#include <optional>
#include <string>

namespace veltro {

// What a change of one input of the start-switch board asks of the heat.
struct SwitchActions {
    bool start = false;
    std::optional<bool> capture; // on (true) or off (false)
    bool update_led = false;
};

// The rules of the start-switch board. Inputs: 0 the RM contact, which starts the heat while
// input 1 ("start armed") is on; 2 the direct start; 3 and 5 the finish triggers that share the red
// lamp; 4 a finish trigger of its own. Output 0 is the LED.
class StartSwitch {
public:
    // The inputs settle for this long after the program starts; changes before are ignored.
    static constexpr std::int32_t kSettleMs = 1000;

    void attached(std::int32_t serial);
    void detached() { attached_ = false; }
    bool is_attached() const { return attached_; }
    // The serial number of the board last attached; empty before any.
    const std::string& serial() const { return serial_; }

    // Input `index` of `kit` changed to `state`; std::nullopt while the inputs settle.
    std::optional<SwitchActions> input_changed(const InterfaceKit& kit, std::int16_t index, bool state,
                                               std::int32_t ms_since_program_start);

    // The direct-start lamp follows input 2.
    bool direct_start_lamp() const { return direct_start_lamp_; }
    // A trigger turns the shared lamp red until the next refresh of the panel.
    bool trigger_lamp_red() const { return trigger_lamp_red_; }
    void panel_refreshed() { trigger_lamp_red_ = false; }

private:
    bool attached_ = false;
    std::string serial_;
    bool direct_start_lamp_ = false;
    bool trigger_lamp_red_ = false;
};

} // namespace veltro
