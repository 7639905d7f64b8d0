#pragma once

#include <cstdint>

namespace veltro {

// Waits `ms` milliseconds on the PC millisecond counter, letting pending window events run between
// 3 ms sleeps.
void Wait_ms(std::int32_t ms);
// Waits `ms` milliseconds in 10 ms sleeps without letting window events run.
void Do_Sleep(std::int32_t ms);

} // namespace veltro
