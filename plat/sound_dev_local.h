// sound_dev_local: the sound device's loopback mode, for its tests: a device
// that renders the mix into memory only when asked, so that what a buffer
// does can be heard.
#pragma once

#include <cstdint>

struct SndDev;

// A loopback device rendering 16-bit stereo at rate frames per second; with
// effects 0 it reports no EFX, as a machine without it would.
SndDev* sound_dev_open_loopback(uint32_t rate, int effects);

// Mixes frames stereo frames into out (2 * frames samples); loopback only.
int sound_dev_render(SndDev* dev, int16_t* out, uint32_t frames);
