#include "timing/finish_estimate.h"

#include <cstdint>
#include <cstdlib>

namespace veltro {

std::string estimate_text(const FinishEstimate& estimate, std::int32_t delay_ms) {
    const std::int64_t t = std::int64_t{estimate.ms} + delay_ms;
    const std::int64_t a = std::llabs(t);
    const std::int64_t minutes = a / 60000;
    const std::int64_t seconds = a / 1000 % 60;
    const std::int64_t ms = a % 1000;
    std::string sec = std::to_string(seconds);
    std::string text = t < 0 ? "-" : "";
    if (minutes > 0) {
        text += std::to_string(minutes) + ":" + (seconds < 10 ? "0" : "");
    }
    std::string thousandths = std::to_string(ms);
    thousandths.insert(0, 3 - thousandths.size(), '0');
    return "\xe2\x89\x88 " + text + sec + "," + thousandths + " \xc2\xb1" +
           std::to_string(estimate.uncertainty_ms) + " ms";
}

} // namespace veltro
