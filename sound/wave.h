// The RIFF WAVE reader: the "fmt " and "data" chunks of a file held in
// memory, with any extra format bytes of a non-PCM format.
//
// Callers rely on: every size in the file being checked against its parent
// chunk and the file before use (a file that claims more than it holds is
// refused, never read past), the first "fmt " and the first "data" chunk
// counting wherever they lie among other chunks, and the pad byte after an
// odd-sized chunk being skipped. Pure; any thread.
#pragma once
#include <cstdint>
#include <span>
#include <vector>

constexpr uint32_t WAVE_FMT_MIN = 16;  // bytes of the fixed format part
constexpr uint16_t WAVE_TAG_PCM = 1;

struct WaveFile {
    uint16_t tag, channels;
    uint32_t rate, bytes_per_second;
    uint16_t block_align, bits;
    std::vector<uint8_t> extra;  // cbSize bytes after the fixed part (non-PCM only)
    uint32_t data_offset;        // of the samples in the file
    uint32_t data_size;          // bytes of samples, never 0
};

// 1 and the format and sample block's place, or 0 for a file that is not a
// readable WAVE file (out then unspecified; the reason in why, when given).
int wave_parse(std::span<const uint8_t> file, WaveFile* out, const char** why = nullptr);
