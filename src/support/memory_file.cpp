#include "support/memory_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace veltro {
namespace {

// Offsets beyond what a vector can index fail as the system fails them.
std::size_t checked_offset(std::int64_t offset) {
    if (offset < 0 || static_cast<std::uint64_t>(offset) > std::vector<std::uint8_t>().max_size()) {
        throw std::system_error(EINVAL, std::generic_category());
    }
    return static_cast<std::size_t>(offset);
}

} // namespace

MemoryFile::MemoryFile(const void* data, std::size_t size)
    : bytes_(static_cast<const std::uint8_t*>(data), static_cast<const std::uint8_t*>(data) + size) {}

std::size_t MemoryFile::read_at(std::int64_t offset, void* data, std::size_t size) {
    const std::size_t at = checked_offset(offset);
    if (size == 0 || at >= bytes_.size()) {
        return 0;
    }
    const std::size_t n = std::min(size, bytes_.size() - at);
    std::memcpy(data, bytes_.data() + at, n);
    return n;
}

std::size_t MemoryFile::write_at(std::int64_t offset, const void* data, std::size_t size) {
    const std::size_t at = checked_offset(offset);
    if (size == 0) {
        return 0;
    }
    if (size > bytes_.size() || at > bytes_.size() - size) {
        bytes_.resize(at + size); // a gap reads as zeros, as a hole in a file does
    }
    std::memcpy(bytes_.data() + at, data, size);
    return size;
}

void MemoryFile::truncate(std::int64_t length) {
    bytes_.resize(checked_offset(length));
}

} // namespace veltro
