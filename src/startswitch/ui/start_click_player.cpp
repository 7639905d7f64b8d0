#include "startswitch/ui/start_click_player.h"

#include "startswitch/start_click.h"
#include "support/trace.h"

#include <alsa/asoundlib.h>

namespace veltro {

namespace {
// ALSA's own complaints (no card, no configuration) would go to stderr; the trace says it once.
void quiet_alsa(const char*, int, const char*, int, const char*, ...) {}
} // namespace

StartClickPlayer::StartClickPlayer() : wave_(start_click_wave()) {
    snd_lib_error_set_handler(quiet_alsa);
}

StartClickPlayer::~StartClickPlayer() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void StartClickPlayer::play() {
    if (busy_.exchange(true)) {
        return;
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    thread_ = std::thread([this] {
        play_on_device();
        busy_ = false;
    });
}

void StartClickPlayer::play_on_device() {
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) {
        Trace("PlayPOP, no sound device");
        return;
    }
    if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_U8, SND_PCM_ACCESS_RW_INTERLEAVED, 1, kStartClickRate, 1,
                           100000) < 0) {
        Trace("PlayPOP, sound device refused 8-bit mono 11025");
        snd_pcm_close(pcm);
        return;
    }
    const std::uint8_t* samples = wave_.data() + kWaveHeaderBytes;
    snd_pcm_uframes_t left = wave_.size() - kWaveHeaderBytes;
    while (left > 0) {
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm, samples, left);
        if (n < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) {
                break;
            }
            continue;
        }
        samples += n;
        left -= static_cast<snd_pcm_uframes_t>(n);
    }
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
}

} // namespace veltro
