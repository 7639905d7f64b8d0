#pragma once

#include "support/file_io.h"

#include <chrono>
#include <string>

namespace veltro {

// One writer per recording: an advisory flock on the recording file itself, held for the read, change
// and write of its header and journal (and for an append pass). A reader takes it shared when what it
// read looks like a write in progress, so it waits for the write instead of judging half of it.
//
// Why flock on the recording and not a lock file beside it: the recording exists whenever it can be
// changed, while a lock file needs a writable folder (not so on a write-protected stick), outlives a
// stick pulled out, and would have to be judged stale after a crash; the kernel drops a flock with the
// process that held it. Why flock and not POSIX record locks: those belong to the process and vanish
// when any descriptor of the file closes (the review's reader closing its own would drop the writer's
// lock), and an OFD write lock needs a descriptor open for writing, which a read-only recording does
// not give. A flock belongs to its own open file description, so two objects of one process exclude
// each other as two processes do.
class RecordingLock {
public:
    enum class Mode { Exclusive, Shared };

    // Takes the lock on `path`, waiting up to wait_limit() while another holder keeps it. Fails with
    // VeltroError 70 saying the heat is being changed elsewhere; with 53 when the file is missing.
    RecordingLock(const std::string& path, Mode mode);
    ~RecordingLock() = default;
    RecordingLock(RecordingLock&&) noexcept = default;
    RecordingLock& operator=(RecordingLock&&) noexcept = default;

    // How long a second writer waits: a change is a few milliseconds and a flush, so a lock held
    // longer belongs to something that will not let go soon (an append pass, a stuck program).
    static std::chrono::milliseconds wait_limit();
    static void wait_limit(std::chrono::milliseconds limit);

private:
    UniqueFd fd_;
};

// The message of a change refused because another program holds the recording.
std::string changed_elsewhere_text(const std::string& path);

} // namespace veltro
