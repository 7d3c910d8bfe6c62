// The RIFF WAVE reader: the chunk walk and the "fmt " checks (see wave.h).
#include "sound/wave.h"

#include <cstring>

#include "plat/byte_order.h"

namespace {

bool is_id(const uint8_t* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

int refuse(const char** why, const char* reason)
{
    if (why) *why = reason;
    return 0;
}

int read_fmt(std::span<const uint8_t> body, WaveFile* out, const char** why)
{
    if (body.size() < WAVE_FMT_MIN) return refuse(why, "a \"fmt \" chunk shorter than 16 bytes");
    const uint8_t* p = body.data();
    out->tag = plat_le_get16(p);
    out->channels = plat_le_get16(p + 2);
    out->rate = plat_le_get32(p + 4);
    out->bytes_per_second = plat_le_get32(p + 8);
    out->block_align = plat_le_get16(p + 12);
    out->bits = plat_le_get16(p + 14);
    out->extra.clear();
    if (out->tag == WAVE_TAG_PCM) return 1;
    // The extra bytes must lie inside the chunk that announces them.
    const char* past = "extra format bytes past the end of the \"fmt \" chunk";
    if (body.size() < WAVE_FMT_MIN + 2) return refuse(why, past);
    const uint16_t cb = plat_le_get16(p + 16);
    if (body.size() - (WAVE_FMT_MIN + 2) < cb) return refuse(why, past);
    out->extra.assign(p + WAVE_FMT_MIN + 2, p + WAVE_FMT_MIN + 2 + cb);
    return 1;
}

}  // namespace

int wave_parse(std::span<const uint8_t> file, WaveFile* out, const char** why)
{
    if (!out) return 0;
    if (file.size() < 12) return refuse(why, "shorter than a RIFF header");
    const uint8_t* base = file.data();
    if (!is_id(base, "RIFF") || !is_id(base + 8, "WAVE"))
        return refuse(why, "not a RIFF WAVE file");
    const uint64_t riff_end = 8 + uint64_t(plat_le_get32(base + 4));
    if (riff_end > file.size() || riff_end < 12)
        return refuse(why, "a RIFF size that does not fit the file");

    bool have_fmt = false, have_data = false;
    uint64_t at = 12;
    while (at + 8 <= riff_end && !(have_fmt && have_data)) {
        const uint8_t* head = base + at;
        const uint64_t size = plat_le_get32(head + 4);
        const uint64_t body = at + 8;
        if (size > riff_end - body)
            return refuse(why, "a chunk runs past the end of the RIFF chunk");
        if (!have_fmt && is_id(head, "fmt ")) {
            if (!read_fmt(file.subspan(size_t(body), size_t(size)), out, why)) return 0;
            have_fmt = true;
        } else if (!have_data && is_id(head, "data")) {
            if (size == 0) return refuse(why, "an empty \"data\" chunk");
            out->data_offset = uint32_t(body);
            out->data_size = uint32_t(size);
            have_data = true;
        }
        at = body + size + (size & 1);
    }
    if (!have_fmt) return refuse(why, "no \"fmt \" chunk");
    if (!have_data) return refuse(why, "no \"data\" chunk");
    return 1;
}
