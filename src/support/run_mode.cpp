#include "support/run_mode.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace veltro {
namespace {

bool from_environment() {
    const char* v = std::getenv("VELTRO_DEBUG");
    return v && *v && std::strcmp(v, "0") != 0;
}

std::atomic<bool>& debug_flag() {
    static std::atomic<bool> flag{from_environment()};
    return flag;
}

} // namespace

bool is_debug_run() {
    return debug_flag().load(std::memory_order_relaxed);
}

void set_debug_run(bool on) {
    debug_flag().store(on, std::memory_order_relaxed);
}

} // namespace veltro
