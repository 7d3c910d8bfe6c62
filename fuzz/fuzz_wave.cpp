// Fuzzes the WAVE reader: an accepted file's format and samples lie inside it.
#include "sound/wave.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    WaveFile w{};
    if (!wave_parse(std::span<const uint8_t>(data, size), &w)) return 0;
    if (w.data_size == 0 || uint64_t(w.data_offset) + w.data_size > size) __builtin_trap();
    if (w.extra.size() > size) __builtin_trap();
    volatile uint8_t last = data[w.data_offset + w.data_size - 1];  // readable
    (void)last;
    return 0;
}
