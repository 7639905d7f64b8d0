#include "support/wait.h"

#include "support/clocks.h"
#include "support/operator.h"

#include <chrono>
#include <thread>

namespace veltro {

// Both wait real time, so they read the computer's own clock.

void Wait_ms(std::int32_t ms) {
    const std::uint32_t start = system_clock().millis();
    while (elapsed_ms(start, system_clock().millis()) < ms) {
        the_operator().process_events();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

void Do_Sleep(std::int32_t ms) {
    const std::uint32_t start = system_clock().millis();
    while (elapsed_ms(start, system_clock().millis()) < ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace veltro
