// Byte layouts of the writer's chunks and its PNG images.
#include "res/chunk.h"
#include "tools/qv_samples.h"
#include "tools/qv_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstring>

namespace {

uint32_t word(const qvw::Bytes& d, size_t off)
{
    uint32_t v;
    std::memcpy(&v, d.data() + off, 4);
    return v;
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
    ASSERT_EQ(bone.size(), 100u);
    EXPECT_EQ(word(bone, 0), 3u);
    EXPECT_EQ(word(bone, 4), 2u);
    EXPECT_EQ(word(bone, 72), 1u);
    EXPECT_EQ(word(bone, 76), 92u);
    EXPECT_EQ(word(bone, 84), 4u);
    EXPECT_EQ(word(bone, 88), 5u);
    EXPECT_STREQ(reinterpret_cast<const char*>(bone.data() + 92), "root");

    qvw::Bytes shit = qvw::shit_chunk("s", {{1.0f, {0, 0, 0}}});
    ASSERT_EQ(shit.size(), 32u);
    EXPECT_EQ(word(shit, 0), 28u);
    EXPECT_EQ(word(shit, 4), 12u);
    EXPECT_EQ(word(shit, 8), 1u);

    qvw::CamrDesc c{"cam", 0, 0, 0, {{1, 2, 3, 4}}};
    qvw::Bytes camr = qvw::camr_chunk(c);
    ASSERT_EQ(camr.size(), 44u);
    EXPECT_EQ(word(camr, 0), 40u);
    EXPECT_EQ(word(camr, 4), 24u);

    qvw::Bytes tex = qvw::tex_chunk("quad.png", {9, 9, 9});
    EXPECT_EQ(word(tex, 0), 12u);
    EXPECT_EQ(word(tex, 4), 24u);
    EXPECT_EQ(word(tex, 8), 3u);

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
    m.corners.push_back(0);
    EXPECT_FALSE(qvw::model_chunk(m, out, &why));
    m = qvw::sample_quad();
    m.corners[0] = 9;
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
    EXPECT_EQ(big[0], 0xFF000000u);
    EXPECT_EQ(big[8], 0xFFFFFFFFu);
    EXPECT_EQ(big[8 * 200 + 8], 0xFF000000u);
}
