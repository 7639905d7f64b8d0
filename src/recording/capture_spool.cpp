// The spool of a capture: written as frames are compressed, read back by the final pass, and read
// again after a crash. Recovery, which appends a spool to its recording, is in spool_recovery.cpp.
#include "recording/capture_spool.h"

#include "recording/px3_layout.h"
#include "support/byte_order.h"
#include "support/event_log.h"
#include "support/files.h"
#include "support/text.h"
#include "support/trace.h"
#include "support/veltro_error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <new>
#include <system_error>
#include <unistd.h>
#include <zlib.h>

namespace veltro {

namespace {

constexpr std::int64_t kHeadSize = 64;
constexpr std::int64_t kEntryHeadSize = 32;
constexpr std::uint32_t kVersion = 1;
constexpr std::int32_t kMaxPictureSide = 8192;
// A stream whose record still fits the largest record a recording may have, with D rounded up.
constexpr std::int32_t kMaxStreamLength = px3::kMaxSampleSize - px3::kRecordOverhead - 8192;

// Where one frame is, and what it was: 32 bytes a frame, whatever its stream.
struct Entry {
    std::int64_t offset = 0; // of the stream
    std::int32_t length = 0;
    std::uint32_t crc = 0;
    std::int32_t capture_mill = 0;
    std::int32_t capture_delta = 0;
    std::int32_t capture_local = 0;
    std::int16_t quality = 0;
};

std::uint32_t crc_of(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    // zlib takes at most 4 GB a call; streams are far smaller.
    return static_cast<std::uint32_t>(crc32(crc, data, static_cast<uInt>(size)));
}

std::uint32_t crc_of(const std::uint8_t* data, std::size_t size) {
    return crc_of(static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0)), data, size);
}

// What is wrong with the values of a head; empty when nothing is.
std::string head_problem(std::int32_t width, std::int32_t height, std::int32_t quality,
                         std::int32_t data_size, std::int32_t base) {
    if (width < 1 || width > kMaxPictureSide || height < 1 || height > kMaxPictureSide) {
        return "a picture of " + std::to_string(width) + " x " + std::to_string(height) + ", outside 1..8192";
    }
    if (quality < 1 || quality > 100) {
        return "start quality " + std::to_string(quality) + ", outside 1..100";
    }
    if (data_size < 0 || data_size > px3::kMaxSampleSize) {
        return "record data size " + std::to_string(data_size) + ", outside 0.." +
               std::to_string(px3::kMaxSampleSize);
    }
    if (base < 0 || base > px3::kMaxFrames) {
        return "frames counted before the capture " + std::to_string(base) + ", outside 0..32767";
    }
    return {};
}

void encode_head(const SpoolHead& head, std::uint8_t* out) {
    std::memset(out, 0, kHeadSize);
    std::memcpy(out, "VSPL", 4);
    le::put_i32(out + 4, static_cast<std::int32_t>(kVersion));
    le::put_i32(out + 8, head.width);
    le::put_i32(out + 12, head.height);
    le::put_i32(out + 16, head.start_quality);
    le::put_i32(out + 20, head.data_size);
    le::put_i32(out + 24, head.base_frames);
}

void encode_entry_head(std::int32_t number, const CompressedFrame& frame, std::uint32_t crc,
                       std::uint8_t* out) {
    std::memcpy(out, "VSFR", 4);
    le::put_i32(out + 4, number);
    le::put_i32(out + 8, frame.capture_mill);
    le::put_i32(out + 12, frame.capture_delta);
    le::put_i32(out + 16, frame.capture_local);
    le::put_i32(out + 20, frame.quality);
    le::put_i32(out + 24, static_cast<std::int32_t>(frame.jpeg.size()));
    le::put_i32(out + 28, static_cast<std::int32_t>(crc));
}

// The frame as the reader checks it; the writer refuses what the reader would stop at.
void check_frame(std::int32_t number, const CompressedFrame& frame, const std::string& path) {
    if (frame.jpeg.empty() || frame.jpeg.size() > static_cast<std::size_t>(kMaxStreamLength)) {
        throw VeltroError(err::kJpeg, "Frame " + std::to_string(number) + " for the spool " + path +
                                          " has a JPEG stream of " + std::to_string(frame.jpeg.size()) +
                                          " bytes, outside 1.." + std::to_string(kMaxStreamLength));
    }
    if (frame.quality < 1 || frame.quality > 100) {
        throw VeltroError(err::kJpeg, "Frame " + std::to_string(number) + " for the spool " + path +
                                          " has JPEG quality " + std::to_string(frame.quality) +
                                          ", outside 1..100");
    }
}

void fill_frame(const Entry& e, CompressedFrame& frame) {
    frame.capture_mill = e.capture_mill;
    frame.capture_delta = e.capture_delta;
    frame.capture_local = e.capture_local;
    frame.quality = e.quality;
}

// Reads the stream of `e` from `file` into `frame` and checks it against its CRC.
void read_stream(File& file, const Entry& e, std::int32_t index, const std::string& name,
                 CompressedFrame& frame) {
    frame.jpeg.resize(static_cast<std::size_t>(e.length));
    std::size_t got = 0;
    try {
        got = file.read_at(e.offset, frame.jpeg.data(), frame.jpeg.size());
    } catch (const std::system_error& x) {
        const int errnum = x.code().value();
        throw VeltroError(error_number_for_errno(errnum), "Cannot read frame " + std::to_string(index) +
                                                              " of the spool " + name + ": " +
                                                              std::strerror(errnum));
    }
    if (got != frame.jpeg.size()) {
        throw VeltroError(err::kPathFileAccess, "Cannot read frame " + std::to_string(index) +
                                                    " of the spool " + name + ": the file ends inside it");
    }
    if (crc_of(frame.jpeg.data(), frame.jpeg.size()) != e.crc) {
        throw VeltroError(err::kPathFileAccess, "Frame " + std::to_string(index) + " of the spool " + name +
                                                    " is damaged: its stream fails the CRC check");
    }
    fill_frame(e, frame);
}

VeltroError index_error(std::int32_t index, std::int32_t count, const std::string& name) {
    return VeltroError(err::kSubscriptOutOfRange, "Frame " + std::to_string(index) + " is not in the spool " +
                                                      name + " (" + std::to_string(count) + " frames)");
}

} // namespace

std::string spool_path(const std::string& recording) {
    return recording + ".spool";
}

// ---- SpoolWriter --------------------------------------------------------------------------------

struct SpoolWriter::State {
    std::string path;
    SpoolHead head;
    std::unique_ptr<PosixFile> file; // written with pwrite itself: one call an entry
    std::int64_t end = kHeadSize;
    std::vector<Entry> entries;
    // Frames from the first that could not be written on: the spool file ends before them.
    std::vector<CompressedFrame> in_memory;
    bool failing = false;
    std::string failure;
    bool folder_synced = false;
    bool spent = false;
    std::int32_t largest = 0;
    std::vector<std::uint8_t> buffer; // one entry on its way to the file

    // Frames go to memory from now on; said once, in the trace and in the event log.
    void fail(const std::string& reason) {
        failing = true;
        const std::int32_t from = static_cast<std::int32_t>(entries.size()) + 1;
        failure = "The spool " + path + " cannot be written (" + reason + "): frames from " +
                  std::to_string(from) + " on are kept in memory only";
        Trace("*Spool write failed", path, reason, "frames kept in memory from", from);
        try {
            Log_Event(failure);
        } catch (const std::exception&) {
            // The event log is likely on the same full disk: the trace line has said it.
        }
    }
};

SpoolWriter::SpoolWriter(const std::string& path, const SpoolHead& head) : state_(std::make_unique<State>()) {
    state_->path = path;
    state_->head = head;
    const std::string problem =
        head_problem(head.width, head.height, head.start_quality, head.data_size, head.base_frames);
    if (!problem.empty()) {
        throw VeltroError(err::kSubscriptOutOfRange, "No spool can be made for " + path + ": " + problem);
    }
    UniqueFd fd(sys::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd) {
        const int e = errno;
        if (e == EEXIST) {
            throw VeltroError(err::kPathFileAccess,
                              "The spool of an earlier capture is still there: " + path +
                                  "; recover it before capturing into this recording");
        }
        throw VeltroError(error_number_for_errno(e),
                          "Cannot create the spool " + path + ": " + std::strerror(e));
    }
    std::uint8_t block[kHeadSize];
    encode_head(head, block);
    ssize_t n = 0;
    do {
        n = sys::pwrite(fd.get(), block, sizeof block, 0);
    } while (n < 0 && errno == EINTR);
    if (n != static_cast<ssize_t>(sizeof block)) {
        const int e = n < 0 ? errno : ENOSPC;
        fd.reset();
        // Our own empty file: a head that is not whole is no spool to recover.
        ::unlink(path.c_str());
        throw VeltroError(error_number_for_errno(e),
                          "Cannot write the spool " + path + ": " + std::strerror(e));
    }
    state_->file = std::make_unique<PosixFile>(std::move(fd));
}

SpoolWriter::SpoolWriter() : state_(std::make_unique<State>()) {}

SpoolWriter::~SpoolWriter() = default;

std::unique_ptr<SpoolWriter> SpoolWriter::in_memory(const std::string& path, const SpoolHead& head,
                                                    const std::string& reason) {
    std::unique_ptr<SpoolWriter> w(new SpoolWriter());
    w->state_->path = path;
    w->state_->head = head;
    w->state_->fail(reason);
    return w;
}

std::int32_t SpoolWriter::in_memory_count() const {
    return static_cast<std::int32_t>(state_->in_memory.size());
}

void SpoolWriter::append(const CompressedFrame& frame) {
    State& s = *state_;
    if (s.spent) {
        throw VeltroError(err::kObjectVariableNotSet,
                          "The spool " + s.path + " is removed: it takes no frames");
    }
    const std::int32_t number = count() + 1;
    check_frame(number, frame, s.path);
    if (s.head.base_frames + number > px3::kMaxFrames) {
        throw VeltroError(err::kOverflow, "A recording holds at most 32767 frames");
    }
    const auto length = static_cast<std::int32_t>(frame.jpeg.size());
    try {
        if (!s.failing) {
            const std::uint32_t crc = crc_of(frame.jpeg.data(), frame.jpeg.size());
            const std::size_t total = static_cast<std::size_t>(kEntryHeadSize) + frame.jpeg.size();
            s.buffer.resize(total);
            encode_entry_head(number, frame, crc, s.buffer.data());
            std::memcpy(s.buffer.data() + kEntryHeadSize, frame.jpeg.data(), frame.jpeg.size());
            // One write an entry: a process killed part-way leaves whole entries and at most one cut.
            ssize_t n = 0;
            int error = 0;
            do {
                n = sys::pwrite(s.file->descriptor(), s.buffer.data(), total, static_cast<off_t>(s.end));
                error = n < 0 ? errno : 0;
            } while (error == EINTR);
            if (n == static_cast<ssize_t>(total)) {
                Entry e;
                e.offset = s.end + kEntryHeadSize;
                e.length = length;
                e.crc = crc;
                e.capture_mill = frame.capture_mill;
                e.capture_delta = frame.capture_delta;
                e.capture_local = frame.capture_local;
                e.quality = frame.quality;
                s.entries.push_back(e);
                s.end += static_cast<std::int64_t>(total);
                s.largest = std::max(s.largest, length);
                return;
            }
            const std::string reason = n < 0 ? std::string(std::strerror(error))
                                             : "only " + std::to_string(n) + " of " + std::to_string(total) +
                                                   " bytes of frame " + std::to_string(number) +
                                                   " were written";
            // A torn entry would be read as the end of the spool anyway; cut it off where we can.
            if (n > 0 && sys::ftruncate(s.file->descriptor(), static_cast<off_t>(s.end)) != 0) {
                Trace("*Spool entry left torn", s.path, number);
            }
            s.fail(reason);
        }
        s.in_memory.push_back(frame);
        s.largest = std::max(s.largest, length);
    } catch (const std::bad_alloc&) {
        throw VeltroError(err::kOutOfMemory, "Frame " + std::to_string(number) + " of the spool " + s.path +
                                                 " cannot be kept: out of memory");
    }
}

void SpoolWriter::flush() {
    State& s = *state_;
    if (s.spent || !s.file) {
        return;
    }
    if (sys::fdatasync(s.file->descriptor()) != 0) {
        // Frames already written stay readable; the ones to come are kept in memory.
        if (!s.failing) {
            s.fail(std::string("flush: ") + std::strerror(errno));
        }
        return;
    }
    if (!s.folder_synced) {
        // The new file's name must survive a power cut as well as its bytes.
        const std::string folder = std::filesystem::path(s.path).parent_path().string();
        UniqueFd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir && sys::fsync(dir.get()) == 0) {
            s.folder_synced = true;
        }
    }
}

std::int32_t SpoolWriter::count() const {
    return static_cast<std::int32_t>(state_->entries.size() + state_->in_memory.size());
}

std::int32_t SpoolWriter::largest() const {
    return state_->largest;
}

void SpoolWriter::read(std::int32_t index, CompressedFrame& frame) const {
    const State& s = *state_;
    if (index < 1 || index > count()) {
        throw index_error(index, count(), s.path);
    }
    const auto at = static_cast<std::size_t>(index - 1);
    if (at >= s.entries.size()) {
        const CompressedFrame& kept = s.in_memory[at - s.entries.size()];
        frame.jpeg.assign(kept.jpeg.begin(), kept.jpeg.end());
        frame.capture_mill = kept.capture_mill;
        frame.capture_delta = kept.capture_delta;
        frame.capture_local = kept.capture_local;
        frame.quality = kept.quality;
        return;
    }
    read_stream(*s.file, s.entries[at], index, s.path, frame);
}

const SpoolHead& SpoolWriter::head() const {
    return state_->head;
}

const std::string& SpoolWriter::path() const {
    return state_->path;
}

const std::string& SpoolWriter::failure() const {
    return state_->failure;
}

void SpoolWriter::remove() {
    State& s = *state_;
    if (s.spent) {
        return;
    }
    // A spool kept in memory from the start made no file: whatever has its name is not ours.
    if (s.file && ::unlink(s.path.c_str()) != 0 && errno != ENOENT) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e),
                          "Cannot remove the spool " + s.path + ": " + std::strerror(e));
    }
    s.file.reset();
    s.spent = true;
    s.entries = {};
    s.in_memory = {};
    s.buffer = {};
    s.largest = 0;
}

// ---- SpoolReader --------------------------------------------------------------------------------

struct SpoolReader::State {
    std::unique_ptr<File> file;
    std::string name;
    SpoolHead head;
    std::vector<Entry> entries;
    std::int32_t largest = 0;
    std::string damage;

    void read_head();
    void walk_entries();
};

void SpoolReader::State::read_head() {
    std::int64_t size = 0;
    std::uint8_t block[kHeadSize];
    std::size_t got = 0;
    try {
        size = file->size();
        got = file->read_at(0, block, sizeof block);
    } catch (const std::system_error& e) {
        const int errnum = e.code().value();
        throw VeltroError(error_number_for_errno(errnum),
                          "Cannot read the spool " + name + ": " + std::strerror(errnum));
    }
    if (size < kHeadSize || got != sizeof block) {
        throw VeltroError(err::kTypeMismatch, name + " is no spool: it is " + std::to_string(size) +
                                                  " bytes long, shorter than the 64-byte head");
    }
    if (std::memcmp(block, "VSPL", 4) != 0) {
        throw VeltroError(err::kTypeMismatch, name + " is no spool: it does not begin with \"VSPL\"");
    }
    const auto version = static_cast<std::uint32_t>(le::get_i32(block + 4));
    if (version != kVersion) {
        throw VeltroError(err::kTypeMismatch, "The spool " + name + " is of version " +
                                                  std::to_string(version) + "; this program reads version 1");
    }
    const std::int32_t width = le::get_i32(block + 8);
    const std::int32_t height = le::get_i32(block + 12);
    const std::int32_t quality = le::get_i32(block + 16);
    const std::int32_t data_size = le::get_i32(block + 20);
    const std::int32_t base = le::get_i32(block + 24);
    const std::string problem = head_problem(width, height, quality, data_size, base);
    if (!problem.empty()) {
        throw VeltroError(err::kTypeMismatch, "The head of the spool " + name + " is damaged: " + problem);
    }
    head.width = width;
    head.height = height;
    head.start_quality = static_cast<std::int16_t>(quality);
    head.data_size = data_size;
    head.base_frames = base;
}

// Entries up to the first that is not whole and sound; nothing is allocated from a length in the file.
void SpoolReader::State::walk_entries() {
    std::int64_t size = 0;
    try {
        size = file->size();
    } catch (const std::system_error&) {
    }
    std::vector<std::uint8_t> chunk(64 * 1024);
    std::int64_t at = kHeadSize;
    for (;;) {
        if (at >= size) {
            return;
        }
        const auto number = static_cast<std::int32_t>(entries.size()) + 1;
        const std::string where = "entry " + std::to_string(number) + " at byte " + std::to_string(at);
        const std::string kept = ": " + std::to_string(entries.size()) + " frames kept";
        auto stop = [&](const std::string& what) { damage = where + " " + what + kept; };
        if (head.base_frames + number > px3::kMaxFrames) {
            stop("is beyond the 32767 frames a recording holds");
            return;
        }
        std::uint8_t entry_head[kEntryHeadSize];
        try {
            if (size - at < kEntryHeadSize ||
                file->read_at(at, entry_head, sizeof entry_head) != sizeof entry_head) {
                stop("is cut short (a capture that ended abruptly)");
                return;
            }
        } catch (const std::system_error& e) {
            stop(std::string("cannot be read: ") + std::strerror(e.code().value()));
            return;
        }
        if (std::memcmp(entry_head, "VSFR", 4) != 0) {
            stop("does not begin with \"VSFR\"");
            return;
        }
        const std::int32_t said = le::get_i32(entry_head + 4);
        if (said != number) {
            stop("says it is frame " + std::to_string(said));
            return;
        }
        const std::int32_t quality = le::get_i32(entry_head + 20);
        if (quality < 1 || quality > 100) {
            stop("gives JPEG quality " + std::to_string(quality) + ", outside 1..100");
            return;
        }
        const std::int32_t length = le::get_i32(entry_head + 24);
        if (length < 1 || length > kMaxStreamLength) {
            stop("gives a stream of " + std::to_string(length) + " bytes, outside 1.." +
                 std::to_string(kMaxStreamLength));
            return;
        }
        const std::int64_t stream = at + kEntryHeadSize;
        if (size - stream < length) {
            stop("is cut short (a capture that ended abruptly)");
            return;
        }
        auto crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
        try {
            for (std::int64_t done = 0; done < length;) {
                const auto n = static_cast<std::size_t>(std::min<std::int64_t>(length - done, chunk.size()));
                if (file->read_at(stream + done, chunk.data(), n) != n) {
                    stop("is cut short (a capture that ended abruptly)");
                    return;
                }
                crc = crc_of(crc, chunk.data(), n);
                done += static_cast<std::int64_t>(n);
            }
        } catch (const std::system_error& e) {
            stop(std::string("cannot be read: ") + std::strerror(e.code().value()));
            return;
        }
        const auto expected = static_cast<std::uint32_t>(le::get_i32(entry_head + 28));
        if (crc != expected) {
            stop("fails its CRC check (its stream is damaged)");
            return;
        }
        Entry e;
        e.offset = stream;
        e.length = length;
        e.crc = crc;
        e.capture_mill = le::get_i32(entry_head + 8);
        e.capture_delta = le::get_i32(entry_head + 12);
        e.capture_local = le::get_i32(entry_head + 16);
        e.quality = static_cast<std::int16_t>(quality);
        entries.push_back(e);
        largest = std::max(largest, length);
        at = stream + length;
    }
}

SpoolReader::SpoolReader(const std::string& path) : state_(std::make_unique<State>()) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const int e = errno;
        throw VeltroError(error_number_for_errno(e),
                          "Cannot open the spool " + path + ": " + std::strerror(e));
    }
    state_->file = std::make_unique<PosixFile>(std::move(fd));
    state_->name = path;
    state_->read_head();
    state_->walk_entries();
}

SpoolReader::SpoolReader(std::unique_ptr<File> file, const std::string& name)
    : state_(std::make_unique<State>()) {
    if (!file) {
        throw VeltroError(err::kObjectVariableNotSet, "No file given for the spool " + name);
    }
    state_->file = std::move(file);
    state_->name = name;
    state_->read_head();
    state_->walk_entries();
}

SpoolReader::~SpoolReader() = default;

std::int32_t SpoolReader::count() const {
    return static_cast<std::int32_t>(state_->entries.size());
}

std::int32_t SpoolReader::largest() const {
    return state_->largest;
}

void SpoolReader::read(std::int32_t index, CompressedFrame& frame) const {
    const State& s = *state_;
    if (index < 1 || index > count()) {
        throw index_error(index, count(), s.name);
    }
    read_stream(*s.file, s.entries[static_cast<std::size_t>(index - 1)], index, s.name, frame);
}

const SpoolHead& SpoolReader::head() const {
    return state_->head;
}

const std::string& SpoolReader::damage() const {
    return state_->damage;
}

// ---- Finding spools -----------------------------------------------------------------------------

std::vector<std::string> find_spools(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec);
    if (ec) {
        return found;
    }
    for (const std::filesystem::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (to_lower_ascii(name).ends_with(".px3.spool") && !it->is_directory(ec)) {
            found.push_back(it->path().string());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

} // namespace veltro
