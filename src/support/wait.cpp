#include "support/wait.h"

#include "support/clocks.h"
#include "support/operator.h"

#include <chrono>
#include <thread>

namespace veltro {

void Wait_ms(std::int32_t ms) {
    const std::uint32_t start = pc_millis();
    while (elapsed_ms(start, pc_millis()) < ms) {
        the_operator().process_events();
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

void Do_Sleep(std::int32_t ms) {
    const std::uint32_t start = pc_millis();
    while (elapsed_ms(start, pc_millis()) < ms) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace veltro
