#include "capture/signal_watch.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltro {
namespace {

class SignalWatchTest : public ::testing::Test {
protected:
    // Pictures every 40 ms for `ms`.
    void pictures(std::uint32_t ms) {
        for (std::uint32_t t = 0; t < ms; t += 40) {
            clock.advance(40);
            watch.frame();
            watch.check();
        }
    }

    ManualClock clock{1000};
    std::vector<std::string> log;
    SignalWatch watch{clock, [this](const std::string& line) { log.push_back(line); }};
};

TEST_F(SignalWatchTest, HalfASecondWithoutPicturesIsNoSignalAndThePicturesComingBackEndIt) {
    watch.started("Grabber A");
    pictures(400);
    EXPECT_EQ(watch.check(), SignalWatch::State::Live);
    EXPECT_EQ(watch.overlay_text(), "");

    // A one-second gap, judged every 100 ms as the window's timer does.
    clock.advance(499);
    EXPECT_EQ(watch.check(), SignalWatch::State::Live);
    clock.advance(1);
    EXPECT_EQ(watch.check(), SignalWatch::State::NoSignal);
    EXPECT_EQ(watch.overlay_text(), "No signal");
    for (int i = 0; i < 5; ++i) {
        clock.advance(100);
        EXPECT_EQ(watch.check(), SignalWatch::State::NoSignal);
    }
    watch.frame();
    EXPECT_EQ(watch.check(), SignalWatch::State::Live);
    EXPECT_EQ(watch.overlay_text(), "");
    EXPECT_EQ(log, (std::vector<std::string>{"No signal from Grabber A",
                                             "Signal back from Grabber A after 1000 ms without pictures"}));
    EXPECT_FALSE(watch.reopen_due()); // nothing is lost
}

TEST_F(SignalWatchTest, AStartedDeviceHasTwoSecondsForItsFirstPictureAndAStoppedOneSaysNothing) {
    watch.started("Grabber A");
    clock.advance(1999);
    EXPECT_EQ(watch.check(), SignalWatch::State::Waiting);
    EXPECT_EQ(watch.overlay_text(), "");
    clock.advance(1);
    EXPECT_EQ(watch.check(), SignalWatch::State::NoSignal);
    watch.frame();
    EXPECT_EQ(watch.check(), SignalWatch::State::Live);
    EXPECT_EQ(log.back(), "Signal back from Grabber A after 2000 ms without pictures");

    watch.stopped();
    clock.advance(10000);
    EXPECT_EQ(watch.check(), SignalWatch::State::Off);
    EXPECT_EQ(watch.overlay_text(), "");
    EXPECT_FALSE(watch.lost("Grabber A is no longer connected"));
    EXPECT_EQ(log.size(), 2u);
}

TEST_F(SignalWatchTest, ALostDeviceIsToldOnceTriedOnceASecondAndBackAtItsFirstPicture) {
    watch.started("Grabber A");
    pictures(200);
    EXPECT_TRUE(watch.lost("Grabber A is no longer connected"));
    EXPECT_EQ(watch.check(), SignalWatch::State::Lost);
    EXPECT_EQ(watch.overlay_text(), "Capture device lost\nWaiting for it to come back");
    clock.advance(999);
    EXPECT_FALSE(watch.reopen_due());
    clock.advance(1);
    EXPECT_TRUE(watch.reopen_due());
    EXPECT_FALSE(watch.reopen_due());
    clock.advance(1000);
    EXPECT_TRUE(watch.reopen_due());

    // Opened again, it fails at once: the operator heard of the loss already.
    watch.reopened();
    EXPECT_EQ(watch.check(), SignalWatch::State::Waiting);
    EXPECT_EQ(watch.overlay_text(), "No signal"); // the picture on show is the one before the loss
    EXPECT_FALSE(watch.lost("Grabber A reported an input/output error"));
    EXPECT_EQ(watch.check(), SignalWatch::State::Lost);
    clock.advance(1000);
    ASSERT_TRUE(watch.reopen_due());
    watch.reopened();
    clock.advance(40);
    watch.frame();
    EXPECT_EQ(watch.check(), SignalWatch::State::Live);
    EXPECT_EQ(log,
              (std::vector<std::string>{"The capture device stopped: Grabber A is no longer connected",
                                        "The capture device is back: Grabber A delivers pictures again"}));

    // After pictures came, a new loss is news again.
    EXPECT_TRUE(watch.lost("Grabber A is no longer connected"));
}

TEST(SignalWatch, TheOperatorsTextSaysWhetherACaptureEndedWithItsFrames) {
    EXPECT_EQ(source_lost_text("USB Video is no longer connected", true),
              "The capture device stopped: USB Video is no longer connected. Capture has ended; every frame "
              "stored up to here is kept. The device is opened again as soon as it is back.");
    EXPECT_EQ(source_lost_text("USB Video reported an input/output error", false),
              "The capture device stopped: USB Video reported an input/output error. The device is opened "
              "again as soon as it is back.");
}

} // namespace
} // namespace veltro
