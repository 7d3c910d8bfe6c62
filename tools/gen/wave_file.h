// RIFF WAVE files: the data build's sound file and the fixtures of the sound
// tests, benchmark and fuzz seeds.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct WaveSpec {
    uint16_t tag = 1;  // 1 PCM; any other tag writes cbSize and the extra bytes
    uint16_t channels = 1;
    uint32_t rate = 44100;
    uint16_t bits = 16;
    std::vector<uint8_t> extra;
    bool list_chunk = false;  // an odd-sized LIST chunk (with its pad byte) before "data"
};

// A whole file around the given sample bytes.
std::vector<uint8_t> wave_bytes(const WaveSpec& spec, std::span<const uint8_t> samples);
// A sine of the given frequency and peak (0..32767) as 16-bit mono samples,
// faded in and out over 10 ms so that a start or stop never clicks.
std::vector<uint8_t> wave_tone(uint32_t rate, uint32_t frames, float hz, float peak);
// The data set's bgm01.wav: one second of a soft 440 Hz tone, mono, 16-bit.
std::vector<uint8_t> wave_bgm01(void);
bool wave_write_file(const std::string& path, std::span<const uint8_t> bytes);
