#include "recording/recording_lock.h"

#include "support/files.h"
#include "support/veltro_error.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>

namespace veltro {

namespace {

std::atomic<std::int64_t> wait_limit_ms{3000};

} // namespace

std::string changed_elsewhere_text(const std::string& path) {
    return "The heat in " + path +
           " is being changed elsewhere (another window or px3tool); nothing was changed. Try again "
           "when that change is done.";
}

RecordingLock::RecordingLock(const std::string& path, Mode mode) {
    // Read access is all a flock needs, so a read-only recording can be locked for reading too.
    fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e), "Cannot open " + path + ": " + std::strerror(e));
    }
    const int operation = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + wait_limit();
    while (::flock(fd_.get(), operation) != 0) {
        const int e = errno;
        if (e == EINTR) {
            continue;
        }
        if (e != EWOULDBLOCK) {
            // A file system without locks (some network shares) cannot exclude anyone; refusing
            // every change there would lose more than it protects.
            if (e == ENOLCK || e == EOPNOTSUPP) {
                return;
            }
            throw VeltroError(error_number_for_errno(e), "Cannot lock " + path + ": " + std::strerror(e));
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw VeltroError(err::kPermissionDenied, changed_elsewhere_text(path));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::chrono::milliseconds RecordingLock::wait_limit() {
    return std::chrono::milliseconds(wait_limit_ms.load());
}

void RecordingLock::wait_limit(std::chrono::milliseconds limit) {
    wait_limit_ms.store(limit.count());
}

} // namespace veltro
