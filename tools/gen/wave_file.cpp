// RIFF WAVE files made in memory: any format header, a sine tone, the data set's bgm01, and the
// file writer (see wave_file.h).
#include "tools/gen/wave_file.h"

#include <algorithm>
#include <cmath>
#include <fstream>

#include "math/vm_const.h"
#include "plat/byte_order.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t word[2];
    plat_le_put16(word, uint16_t(v));
    out.insert(out.end(), word, word + 2);
}

void put32(std::vector<uint8_t>& out, uint32_t v)
{
    uint8_t word[4];
    plat_le_put32(word, v);
    out.insert(out.end(), word, word + 4);
}

void put_id(std::vector<uint8_t>& out, const char* id)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(id[i]));
}

}  // namespace

std::vector<uint8_t> wave_bytes(const WaveSpec& spec, std::span<const uint8_t> samples)
{
    std::vector<uint8_t> out;
    put_id(out, "RIFF");
    put32(out, 0);  // filled at the end
    put_id(out, "WAVE");
    const bool pcm = spec.tag == 1;
    put_id(out, "fmt ");
    put32(out, pcm ? 16 : uint32_t(18 + spec.extra.size()));
    const uint16_t block = uint16_t(spec.channels * (spec.bits / 8));
    put16(out, spec.tag);
    put16(out, spec.channels);
    put32(out, spec.rate);
    put32(out, spec.rate * block);
    put16(out, block);
    put16(out, spec.bits);
    if (!pcm) {
        put16(out, uint32_t(spec.extra.size()));
        out.insert(out.end(), spec.extra.begin(), spec.extra.end());
    }
    if (spec.list_chunk) {
        put_id(out, "LIST");
        put32(out, 5);
        out.insert(out.end(), {'I', 'N', 'F', 'O', 'x', 0});
    }
    put_id(out, "data");
    put32(out, uint32_t(samples.size()));
    out.insert(out.end(), samples.begin(), samples.end());
    if (samples.size() & 1) out.push_back(0);
    const uint32_t riff = uint32_t(out.size() - 8);
    for (int i = 0; i < 4; ++i) out[4 + size_t(i)] = uint8_t(riff >> (8 * i));
    return out;
}

std::vector<uint8_t> wave_tone(uint32_t rate, uint32_t frames, float hz, float peak)
{
    std::vector<uint8_t> out;
    out.reserve(size_t(frames) * 2);
    const float fade = float(rate) * 0.01f;
    for (uint32_t i = 0; i < frames; ++i) {
        const float edge = std::min({1.0f, float(i) / fade, float(frames - 1 - i) / fade});
        const float v = peak * edge * std::sin(VM_TWO_PI * hz * float(i) / float(rate));
        put16(out, uint16_t(int16_t(std::lround(v))));
    }
    return out;
}

std::vector<uint8_t> wave_bgm01(void)
{
    const std::vector<uint8_t> tone = wave_tone(44100, 44100, 440.0f, 3000.0f);
    return wave_bytes(WaveSpec{}, tone);
}

bool wave_write_file(const std::string& path, std::span<const uint8_t> bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}
