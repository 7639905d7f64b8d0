#pragma once

#include "support/error_report.h"
#include "support/run_mode.h"

#include <exception>
#include <string>
#include <type_traits>
#include <utility>

namespace veltro {

// Runs one window handler with failure trapping: a VeltroError or any other std::exception is
// reported through PXV_Error_Handler with `location` ("Set_Time of Form Form_Veltro") and the
// handler's default result (0, false, empty text, nothing) is returned, so the program goes on. In a
// development run the failure is let through instead, to stop where it happened.
// `info` is a procedure-specific text for the report's "Routine specific information" line.
template <class F>
std::invoke_result_t<F&> run_trapped(const std::string& location, const std::string& info, F&& f) {
    using Result = std::invoke_result_t<F&>;
    if (is_debug_run())
        return f();
    try {
        return f();
    } catch (const std::exception&) {
        report_current_exception(location, info);
    }
    if constexpr (!std::is_void_v<Result>)
        return Result{};
}

template <class F>
std::invoke_result_t<F&> run_trapped(const std::string& location, F&& f) {
    return run_trapped(location, std::string(), std::forward<F>(f));
}

namespace trapped_detail {
// A handler may take the signal's arguments or none of them.
template <class F, class... Args>
void call(F& f, Args&&... args) {
    if constexpr (std::is_invocable_v<F&, Args...>)
        f(std::forward<Args>(args)...);
    else
        f();
}
} // namespace trapped_detail

// A slot for connect(): `f` run trapped with `location`, taking whatever arguments the signal sends.
//   connect(button, &QPushButton::clicked, this, trapped("Command_x_Click of Form Form_y", [this] {...}));
template <class F>
auto trapped(std::string location, F f) {
    // The explicit return type keeps Qt's probing of the argument count from instantiating the body.
    return [location = std::move(location), f = std::move(f)](auto&&... args) mutable -> void {
        run_trapped(location, [&] { trapped_detail::call(f, std::forward<decltype(args)>(args)...); });
    };
}

} // namespace veltro
