#pragma once

namespace veltro {

// Normal runs trap every failure and report it; a development run (`veltro --debug`, or
// VELTRO_DEBUG=1 in the environment) lets failures through to the debugger, shows the debug menus
// and marks trace lines with " I" instead of " C".
bool is_debug_run();
void set_debug_run(bool on);

} // namespace veltro
