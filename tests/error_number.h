#pragma once

#include "support/veltro_error.h"

#include <functional>

namespace veltro::testing {

// The number of the VeltroError that `f` fails with, or 0 when it does not fail.
inline int error_number(const std::function<void()>& f) {
    try {
        f();
    } catch (const VeltroError& e) {
        return e.number();
    }
    return 0;
}

} // namespace veltro::testing
