#pragma once

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace veltro {

// Plays the start click on the default sound device without holding up the caller. Without a
// sound device it stays silent and says so in the trace.
class StartClickPlayer {
public:
    StartClickPlayer();
    ~StartClickPlayer();
    StartClickPlayer(const StartClickPlayer&) = delete;
    StartClickPlayer& operator=(const StartClickPlayer&) = delete;

    // PlayPOP. A click still sounding is not started again.
    void play();

private:
    void play_on_device();

    std::vector<std::uint8_t> wave_;
    std::thread thread_;
    std::atomic<bool> busy_{false};
};

} // namespace veltro
