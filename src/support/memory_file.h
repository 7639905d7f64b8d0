#pragma once

#include "support/file_io.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace veltro {

// A file held in memory: for tests and fuzz targets that must not touch the disk. Fails only on
// offsets no file can have.
class MemoryFile final : public File {
public:
    MemoryFile() = default;
    explicit MemoryFile(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    MemoryFile(const void* data, std::size_t size);

    std::size_t read_at(std::int64_t offset, void* data, std::size_t size) override;
    std::size_t write_at(std::int64_t offset, const void* data, std::size_t size) override;
    void sync() override {}
    void truncate(std::int64_t length) override;
    std::int64_t size() override { return static_cast<std::int64_t>(bytes_.size()); }

    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

} // namespace veltro
