#pragma once

#include "support/file_io.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace veltro {

// Replaces the file at `path` with `data` so that a crash, a full disk or a failed write at any
// moment leaves either the old file or the new one, never a mix: the data goes to a temporary
// file in the same folder, is flushed, and is renamed over the old file. Returns 0 on success or
// the errno of the step that failed (the old file is then untouched and no temporary is left).
int write_file_atomically(const std::string& path, std::string_view data) noexcept;
// The same, with the data written and flushed through `through(temporary file)`: a view of the
// temporary file that may add to what it does, or fail.
int write_file_atomically(const std::string& path, std::string_view data,
                          const std::function<std::unique_ptr<File>(File&)>& through) noexcept;

// The same, failing with a VeltroError (70 Permission denied, 53 File not found, 61 Disk full,
// 75 Path/File access error) whose description names the path and the system's reason.
void save_file_atomically(const std::string& path, std::string_view data);

// Writes `data` to a new file beside `path` (`path` + ".tmpXXXXXX", mode 0644), flushed, and returns
// its name, for a caller that renames several files into place together; it removes the file when it
// does not rename it. Fails like save_file_atomically, leaving nothing behind.
std::string save_temporary_beside(const std::string& path, std::string_view data);

// Removes what writes killed part-way left in `folder`: files and folders named `prefix` followed by
// the six characters of a temporary name (mkstemp's and mkdtemp's), unless their writer still holds
// them (flock). Symbolic links are never followed or removed. Failures are ignored.
void remove_leftovers(const std::string& folder, const std::string& prefix) noexcept;

// Proves that a file can be made in `folder` by creating and deleting "testfile.txt" there (a file
// of that name that is already there is left alone and another name is tried). Returns 0 or the
// errno of the failure.
int probe_folder_writable(const std::string& folder) noexcept;

// Reads a whole file; std::nullopt when it cannot be opened or read.
std::optional<std::string> read_whole_file(const std::string& path);

// True when an existing file's permission bits give nobody the right to write it, as the old
// read-only attribute did. The same answer for every user, the superuser included. False when the
// file does not exist.
bool is_read_only_file(const std::string& path);

// Maps an errno to the classic error number and its description.
int error_number_for_errno(int errnum);

} // namespace veltro
