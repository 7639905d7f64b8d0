#include "failing_file.h"
#include "support/file_io.h"
#include "support/files.h"
#include "support/memory_file.h"
#include "temp_dir.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <system_error>
#include <unistd.h>

namespace veltro {
namespace {

using testing::FailingFile;
using Op = FailingFile::Op;

std::string read_text(File& file, std::int64_t offset, std::size_t size) {
    std::string text(size, '\0');
    text.resize(file.read_at(offset, text.data(), size));
    return text;
}

int errno_of(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::system_error& e) {
        return e.code().value();
    }
    return 0;
}

// The tests in memory only mean something while the memory file behaves as a file on disk.
TEST(FileIo, MemoryFileBehavesAsAFileOnDisk) {
    testing::TempDir dir;
    const std::string path = dir.file("data");
    PosixFile disk(UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)));
    MemoryFile memory;
    for (File* file : {static_cast<File*>(&disk), static_cast<File*>(&memory)}) {
        write_all_at(*file, 0, "abcdef", 6);
        write_all_at(*file, 8, "XY", 2); // beyond the end: the gap reads as zeros
        EXPECT_EQ(file->size(), 10);
        EXPECT_EQ(read_text(*file, 4, 100), std::string("ef\0\0XY", 6)) << "short only at the end";
        EXPECT_EQ(read_text(*file, 20, 4), "");
        file->truncate(3);
        file->sync();
        EXPECT_EQ(file->size(), 3);
        EXPECT_EQ(read_text(*file, 0, 10), "abc");
    }
    EXPECT_EQ(std::filesystem::file_size(path), 3u);
}

TEST(FileIo, PosixFileReportsErrnoAndClosesItsDescriptor) {
    testing::TempDir dir;
    const std::string path = dir.file("data");
    int fd = -1;
    {
        PosixFile file(UniqueFd(::open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644)));
        fd = file.descriptor();
        ASSERT_GE(fd, 0);
        EXPECT_EQ(errno_of([&] { file.write_at(0, "x", 1); }), EBADF);
    }
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "the descriptor leaks";
}

class AtomicSave : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string path = dir.file("event.xml");

    void SetUp() override { ASSERT_EQ(write_file_atomically(path, "old contents"), 0); }
    int save_through(void (*arm)(FailingFile&)) {
        return write_file_atomically(path, "new contents, longer than the old", [arm](File& temp) {
            auto failing = std::make_unique<FailingFile>(temp);
            arm(*failing);
            return failing;
        });
    }
    std::size_t files_in_folder() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
    }
};

TEST_F(AtomicSave, FailureAtAnyStepLeavesTheOldFileAndNoTemporary) {
    const struct {
        void (*arm)(FailingFile&);
        int errnum;
    } faults[] = {
        {[](FailingFile& f) { f.fail(Op::write, 1, EIO); }, EIO},
        {[](FailingFile& f) { f.disk_full_after(5); }, ENOSPC},
        {[](FailingFile& f) { f.fail(Op::sync, 1, EIO); }, EIO},
    };
    for (const auto& fault : faults) {
        EXPECT_EQ(save_through(fault.arm), fault.errnum);
        EXPECT_EQ(read_whole_file(path), "old contents");
        EXPECT_EQ(files_in_folder(), 1u);
    }
}

TEST_F(AtomicSave, ShortWritesStillGiveTheWholeFile) {
    EXPECT_EQ(save_through([](FailingFile& f) { f.short_writes(4); }), 0);
    EXPECT_EQ(read_whole_file(path), "new contents, longer than the old");
    EXPECT_EQ(files_in_folder(), 1u);
}

} // namespace
} // namespace veltro
