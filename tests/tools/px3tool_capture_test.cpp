// px3tool sources and capture against Aravis's simulated camera, as a camera is checked before race
// night: the real tool, the real library, the program's whole capture path.
#include "recording/video_file_handler.h"
#include "scoped_env.h"
#include "support/files.h"
#include "temp_dir.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <vector>

namespace veltro {
namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class Px3ToolCapture : public ::testing::Test {
protected:
    testing::TempDir dir;
    testing::ScopedEnv data{"VELTRO_DATA_DIR", dir.file("data")};
    std::string path = dir.file("camera.px3");

    ToolRun run(const std::string& arguments) const {
        const std::string command = std::string(PX3TOOL_PATH) + " " + arguments + " >'" + dir.file("out") +
                                    "' 2>'" + dir.file("err") + "'";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, read_whole_file(dir.file("out")).value_or(""),
                read_whole_file(dir.file("err")).value_or("")};
    }
};

TEST_F(Px3ToolCapture, RecordsTheSimulatedCameraAtItsRateWithItsExposureAndGain) {
    const ToolRun listed = run("sources --simulated");
    ASSERT_EQ(listed.status, 0) << listed.err;
    const auto line = listed.out.find("Aravis Fake 1: ");
    ASSERT_NE(line, std::string::npos) << listed.out;
    EXPECT_NE(listed.out.substr(line, listed.out.find('\n', line) - line).find(" 512*512/100 "),
              std::string::npos)
        << listed.out;
    EXPECT_EQ(run("sources").out.find("Aravis Fake"), std::string::npos); // only when asked for

    const ToolRun captured =
        run("capture 'Aravis Fake 1' '" + path +
            "' --seconds 2 --format '512*512/100' --crop '400*500' --exposure 1000 --gain 6 "
            "--simulated");
    ASSERT_EQ(captured.status, 0) << captured.err;
    const ToolRun verified = run("verify '" + path + "'");
    EXPECT_EQ(verified.status, 0) << verified.out;

    cls_VideoFile_handler rec;
    rec.Open_File(path);
    // The simulated camera's gain is raw steps (GainRaw), not decibels.
    EXPECT_EQ(rec.xml_header().Comp_CaptureInfo(), "Aravis Fake 1 / 512*512/100, exposure 1000 µs, gain 6");
    // 2 s at 100 pictures a second: never more than the camera's rate gives, and most of them (the
    // simulated camera renders on this machine's cores, which a sanitizer run beside it shares).
    const std::int32_t frames = rec.num_Frames();
    EXPECT_GE(frames, 60);
    EXPECT_LE(frames, 201);
    EXPECT_NE(verified.out.find("sound, " + std::to_string(frames) + " frames"), std::string::npos);
    // The camera's own stamps: rising, one period (10 ms) apart but where the camera left one out.
    std::vector<std::int64_t> deltas;
    std::uint32_t previous = 0;
    for (std::int32_t n = 1; n <= frames; ++n) {
        rec.Read_RGB_sample(n, false);
        ASSERT_FALSE(rec.RGB_samplesize_error()) << n;
        // The counter wraps: differences are taken modulo 2^32.
        const auto mill = static_cast<std::uint32_t>(rec.PX3_Capture_mill());
        if (n > 1) {
            deltas.push_back(static_cast<std::int32_t>(mill - previous));
            EXPECT_GT(deltas.back(), 0) << n;
        }
        previous = mill;
    }
    std::sort(deltas.begin(), deltas.end());
    ASSERT_FALSE(deltas.empty());
    const std::int64_t median = deltas[deltas.size() / 2];
    EXPECT_GE(median, 9);
    EXPECT_LE(median, 11);
}

// Bad arguments are told apart, with status 2, and leave no file behind.
TEST_F(Px3ToolCapture, RefusesAnUnknownSourceAFormatItDoesNotOfferAndACropBeyondItsPictures) {
    const std::string file = " '" + path + "' --seconds 1 --simulated";
    const struct {
        std::string arguments;
        std::string said;
    } cases[] = {
        {"capture 'Aravis Fake 9'" + file, "no capture source 'Aravis Fake 9'; there are: "},
        {"capture 'Aravis Fake 1'" + file + " --format '512*512/999'",
         "--format '512*512/999' is not offered by Aravis Fake 1; it offers 512*512/25 "},
        {"capture 'Aravis Fake 1'" + file + " --crop 600*400",
         "The picture size 600*400 does not fit in the 512*512 pictures of Aravis Fake 1"},
        {"capture 'Aravis Fake 1'" + file + " --crop 400x400", "--crop '400x400' must be WIDTH*HEIGHT"},
        {"capture 'Aravis Fake 1'" + file + " --exposure 5", "Exposure must be a number from 10 µs to "},
    };
    for (const auto& c : cases) {
        const ToolRun r = run(c.arguments);
        EXPECT_EQ(r.status, 2) << c.arguments;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(path)) << c.arguments;
    }
}

} // namespace
} // namespace veltro
