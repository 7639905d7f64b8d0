#include "support/event_log.h"

#include "support/app_paths.h"
#include "support/file_io.h"
#include "support/files.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace veltro {

std::string event_log_path() {
    return data_file("Veltro_eventlog.txt");
}

void Log_Event(const std::string& text) {
    append_to_file(event_log_path(), now_default_datetime() + " " + text + "\n");
}

void log_event_quietly(const std::string& text) {
    try {
        Log_Event(text);
    } catch (const VeltroError& e) {
        Trace("*Event log not written: ", e.description());
    }
}

void append_to_file(const std::string& path, std::string_view data) {
    auto fail = [&](int errnum) {
        throw VeltroError(error_number_for_errno(errnum),
                          "Could not append to " + path + ": " + std::strerror(errnum));
    };
    const int fd = sys::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        fail(errno);
    struct stat st {};
    const int stat_error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EISDIR;
    if (stat_error != 0) {
        ::close(fd);
        fail(stat_error);
    }
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = sys::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int e = n < 0 ? errno : ENOSPC;
            if (sys::ftruncate(fd, st.st_size) != 0) {
                // Nothing more can be done: the reason of the write is the one to report.
            }
            ::close(fd);
            fail(e);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        fail(errno);
}

} // namespace veltro
