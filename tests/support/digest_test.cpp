#include "support/digest.h"
#include "support/files.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

namespace veltro {
namespace {

TEST(Digest, Sha256OfTextAndOfAFileReadInPiecesAgree) {
    EXPECT_EQ(sha256_hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha256_hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    testing::TempDir dir;
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += static_cast<char>(i * 7);
    save_file_atomically(dir.file("big.bin"), big);
    EXPECT_EQ(sha256_file_hex(dir.file("big.bin")), sha256_hex(big));
    EXPECT_EQ(sha256_file_hex(dir.file("missing.bin")), std::nullopt);
}

TEST(Digest, Base64PadsTheLastGroup) {
    EXPECT_EQ(base64(""), "");
    EXPECT_EQ(base64("f"), "Zg==");
    EXPECT_EQ(base64("fo"), "Zm8=");
    EXPECT_EQ(base64("foobar"), "Zm9vYmFy");
    EXPECT_EQ(base64(std::string("\xff\x00\xfe", 3)), "/wD+");
}

} // namespace
} // namespace veltro
