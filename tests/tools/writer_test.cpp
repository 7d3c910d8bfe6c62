// Byte layouts of the writer's chunks and its PNG images.
#include "res/chunk.h"
#include "tools/qv_samples.h"
#include "tools/qv_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <array>
#include <cstring>

namespace {

// The 32-bit words at the given offsets, 0 past the end.
std::vector<uint32_t> words(const qvw::Bytes& d, std::initializer_list<size_t> offsets)
{
    std::vector<uint32_t> out;
    for (size_t off : offsets) {
        uint32_t v = 0;
        if (off + 4 <= d.size()) std::memcpy(&v, d.data() + off, 4);
        out.push_back(v);
    }
    return out;
}

// Texels as little-endian words 0xAARRGGBB; empty unless the size is w x h.
std::vector<uint32_t> decode_bgra(const qvw::Bytes& png, uint32_t w, uint32_t h)
{
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&img, png.data(), png.size())) return {};
    if (img.width != w || img.height != h) return {};
    img.format = PNG_FORMAT_BGRA;
    std::vector<uint32_t> out(size_t(w) * h);
    if (!png_image_finish_read(&img, nullptr, out.data(), 0, nullptr)) return {};
    return out;
}

}  // namespace

TEST(Writer, MinimalChunkLayouts)
{
    // One bone node: push, matrix token, node token, pop, end token, the name.
    qvw::Bytes bone = qvw::bone_chunk({{"root", qvw::mat_identity(), {}}});
    EXPECT_EQ(words(bone, {0, 4, 72, 76, 84, 88}), (std::vector<uint32_t>{3, 2, 1, 92, 4, 5}));
    EXPECT_STREQ(reinterpret_cast<const char*>(bone.data() + 92), "root");
    const qvw::Bytes shit = qvw::shit_chunk("s", {{1.0f, {0, 0, 0}}});
    EXPECT_EQ(words(shit, {0, 4, 8}), (std::vector<uint32_t>{28, 12, 1}));
    const qvw::Bytes camr = qvw::camr_chunk({"cam", 0, 0, 0, {{1, 2, 3, 4}}});
    EXPECT_EQ(words(camr, {0, 4}), (std::vector<uint32_t>{40, 24}));
    const qvw::Bytes tex = qvw::tex_chunk("quad.png", {9, 9, 9});
    EXPECT_EQ(words(tex, {0, 4, 8}), (std::vector<uint32_t>{12, 24, 3}));
    EXPECT_EQ((std::array{bone.size(), shit.size(), camr.size()}),
              (std::array<size_t, 3>{100, 32, 44}));
    qvw::Bytes file;
    qvw::file_add_chunk(file, qvw::MAGIC_COLL, {});
    const uint8_t head[12] = {'C', 'O', 'L', 'L', 0, 0, 0, 1, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(file.data(), head, 12), 0);
}

TEST(Writer, ModelRefusesWhatTheFormatCannotHold)
{
    qvw::ModelDesc m = qvw::sample_quad();
    std::string why;
    qvw::Bytes out;
    m.subsets[0].last = 2;
    EXPECT_FALSE(qvw::model_chunk(m, out, &why));
    EXPECT_EQ(why, "subset out of range");
    m = qvw::sample_quad();
    m.corners.push_back(0);  // not a whole triangle
    EXPECT_FALSE(qvw::model_chunk(m, out, &why));
    m = qvw::sample_quad();
    m.corners[0] = 9;  // no such vertex
    EXPECT_FALSE(qvw::model_chunk(m, out, &why));
}

TEST(Writer, PngDecodesToTheSameTexels)
{
    const std::vector<uint32_t> px = {0xFF102030, 0x80405060, 0x00000000,
                                      0xFFFFFFFF, 0x12345678, 0xFF00FF00};
    EXPECT_EQ(decode_bgra(qvw::png_encode(3, 2, px), 3, 2), px);
    // A large image spans several stored deflate blocks.
    const std::vector<uint32_t> big =
        decode_bgra(qvw::png_checker(200, 200, 0xFF000000, 0xFFFFFFFF), 200, 200);
    ASSERT_EQ(big.size(), 200u * 200u);
    EXPECT_EQ((std::array{big[0], big[8], big[8 * 200 + 8]}),
              (std::array{0xFF000000u, 0xFFFFFFFFu, 0xFF000000u}));
}
