// The spool of a capture: what is written reads back exactly, what a crash or a bad disk leaves is
// read up to the last sound entry, and a disk that stops taking frames costs none of them.
#include "compressed_frames.h"
#include "file_size_limit.h"
#include "recording/capture_spool.h"
#include "scoped_env.h"
#include "support/byte_order.h"
#include "support/files.h"
#include "support/memory_file.h"
#include "support/veltro_error.h"
#include "temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace veltro {
namespace {

using testing::compressed_test_frame;

void expect_same(const CompressedFrame& a, const CompressedFrame& b, std::int32_t n) {
    EXPECT_EQ(a.capture_mill, b.capture_mill) << n;
    EXPECT_EQ(a.capture_delta, b.capture_delta) << n;
    EXPECT_EQ(a.capture_local, b.capture_local) << n;
    EXPECT_EQ(a.quality, b.quality) << n;
    EXPECT_EQ(a.jpeg, b.jpeg) << n;
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    const std::string s = read_whole_file(path).value_or("");
    return {s.begin(), s.end()};
}

class CaptureSpool : public ::testing::Test {
protected:
    testing::TempDir dir;
    std::string path = dir.file("heat.px3.spool");
    SpoolHead head{160, 120, 80, 0, 0};
    std::vector<CompressedFrame> frames;

    void SetUp() override {
        // Times across the 32-bit wrap and a frame compressed lower: all must come back as written.
        for (std::int32_t n = 0; n < 4; ++n)
            frames.push_back(compressed_test_frame(160, 120, n, n == 2 ? 55 : 80, 2147483600));
    }
    void write_all() {
        SpoolWriter writer(path, head);
        for (const auto& f : frames)
            writer.append(f);
        writer.flush();
    }
    // Byte offset of entry n (1-based) in a spool of `frames`.
    std::int64_t entry_offset(std::int32_t n) const {
        std::int64_t at = 64;
        for (std::int32_t i = 1; i < n; ++i)
            at += 32 + static_cast<std::int64_t>(frames[static_cast<std::size_t>(i - 1)].jpeg.size());
        return at;
    }
};

TEST_F(CaptureSpool, FramesReadBackAsWrittenFromTheWriterAndFromTheFile) {
    head = SpoolHead{160, 120, 80, 12000, 37};
    std::int32_t largest = 0;
    {
        SpoolWriter writer(path, head);
        for (const auto& f : frames) {
            writer.append(f);
            largest = std::max(largest, static_cast<std::int32_t>(f.jpeg.size()));
        }
        writer.flush();
        ASSERT_EQ(writer.count(), 4);
        EXPECT_EQ(writer.largest(), largest);
        CompressedFrame back;
        for (std::int32_t n = 4; n >= 1; --n) {
            writer.read(n, back);
            expect_same(back, frames[static_cast<std::size_t>(n - 1)], n);
        }
        EXPECT_THROW(writer.read(5, back), VeltroError);
    }
    ASSERT_TRUE(std::filesystem::exists(path)) << "a writer that ends leaves its spool for recovery";

    SpoolReader reader(path);
    EXPECT_EQ(reader.head().width, 160);
    EXPECT_EQ(reader.head().height, 120);
    EXPECT_EQ(reader.head().start_quality, 80);
    EXPECT_EQ(reader.head().data_size, 12000);
    EXPECT_EQ(reader.head().base_frames, 37);
    EXPECT_EQ(reader.damage(), "");
    ASSERT_EQ(reader.count(), 4);
    EXPECT_EQ(reader.largest(), largest);
    CompressedFrame back;
    for (std::int32_t n = 1; n <= 4; ++n) {
        reader.read(n, back);
        expect_same(back, frames[static_cast<std::size_t>(n - 1)], n);
    }
    EXPECT_THROW(reader.read(0, back), VeltroError);
}

TEST_F(CaptureSpool, LayoutIsTheDocumentedOne) {
    write_all();
    const auto bytes = file_bytes(path);
    ASSERT_EQ(static_cast<std::int64_t>(bytes.size()), entry_offset(5));
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "VSPL");
    EXPECT_EQ(le::get_i32(&bytes[4]), 1);
    EXPECT_EQ(le::get_i32(&bytes[8]), 160);
    EXPECT_EQ(le::get_i32(&bytes[16]), 80);
    EXPECT_TRUE(std::all_of(bytes.begin() + 28, bytes.begin() + 64, [](std::uint8_t b) { return b == 0; }));
    const auto at = static_cast<std::size_t>(entry_offset(3));
    EXPECT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + 4), "VSFR");
    EXPECT_EQ(le::get_i32(&bytes[at + 4]), 3);
    EXPECT_EQ(le::get_i32(&bytes[at + 8]), frames[2].capture_mill);
    EXPECT_EQ(le::get_i32(&bytes[at + 20]), 55);
    EXPECT_EQ(le::get_i32(&bytes[at + 24]), static_cast<std::int32_t>(frames[2].jpeg.size()));
    EXPECT_TRUE(std::equal(frames[2].jpeg.begin(), frames[2].jpeg.end(), bytes.begin() + at + 32));
}

TEST_F(CaptureSpool, ReadingStopsAtTheFirstEntryThatIsCutOrDamaged) {
    write_all();
    const auto good = file_bytes(path);
    const auto at4 = static_cast<std::size_t>(entry_offset(4));
    const auto at3 = static_cast<std::size_t>(entry_offset(3));
    struct Damage {
        const char* what;
        void (*spoil)(std::vector<std::uint8_t>&, std::size_t at3, std::size_t at4);
        std::int32_t kept;
        std::string said;
    };
    const Damage cases[] = {
        {"killed inside the last stream", [](auto& b, std::size_t, std::size_t) { b.resize(b.size() - 100); },
         3,
         "entry 4 at byte " + std::to_string(at4) +
             " is cut short (a capture that ended abruptly): 3 frames kept"},
        {"killed inside the last entry head", [](auto& b, std::size_t, std::size_t a4) { b.resize(a4 + 20); },
         3,
         "entry 4 at byte " + std::to_string(at4) +
             " is cut short (a capture that ended abruptly): 3 frames kept"},
        {"a stream byte flipped", [](auto& b, std::size_t a3, std::size_t) { b[a3 + 32 + 500] ^= 0x10; }, 2,
         "entry 3 at byte " + std::to_string(at3) +
             " fails its CRC check (its stream is damaged): 2 frames kept"},
        {"wrong magic", [](auto& b, std::size_t a3, std::size_t) { b[a3] = 'X'; }, 2,
         "entry 3 at byte " + std::to_string(at3) + " does not begin with \"VSFR\": 2 frames kept"},
        {"out of sequence", [](auto& b, std::size_t a3, std::size_t) { le::put_i32(&b[a3 + 4], 7); }, 2,
         "entry 3 at byte " + std::to_string(at3) + " says it is frame 7: 2 frames kept"},
        {"stream length beyond any record",
         [](auto& b, std::size_t a3, std::size_t) { le::put_i32(&b[a3 + 24], 2000000000); }, 2,
         "entry 3 at byte " + std::to_string(at3) +
             " gives a stream of 2000000000 bytes, outside 1..67100614: 2 frames kept"},
        {"negative stream length", [](auto& b, std::size_t a3, std::size_t) { le::put_i32(&b[a3 + 24], -5); },
         2,
         "entry 3 at byte " + std::to_string(at3) +
             " gives a stream of -5 bytes, outside 1..67100614: 2 frames kept"},
        {"stream length past the end",
         [](auto& b, std::size_t, std::size_t a4) { le::put_i32(&b[a4 + 24], 1 << 20); }, 3,
         "entry 4 at byte " + std::to_string(at4) +
             " is cut short (a capture that ended abruptly): 3 frames kept"},
    };
    for (const Damage& d : cases) {
        SCOPED_TRACE(d.what);
        auto bytes = good;
        d.spoil(bytes, at3, at4);
        SpoolReader reader(std::make_unique<MemoryFile>(bytes), "damaged.px3.spool");
        EXPECT_EQ(reader.damage(), d.said);
        ASSERT_EQ(reader.count(), d.kept);
        CompressedFrame back;
        for (std::int32_t n = 1; n <= d.kept; ++n) {
            reader.read(n, back);
            expect_same(back, frames[static_cast<std::size_t>(n - 1)], n);
        }
    }
}

TEST_F(CaptureSpool, AHeadThatIsNoSpoolHeadIsRefusedClearly) {
    write_all();
    const auto good = file_bytes(path);
    struct Bad {
        const char* what;
        std::size_t at;
        std::int32_t value;
        std::string said;
    };
    const Bad cases[] = {
        {"magic", 0, 0x4C505356 + 1, "bad.spool is no spool: it does not begin with \"VSPL\""},
        {"version", 4, 2, "The spool bad.spool is of version 2; this program reads version 1"},
        {"width", 8, 0, "The head of the spool bad.spool is damaged: a picture of 0 x 120, outside 1..8192"},
        {"height", 12, 9000,
         "The head of the spool bad.spool is damaged: a picture of 160 x 9000, outside 1..8192"},
        {"quality", 16, 101, "The head of the spool bad.spool is damaged: start quality 101, outside 1..100"},
        {"data size", 20, -1,
         "The head of the spool bad.spool is damaged: record data size -1, outside 0..67108864"},
        {"base frames", 24, 32768,
         "The head of the spool bad.spool is damaged: frames counted before the capture 32768, outside "
         "0..32767"},
    };
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.what);
        auto bytes = good;
        le::put_i32(&bytes[b.at], b.value);
        try {
            SpoolReader reader(std::make_unique<MemoryFile>(bytes), "bad.spool");
            FAIL() << "read as a spool";
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.description(), b.said);
        }
    }
    for (std::size_t length : {0u, 10u, 63u}) {
        try {
            SpoolReader reader(
                std::make_unique<MemoryFile>(std::vector<std::uint8_t>(good.begin(), good.begin() + length)),
                "short.spool");
            FAIL() << length;
        } catch (const VeltroError& e) {
            EXPECT_EQ(e.description(), "short.spool is no spool: it is " + std::to_string(length) +
                                           " bytes long, shorter than the 64-byte head");
        }
    }
    try {
        SpoolReader reader(dir.file("missing.px3.spool"));
        FAIL() << "a missing file was read";
    } catch (const VeltroError& e) {
        EXPECT_EQ(e.number(), err::kFileNotFound);
    }
}

TEST_F(CaptureSpool, ASpoolIsNeverReplacedAndFramesAreChecked) {
    write_all();
    const auto before = file_bytes(path);
    try {
        SpoolWriter again(path, head);
        FAIL() << "an existing spool was replaced";
    } catch (const VeltroError& e) {
        EXPECT_NE(e.description().find("The spool of an earlier capture is still there: " + path),
                  std::string::npos)
            << e.description();
    }
    EXPECT_EQ(file_bytes(path), before);

    // A head or a frame the reader would refuse is refused when written.
    EXPECT_THROW(SpoolWriter(dir.file("wide.px3.spool"), SpoolHead{9000, 120, 80, 0, 0}), VeltroError);
    EXPECT_FALSE(std::filesystem::exists(dir.file("wide.px3.spool")));
    SpoolWriter writer(dir.file("other.px3.spool"), head);
    CompressedFrame empty = frames[0];
    empty.jpeg.clear();
    EXPECT_THROW(writer.append(empty), VeltroError);
    CompressedFrame no_quality = frames[0];
    no_quality.quality = 0;
    EXPECT_THROW(writer.append(no_quality), VeltroError);
    writer.append(frames[0]);
    EXPECT_EQ(writer.count(), 1);

    writer.remove();
    EXPECT_FALSE(std::filesystem::exists(dir.file("other.px3.spool")));
    CompressedFrame back;
    EXPECT_THROW(writer.read(1, back), VeltroError);
    EXPECT_THROW(writer.append(frames[1]), VeltroError);
}

TEST_F(CaptureSpool, FramesTheDiskNoLongerTakesAreKeptInMemory) {
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.file("data")};
    std::filesystem::create_directories(dir.file("data"));
    SpoolWriter writer(path, head);
    {
        // Room for two entries and half of the third: it fails part-way, as a filling disk does.
        testing::FileSizeLimit limit(static_cast<rlim_t>(entry_offset(3) + 300));
        ASSERT_TRUE(limit.ok());
        for (const auto& f : frames)
            ASSERT_NO_THROW(writer.append(f));
        writer.flush();
    }
    ASSERT_EQ(writer.count(), 4);
    CompressedFrame back;
    for (std::int32_t n = 1; n <= 4; ++n) {
        writer.read(n, back);
        expect_same(back, frames[static_cast<std::size_t>(n - 1)], n);
    }
    // The file holds the entries that were written whole, and no torn one.
    SpoolReader reader(path);
    EXPECT_EQ(reader.count(), 2);
    EXPECT_EQ(reader.damage(), "");
    const std::string log = read_whole_file(dir.file("data/Veltro_eventlog.txt")).value_or("");
    EXPECT_NE(log.find("The spool " + path + " cannot be written ("), std::string::npos) << log;
    EXPECT_NE(log.find("frames from 3 on are kept in memory only"), std::string::npos) << log;
    EXPECT_EQ(log.find("cannot be written", log.find("cannot be written") + 1), std::string::npos)
        << "said once";
}

TEST_F(CaptureSpool, SpoolsOfAFolderAreFoundByName) {
    for (const char* name : {"b.px3.spool", "a.px3.spool", "C.PX3.spool", "a.px3", "notes.spool"})
        ASSERT_EQ(write_file_atomically(dir.file(name), "x"), 0);
    std::filesystem::create_directories(dir.file("sub"));
    ASSERT_EQ(write_file_atomically(dir.file("sub/d.px3.spool"), "x"), 0);
    EXPECT_EQ(find_spools(dir.path().string()),
              (std::vector<std::string>{dir.file("C.PX3.spool"), dir.file("a.px3.spool"),
                                        dir.file("b.px3.spool")}));
    EXPECT_TRUE(find_spools(dir.file("missing")).empty());
    EXPECT_EQ(spool_path("/races/heat 1.px3"), "/races/heat 1.px3.spool");
}

} // namespace
} // namespace veltro
