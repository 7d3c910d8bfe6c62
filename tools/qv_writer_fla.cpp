// The vector animation ("FLA ") writer: the header, the frame, image, shape,
// sprite and asset tables, and the command streams the frames are made of.
#include "tools/qv_writer.h"

#include <string>
#include <utility>
#include <vector>

namespace qvw {

// Reserves a table of n records of stride bytes and stores its offset in the
// word at word_off; answers the offset, or 0 (no table, word left 0) for n = 0.
static uint32_t put_table(ChunkBuf& b, size_t n, uint32_t stride, uint32_t word_off)
{
    if (n == 0) return 0;
    uint32_t t = b.put_zero(stride * n);
    b.set_u32(word_off, t);
    return t;
}

// A command whose one argument is a u16: op, a zero byte, the argument's
// length, the argument.
static void put_cmd_u16(Bytes& s, uint8_t op, uint16_t arg)
{
    ChunkBuf b;
    b.put_u8(op);
    b.put_u8(0);
    b.put_u16(2);
    b.put_u16(arg);
    s.insert(s.end(), b.data.begin(), b.data.end());
}

void fla_cmd_place(Bytes& s, uint16_t depth, uint16_t char_id)
{
    fla_cmd_place_full(s, depth, char_id, nullptr, nullptr, false);
}
void fla_cmd_remove(Bytes& s, uint16_t depth) { put_cmd_u16(s, 2, depth); }
void fla_cmd_end(Bytes& s) { s.insert(s.end(), {0, 0, 0, 0}); }

void fla_cmd_place_full(Bytes& s, uint16_t depth, int char_id, const float* mat,
                        const uint32_t* colour, bool modify)
{
    const uint8_t flags =
        uint8_t((char_id >= 0 ? 4 : 0) | (mat ? 1 : 0) | (colour ? 2 : 0) | (modify ? 8 : 0));
    ChunkBuf b;
    b.put_u8(1);
    b.put_u8(0);
    b.put_u16(uint16_t(3 + (char_id >= 0 ? 2 : 0) + (mat ? 24 : 0) + (colour ? 4 : 0)));
    b.put_u16(depth);
    b.put_u8(flags);
    if (char_id >= 0) b.put_u16(uint16_t(char_id));
    for (int k = 0; mat && k < 6; k++) b.put_f32(mat[k]);
    if (colour) b.put_u32(*colour);
    s.insert(s.end(), b.data.begin(), b.data.end());
}

void fla_cmd_start_sprite(Bytes& s, uint16_t sprite_index) { put_cmd_u16(s, 4, sprite_index); }

static uint32_t put_stream(ChunkBuf& b, const Bytes& s)
{
    uint32_t off = b.put_bytes(s.data(), s.size());
    b.align4();
    return off;
}

Bytes fla_chunk(const FlaDesc& f)
{
    ChunkBuf b;
    b.put_zero(56);
    for (int k = 0; k < 4; k++) b.set_u32(4 + 4 * k, uint32_t(f.rect[k]));
    b.set_f32(20, f.rate);
    b.set_u16(24, uint16_t(f.frames.size()));
    b.set_u16(26, uint16_t(f.images.size()));
    b.set_u16(28, uint16_t(f.shapes.size()));
    b.set_u16(30, uint16_t(f.sprites.size()));
    b.set_u16(32, uint16_t(f.assets.size()));

    std::vector<std::pair<uint32_t, std::string>> names;
    const uint32_t frames = put_table(b, f.frames.size(), 4, 36);
    for (size_t i = 0; i < f.frames.size(); i++)
        b.set_u32(uint32_t(frames + 4 * i), put_stream(b, f.frames[i]));
    auto put_named_table = [&](const std::vector<FlaImage>& v, uint32_t word_off) {
        uint32_t t = put_table(b, v.size(), 8, word_off);
        for (size_t i = 0; i < v.size(); i++) {
            b.set_u16(uint32_t(t + 8 * i), v[i].id);
            names.emplace_back(uint32_t(t + 8 * i + 4), v[i].name);
        }
    };
    put_named_table(f.images, 40);
    const uint32_t shapes = put_table(b, f.shapes.size(), 24, 44);
    for (size_t i = 0; i < f.shapes.size(); i++) {
        const FlaShape& s = f.shapes[i];
        uint32_t r = uint32_t(shapes + 24 * i);
        b.set_u16(r, s.char_id);
        b.set_u16(r + 2, uint16_t(s.parts.size()));
        for (int k = 0; k < 4; k++) b.set_u32(r + 4 + 4 * k, uint32_t(s.rect[k]));
        uint32_t parts = put_table(b, s.parts.size(), 16, r + 20);
        for (size_t p = 0; p < s.parts.size(); p++) {
            const FlaPart& part = s.parts[p];
            uint32_t pr = uint32_t(parts + 16 * p);
            b.set_u16(pr, part.image_id);
            b.set_u16(pr + 2, uint16_t(part.verts.size()));
            b.set_u16(pr + 4, uint16_t(part.indices.size()));
            b.set_u32(pr + 8, b.size());
            for (const auto& v : part.verts) {
                b.put_f32(v.x);
                b.put_f32(v.y);
                b.put_f32(v.u);
                b.put_f32(v.v);
                b.put_u32(v.color);
            }
            b.set_u32(pr + 12, b.size());
            for (uint16_t i : part.indices) b.put_u16(i);
            b.align4();
        }
    }
    const uint32_t sprites = put_table(b, f.sprites.size(), 8, 48);
    for (size_t i = 0; i < f.sprites.size(); i++) {
        const FlaSprite& s = f.sprites[i];
        uint32_t r = uint32_t(sprites + 8 * i);
        b.set_u16(r, s.id);
        b.set_u16(r + 2, uint16_t(s.frames.size()));
        uint32_t arr = put_table(b, s.frames.size(), 4, r + 4);
        for (size_t k = 0; k < s.frames.size(); k++)
            b.set_u32(uint32_t(arr + 4 * k), put_stream(b, s.frames[k]));
    }
    put_named_table(f.assets, 52);
    b.set_u32(0, b.put_name(f.name));
    for (const auto& [slot, name] : names) b.set_u32(slot, b.put_name(name));
    return b.data;
}

}  // namespace qvw
