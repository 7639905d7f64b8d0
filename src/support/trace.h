#pragma once

#include <charconv>
#include <concepts>
#include <cstddef>
#include <ctime>
#include <ranges>
#include <string>
#include <string_view>

namespace veltro {

// Trace lines: the program's running commentary at important steps. Each line is
//   <executable> C: <process id>: <thread id>: yyyymmdd hhnnss: <value>\t<value>\t...
// (" I" instead of " C" in a development run). Lines go to the trace log file in the data folder
// ("Veltro_trace.txt"; when it passes kTraceFileLimit it is renamed to "Veltro_trace.old.txt" and a
// new one begins) and, with VELTRO_TRACE=stderr, to standard error as well.
//
// A Trace call only formats the line and appends it to an in-memory queue; a background thread
// writes it. It never waits for a disk or a terminal, may be called from any thread, and stays safe
// after trace_shutdown() (it then writes directly). If the writer falls far behind, lines are dropped
// and counted, and the count is written once it catches up.

inline constexpr std::size_t kTraceFileLimit = 4u << 20;

namespace trace_detail {
void append(std::string& out, std::string_view text);
inline void append_value(std::string& out, std::string_view v) {
    append(out, v);
}
inline void append_value(std::string& out, const char* v) {
    append(out, v ? std::string_view(v) : std::string_view());
}
inline void append_value(std::string& out, bool v) {
    append(out, v ? "True" : "False");
}
inline void append_value(std::string& out, char v) {
    append(out, std::string_view(&v, 1));
}
template <class T>
requires(std::integral<T> || std::floating_point<T>) void append_value(std::string& out, T v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    append(out, std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
}
// An array contributes each of its elements.
template <std::ranges::input_range R>
requires(!std::convertible_to<const R&, std::string_view>) void append_value(std::string& out,
                                                                             const R& values) {
    for (const auto& v : values)
        append_value(out, v);
}
void send(std::string joined);
} // namespace trace_detail

// Sends one trace line made of `values`, each followed by a tab: texts, numbers, booleans ("True",
// "False") and arrays of them.
template <class... Args>
void Trace(const Args&... values) {
    std::string joined;
    (trace_detail::append_value(joined, values), ...);
    trace_detail::send(std::move(joined));
}

// The full line for `joined` (the values with their tabs), without a line end.
std::string format_trace_line(std::string_view exe_name, bool compiled, long instance, long thread,
                              const std::tm& now, std::string_view joined);

// Sends trace lines to `path` from now on; an empty path restores the default in the data folder.
// Queued lines are written first.
void set_trace_file(const std::string& path);
std::string trace_file_path();
// Waits (at most a few seconds) until every line traced so far has been written.
void trace_flush();
// Writes what is queued and stops the writer thread. Runs by itself at exit too.
void trace_shutdown();

} // namespace veltro
