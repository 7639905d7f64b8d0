#pragma once

#include <cstdint>
#include <vector>

namespace veltro {

// The start click: a complete WAV file of 1940 bytes, 8-bit unsigned mono PCM at 11025 samples per
// second (a 44-byte header and 1896 samples: a short decaying tick).
std::vector<std::uint8_t> start_click_wave();

// The sample bytes of start_click_wave (without its header).
inline constexpr std::size_t kStartClickBytes = 1940;
inline constexpr std::size_t kWaveHeaderBytes = 44;
inline constexpr std::uint32_t kStartClickRate = 11025;

} // namespace veltro
