#include "startswitch/start_switch.h"

namespace veltro {

void StartSwitch::attached(std::int32_t serial) {
    serial_ = std::to_string(serial);
    attached_ = true;
}

std::optional<SwitchActions> StartSwitch::input_changed(const InterfaceKit& kit, std::int16_t index,
                                                        bool state, std::int32_t ms_since_program_start) {
    if (ms_since_program_start < kSettleMs) {
        return std::nullopt;
    }
    SwitchActions actions;
    switch (index) {
    case 0:
        actions.start = kit.input_state(1);
        actions.update_led = true;
        break;
    case 2:
        actions.start = state;
        direct_start_lamp_ = state;
        break;
    case 3:
    case 5:
        actions.capture = state;
        trigger_lamp_red_ = state;
        break;
    case 4:
        actions.capture = state;
        break;
    default:
        break;
    }
    return actions;
}

} // namespace veltro
