#pragma once

#include "recording/compressed_frame.h"
#include "support/file_io.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace veltro {

// The spool of a capture: the compressed frames with their capture times, written beside the
// recording as they are made, so that a capture survives the program's end. Once its frames are
// counted in the recording's header the spool is removed.
//
// "<recording>.spool": a 64-byte head ("VSPL", version 1, width, height, start quality, D fixed
// when the capture began or 0, frames the recording counted then), then one entry per frame:
// "VSFR", frame number, capture mill, delta, local, quality, stream length, CRC-32 of the stream,
// then the stream itself.
struct SpoolHead {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t start_quality = 80;
    std::int32_t data_size = 0;   // D of the recording when the capture began; 0 = not fixed yet
    std::int32_t base_frames = 0; // frames the recording's header counted when the capture began
};

std::string spool_path(const std::string& recording);

// Writes a new spool (refusing to replace an existing one) and keeps the position of every entry,
// so that the final pass reads the frames back without parsing the file again.
class SpoolWriter final : public CompressedFrameSink, public CompressedFrames {
public:
    // Creates `path` and writes the head; VeltroError when it cannot.
    SpoolWriter(const std::string& path, const SpoolHead& head);
    ~SpoolWriter() override;
    // A spool that keeps every frame in memory from the start, for a disk that did not take the spool
    // file (`reason`): the capture goes on all the same.
    static std::unique_ptr<SpoolWriter> in_memory(const std::string& path, const SpoolHead& head,
                                                  const std::string& reason);

    void append(const CompressedFrame& frame) override;
    void flush() override; // fdatasync

    std::int32_t count() const override;
    std::int32_t largest() const override;
    void read(std::int32_t index, CompressedFrame& frame) const override;

    const SpoolHead& head() const;
    const std::string& path() const;
    // Why the frames from some point on are kept in memory only (the file stopped taking them);
    // empty while the file takes every frame.
    const std::string& failure() const;
    // Frames kept in memory only (none while the file takes every frame).
    std::int32_t in_memory_count() const;
    // Deletes the file once its frames are counted in the recording; the writer is spent then.
    void remove();

private:
    SpoolWriter();
    struct State;
    std::unique_ptr<State> state_;
};

// A spool read back from disk, as after a crash. Entries run up to the first that is cut short or
// damaged; what was wrong with the rest is told in `damage` (empty when every byte was read).
class SpoolReader final : public CompressedFrames {
public:
    // VeltroError with a clear text when the file cannot be read or its head is not a spool head.
    explicit SpoolReader(const std::string& path);
    // The same over bytes already at hand (the fuzz target).
    explicit SpoolReader(std::unique_ptr<File> file, const std::string& name);
    ~SpoolReader() override;

    std::int32_t count() const override;
    std::int32_t largest() const override;
    void read(std::int32_t index, CompressedFrame& frame) const override;

    const SpoolHead& head() const;
    const std::string& damage() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// What recovering the spool of one recording did.
struct SpoolRecovery {
    std::int32_t frames = 0; // frames appended to the recording
    std::string message;     // one line for the operator and the trace
    bool spool_removed = false;
    bool settled = false; // the spool's frames are in the recording now (or it had none): it may go
};

// Appends the frames of `recording`'s spool that its header does not count yet, then removes the
// spool; a spool whose frames the header counts already is only removed. A recording or spool that
// cannot be read is reported in the message and left as it is.
SpoolRecovery recover_spool(const std::string& recording);

// Appends `frames`, the spool of `recording` described by `head`, to that recording by its path,
// with the same checks as a recovery; the spool itself is left alone.
SpoolRecovery append_spool_frames(const std::string& recording, const CompressedFrames& frames,
                                  const SpoolHead& head, const std::string& damage = {});

// Every "*.px3.spool" in `folder`, by name.
std::vector<std::string> find_spools(const std::string& folder);

} // namespace veltro
