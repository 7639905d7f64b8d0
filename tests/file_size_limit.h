#pragma once

#include <csignal>
#include <sys/resource.h>

namespace veltro::testing {

// Lowers the file size limit of the process while it lives: writes beyond `bytes` fail with EFBIG
// part-way, as a filling disk does, with no seam in the code under test.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : old_handler_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_limit_);
        rlimit limit = old_limit_;
        limit.rlim_cur = bytes;
        ok_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_limit_);
        std::signal(SIGXFSZ, old_handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return ok_; }

private:
    void (*old_handler_)(int);
    rlimit old_limit_{};
    bool ok_ = false;
};

} // namespace veltro::testing
