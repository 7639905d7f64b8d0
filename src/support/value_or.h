#pragma once

#include "support/veltro_error.h"

namespace veltro {

// The value `getter` gives, or `fallback` when it fails with a VeltroError: for header elements that
// may be missing or unreadable in a file from outside.
template <typename F>
auto value_or(F getter, decltype(getter()) fallback) -> decltype(getter()) {
    try {
        return getter();
    } catch (const VeltroError&) {
        return fallback;
    }
}

} // namespace veltro
