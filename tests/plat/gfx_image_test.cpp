// PNG, JPEG and DDS decoding and the texture loaders built on it.
#include <gmock/gmock.h>
#include <png.h>
#include <jpeglib.h>

#include <fstream>
#include <random>

#include "gfx_fixture.h"
#include "hostile_files.h"
#include "plat/byte_order.h"
#include "plat/gfx_image.h"

namespace {
using ::testing::AllOf;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::Ge;
using ::testing::Le;

std::vector<uint8_t> encode_png(int w, int h, png_uint_32 format,
                                const std::vector<uint8_t>& pixels)
{
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = static_cast<png_uint_32>(w);
    img.height = static_cast<png_uint_32>(h);
    img.format = format;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&img, nullptr, &size, 0, pixels.data(), 0, nullptr);
    std::vector<uint8_t> out(size);
    EXPECT_TRUE(png_image_write_to_memory(&img, out.data(), &size, 0, pixels.data(), 0, nullptr));
    out.resize(size);
    return out;
}

// A w x h JPEG of one pixel: `px` holds its components in colour space `in`;
// the file stores them in `stored`.
std::vector<uint8_t> encode_jpeg_as(int w, int h, const std::vector<uint8_t>& px, J_COLOR_SPACE in,
                                    J_COLOR_SPACE stored)
{
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    unsigned char* mem = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = static_cast<int>(px.size());
    c.in_color_space = in;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, stored);
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<uint8_t> row;
    for (int x = 0; x < w; ++x) row.insert(row.end(), px.begin(), px.end());
    while (c.next_scanline < c.image_height) {
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&c, &p, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(mem, mem + size);
    jpeg_destroy_compress(&c);
    std::free(mem);
    return out;
}

std::vector<uint8_t> encode_jpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    return encode_jpeg_as(w, h, {r, g, b}, JCS_RGB, JCS_YCbCr);
}

// A PNG of any colour type and bit depth, interlaced or not, written by
// libpng's full writer from rows in the file's own sample layout.
struct GfxImagePngSpec {
    int w = 0, h = 0, color_type = 0, depth = 8;
    std::vector<png_color> palette;
    std::vector<uint8_t> trns_alpha;  // palette entries' alpha
    bool trns_colour = false;         // a grey or RGB key in trns_key
    png_color_16 trns_key{};
};

void gfx_image_png_put(png_structp png, png_bytep data, size_t n)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + n);
}
void gfx_image_png_flush(png_structp) {}

// No object with a destructor lives in this frame: libpng leaves it by longjmp.
bool write_png(std::vector<uint8_t>* out, const GfxImagePngSpec& s, int interlace, png_bytepp rows)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, out, gfx_image_png_put, gfx_image_png_flush);
    png_set_IHDR(png, info, png_uint_32(s.w), png_uint_32(s.h), s.depth, s.color_type, interlace,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!s.palette.empty()) png_set_PLTE(png, info, s.palette.data(), int(s.palette.size()));
    if (!s.trns_alpha.empty() || s.trns_colour)
        png_set_tRNS(png, info, s.trns_alpha.empty() ? nullptr : s.trns_alpha.data(),
                     int(s.trns_alpha.size()), s.trns_colour ? &s.trns_key : nullptr);
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// One picture in a PNG kind: its file (interlaced or not) and the bytes the
// decoder must give for it, worked out from the samples themselves.
struct GfxImagePngCase {
    std::vector<uint8_t> plain, interlaced, want;
    GfxFormat format;
};

GfxImagePngCase png_case(GfxImagePngSpec s)
{
    const int channels = s.color_type == PNG_COLOR_TYPE_GRAY         ? 1
                         : s.color_type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                         : s.color_type == PNG_COLOR_TYPE_RGB        ? 3
                         : s.color_type == PNG_COLOR_TYPE_RGBA       ? 4
                                                                     : 1;
    const uint32_t top = (1u << s.depth) - 1;
    if (s.color_type == PNG_COLOR_TYPE_PALETTE)
        for (uint32_t i = 0; i <= top; ++i)
            s.palette.push_back({uint8_t(i * 7 + 3), uint8_t(255 - i), uint8_t(i * 13)});
    // Samples spread over the whole range of the depth; the key is pixel 0's.
    auto sample = [&](int x, int y, int c) {
        return ((uint32_t(x) * 37 + uint32_t(y) * 101 + uint32_t(c) * 59) * 2654435761u >> 9) & top;
    };
    auto cut = [&](uint32_t v) {
        return uint8_t(s.depth == 16 ? v >> 8 : s.depth == 8 ? v : v * 255 / top);
    };
    if (s.trns_colour) {
        s.trns_key.gray = s.trns_key.red = png_uint_16(sample(0, 0, 0));
        s.trns_key.green = png_uint_16(sample(0, 0, 1));
        s.trns_key.blue = png_uint_16(sample(0, 0, 2));
    }
    std::vector<std::vector<uint8_t>> rows(size_t(s.h));
    GfxImagePngCase out{};
    const bool colour = s.color_type & PNG_COLOR_MASK_COLOR;
    const bool alpha = (s.color_type & PNG_COLOR_MASK_ALPHA) || s.trns_colour;
    out.format = s.color_type == PNG_COLOR_TYPE_PALETTE ? GFX_FMT_A8R8G8B8
                 : colour ? (alpha ? GFX_FMT_A8R8G8B8 : GFX_FMT_X8R8G8B8)
                          : (alpha ? GFX_FMT_A8L8 : GFX_FMT_L8);
    for (int y = 0; y < s.h; ++y) {
        std::vector<uint8_t>& row = rows[size_t(y)];
        row.assign((size_t(s.w) * channels * s.depth + 7) / 8, 0);
        for (int x = 0; x < s.w; ++x) {
            uint32_t v[4] = {};
            for (int c = 0; c < channels; ++c) {
                v[c] = sample(x, y, c);
                const size_t bit = (size_t(x) * channels + c) * s.depth;
                if (s.depth == 16) {
                    row[bit / 8] = uint8_t(v[c] >> 8), row[bit / 8 + 1] = uint8_t(v[c]);
                } else {
                    row[bit / 8] |= uint8_t(v[c] << (8 - s.depth - bit % 8));
                }
            }
            const bool keyed = s.trns_colour && v[0] == s.trns_key.red &&
                               (!colour || (v[1] == s.trns_key.green && v[2] == s.trns_key.blue));
            if (s.color_type == PNG_COLOR_TYPE_PALETTE) {
                const png_color& e = s.palette[v[0]];
                const uint8_t a = v[0] < s.trns_alpha.size() ? s.trns_alpha[v[0]] : 255;
                out.want.insert(out.want.end(), {e.blue, e.green, e.red, a});
            } else if (colour) {
                const uint8_t a = s.color_type == PNG_COLOR_TYPE_RGBA ? cut(v[3]) : keyed ? 0 : 255;
                out.want.insert(out.want.end(), {cut(v[2]), cut(v[1]), cut(v[0]), a});
            } else {
                out.want.push_back(cut(v[0]));
                if (alpha) out.want.push_back(s.trns_colour ? (keyed ? 0 : 255) : cut(v[1]));
            }
        }
    }
    std::vector<png_bytep> pointers;
    for (auto& r : rows) pointers.push_back(r.data());
    EXPECT_TRUE(write_png(&out.plain, s, PNG_INTERLACE_NONE, pointers.data()));
    EXPECT_TRUE(write_png(&out.interlaced, s, PNG_INTERLACE_ADAM7, pointers.data()));
    return out;
}

void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) { plat_le_put32(&v[at], x); }

constexpr uint32_t GFX_IMAGE_DXT1 = 0x31545844u;  // "DXT1"

// A w x h A8L8 DDS file, or an 8 x 8 DXT1 one with its full chain; the data bytes count up.
std::vector<uint8_t> make_dds(int w, int h, bool dxt1 = false)
{
    const size_t data = dxt1 ? 56 : static_cast<size_t>(w) * h * 2;
    std::vector<uint8_t> f(128 + data, 0);
    std::memcpy(f.data(), "DDS ", 4);
    // Words from offset 4 (size, flags, height, width, pitch, depth, mips), then
    // from 76 the pixel format (size, flags, fourcc, bits, r g b a masks) and caps.
    const uint32_t head[] = {
        124, dxt1 ? 0x21007u : 0x1007u, uint32_t(h), uint32_t(w), 0, 0, dxt1 ? 4u : 1u};
    const uint32_t pf[] = {32,
                           dxt1 ? 4u : 0x20001u,
                           dxt1 ? GFX_IMAGE_DXT1 : 0,
                           dxt1 ? 0u : 16u,
                           dxt1 ? 0u : 0xFFu,
                           0,
                           0,
                           dxt1 ? 0u : 0xFF00u,
                           0x1000};
    std::memcpy(&f[4], head, sizeof head);
    std::memcpy(&f[76], pf, sizeof pf);
    for (size_t i = 0; i < data; ++i) f[128 + i] = static_cast<uint8_t>(i * 7 + 1);
    return f;
}

// Truncations and seeded corruptions: never a crash, never sizes the data cannot hold. Every
// cut is refused (no grey-filled or half-decoded picture) but one in the last `may_lack` bytes.
void hostile_family(const std::vector<uint8_t>& good, size_t may_lack = 0)
{
    GfxImage img;
    GfxImageError err;
    for (size_t n = 0; n < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        const int decoded = gfx_image_decode(cut.data(), cut.size(), &img, &err);
        if (n + may_lack < good.size()) {
            EXPECT_EQ(decoded, 0) << n;
        }
    }
    std::mt19937 rng(1234);
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> bad = good;
        for (int k = 0; k < 1 + i % 4; ++k) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        if (gfx_image_decode(bad.data(), bad.size(), &img, &err)) {
            EXPECT_THAT(img.width, AllOf(Ge(1), Le(GFX_IMAGE_MAX_SIZE)));
            ASSERT_GE(img.levels, 1);
            EXPECT_LE(img.level_offset[img.levels - 1] + img.level_size[img.levels - 1],
                      img.data.size());
        }
    }
}

// A managed texture of any format loaded from `f` at the file's size unless told; `filter` for
// the image and its levels.
GfxHr load_mem(const std::vector<uint8_t>& f, GfxTexture** t, int levels = 1, int w = 0, int h = 0,
               uint32_t filter = GFX_IFILTER_NONE, GfxImageInfo* info = nullptr,
               size_t size = SIZE_MAX, uint32_t usage = 0, GfxFormat fmt = GFX_FMT_UNKNOWN)
{
    return gfx_tex_create_from_file_mem(f.data(), std::min(size, f.size()), w, h, levels, usage,
                                        fmt, GFX_POOL_MANAGED, filter, filter, info, t);
}

}  // namespace

TEST(GfxImage, EveryPngKindDecodesToTheSameBytesInterlacedOrNot)
{
    // Colour type, bit depth and transparency: 1 a colour key, 2 alpha for palette entries.
    const int rgba = PNG_COLOR_TYPE_RGBA, rgb = PNG_COLOR_TYPE_RGB, grey = PNG_COLOR_TYPE_GRAY,
              grey_alpha = PNG_COLOR_TYPE_GRAY_ALPHA, palette = PNG_COLOR_TYPE_PALETTE;
    const std::array<int, 3> kinds[] = {
        {rgba, 16, 0},   {rgba, 8, 0},    {rgb, 16, 0},    {rgb, 8, 0},         {rgb, 16, 1},
        {rgb, 8, 1},     {grey, 16, 0},   {grey, 8, 0},    {grey, 4, 0},        {grey, 2, 0},
        {grey, 1, 0},    {grey, 16, 1},   {grey, 8, 1},    {grey_alpha, 16, 0}, {grey_alpha, 8, 0},
        {palette, 8, 2}, {palette, 4, 2}, {palette, 1, 2}, {palette, 8, 0}};
    const uint8_t alphas[] = {0, 40, 80, 120, 200};
    GfxImage img;
    GfxImageError err;
    for (const auto& [type, depth, transparency] : kinds) {
        GfxImagePngSpec spec;
        spec.w = 13;
        spec.h = 11;
        spec.color_type = type;
        spec.depth = depth;
        spec.trns_colour = transparency == 1;
        if (transparency == 2) spec.trns_alpha.assign(alphas, alphas + (depth == 1 ? 2 : 5));
        SCOPED_TRACE(testing::Message() << "type " << type << ", depth " << depth
                                        << ", transparency " << transparency);
        const GfxImagePngCase c = png_case(spec);
        for (const auto* file : {&c.plain, &c.interlaced}) {
            SCOPED_TRACE(file == &c.plain ? "plain" : "interlaced");
            ASSERT_EQ(gfx_image_decode(file->data(), file->size(), &img, &err), 1);
            EXPECT_EQ(std::tuple(img.format, img.width, img.height), std::tuple(c.format, 13, 11));
            EXPECT_EQ(img.data, c.want);
        }
    }
}

// A colour JPEG gains an opaque fourth byte; a four-channel one is refused, never misread.
TEST(GfxImage, ColourJpegsDecodeAndFourChannelOnesAreUnsupported)
{
    GfxImage img;
    GfxImageError err = GFX_IMG_OK;
    const auto rgb = encode_jpeg(16, 8, 200, 100, 50);
    ASSERT_EQ(gfx_image_decode(rgb.data(), rgb.size(), &img, &err), 1);
    EXPECT_EQ(std::tuple(img.format, img.width), std::tuple(GFX_FMT_X8R8G8B8, 16));
    EXPECT_THAT(std::vector<double>(img.data.begin(), img.data.begin() + 4),
                ElementsAre(DoubleNear(50, 3), DoubleNear(100, 3), DoubleNear(200, 3), 255));
    for (bool ycck : {false, true}) {
        const auto jpg =
            encode_jpeg_as(16, 8, {0x40, 0x40, 0x40, 0x40}, JCS_CMYK, ycck ? JCS_YCCK : JCS_CMYK);
        EXPECT_EQ((std::pair{gfx_image_decode(jpg.data(), jpg.size(), &img, &err), err}),
                  std::pair(0, GFX_IMG_UNSUPPORTED))
            << (ycck ? "YCCK" : "CMYK");
    }
}

TEST(GfxImage, DdsHeadersAreCheckedAgainstTheData)
{
    GfxImage img;
    GfxImageError err = GFX_IMG_OK;
    auto good = make_dds(5, 3);
    ASSERT_EQ(gfx_image_decode(good.data(), good.size(), &img, &err), 1);
    // The width is not a power of two: kept.
    EXPECT_EQ(std::tuple(img.format, img.width, img.level_size[0]),
              std::tuple(GFX_FMT_A8L8, 5, 30u));
    EXPECT_EQ(std::memcmp(img.data.data(), good.data() + 128, 30), 0);
    // DXT1 8x8 with its full chain: 32 + 8 + 8 + 8 bytes.
    auto dxt = make_dds(8, 8, true);
    ASSERT_EQ(gfx_image_decode(dxt.data(), dxt.size(), &img, &err), 1);
    EXPECT_EQ(std::tuple(img.format, img.levels, img.level_offset[3]),
              std::tuple(GFX_FMT_DXT1, 4, 48u));
    // Each row patches up to two header words of a good file (offset 0: none)
    // or cuts it to `size` bytes.
    struct Bad {
        const char* what;
        const std::vector<uint8_t>& base;
        size_t at1;
        uint32_t v1;
        size_t at2;
        uint32_t v2;
        size_t size;
        GfxImageError why;
    } bad[] = {
        {"short header", good, 0, 0, 0, 0, 100, GFX_IMG_TRUNCATED},
        {"data one byte short", good, 0, 0, 0, 0, good.size() - 1, GFX_IMG_TRUNCATED},
        {"header size", good, 4, 123, 0, 0, good.size(), GFX_IMG_BAD_HEADER},
        {"pixel format size", good, 76, 31, 0, 0, good.size(), GFX_IMG_BAD_HEADER},
        {"zero width", good, 16, 0, 0, 0, good.size(), GFX_IMG_BAD_HEADER},
        {"huge height", good, 12, 0x7FFFFFFF, 0, 0, good.size(), GFX_IMG_BAD_HEADER},
        {"large but short", good, 16, 16384, 12, 16384, good.size(), GFX_IMG_TRUNCATED},
        {"mip count beyond the chain", dxt, 28, 40, 0, 0, dxt.size(), GFX_IMG_BAD_HEADER},
        {"mip count of a 8x8", dxt, 28, 5, 0, 0, dxt.size(), GFX_IMG_BAD_HEADER},
        {"padded pitch", good, 8, 0x100F, 20, 12, good.size(), GFX_IMG_UNSUPPORTED},
        {"cube map", good, 112, 0x200, 0, 0, good.size(), GFX_IMG_UNSUPPORTED},
        {"DX10 header", dxt, 84, 0x30315844u, 0, 0, dxt.size(), GFX_IMG_UNSUPPORTED},
    };
    for (const auto& b : bad) {
        std::vector<uint8_t> v(b.base.begin(), b.base.begin() + static_cast<long>(b.size));
        if (b.at1) put32(v, b.at1, b.v1);
        if (b.at2) put32(v, b.at2, b.v2);
        err = GFX_IMG_OK;  // the pair reads it after the call
        EXPECT_EQ((std::pair{gfx_image_decode(v.data(), v.size(), &img, &err), err}),
                  std::pair(0, b.why))
            << b.what;
    }
    EXPECT_EQ((std::pair{gfx_image_decode(good.data(), 3, &img, &err), err}),
              std::pair(0, GFX_IMG_UNKNOWN_KIND));
}

TEST(GfxImage, TruncatedAndHostileFilesAreRefusedCleanly)
{
    std::vector<uint8_t> px(16 * 16 * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i ^ (i >> 3));
    // The closing 12-byte end chunk follows the whole picture.
    hostile_family(encode_png(16, 16, PNG_FORMAT_BGRA, px), 12);
    hostile_family(encode_jpeg(24, 16, 10, 200, 30));
    hostile_family(make_dds(7, 5));
    hostile_family(make_dds(8, 8, true));
    GfxImage img;
    GfxImageError err;
    EXPECT_EQ(gfx_image_decode(nullptr, 10, &img, &err), 0);
}

TEST(GfxImage, PicturesBeyondTheLargestTextureOrTheCeilingAreRefusedBeforeDecoding)
{
    GfxImage img;
    GfxImageError err = GFX_IMG_OK;
    // 16384 x 16384 pixels is a side the device may take but 1 GB decoded; the
    // data behind the header would not decode, so only the header refuses it.
    const auto huge = huge_png(16384, 16384);
    EXPECT_EQ((std::pair{gfx_image_decode(huge.data(), huge.size(), &img, &err, 16384), err}),
              std::pair(0, GFX_IMG_TOO_LARGE));
    // A side beyond the device's largest texture, in every kind; a refusal keeps nothing of the
    // picture decoded before it.
    const auto png = encode_png(16, 8, PNG_FORMAT_BGRA, std::vector<uint8_t>(16 * 8 * 4, 9));
    const auto jpg = encode_jpeg(16, 8, 1, 2, 3);
    const auto dds = make_dds(16, 8);
    for (const auto* f : {&png, &dds, &jpg}) {
        EXPECT_EQ((std::pair{gfx_image_decode(f->data(), f->size(), &img, &err, 15), err}),
                  std::pair(0, GFX_IMG_TOO_LARGE));
        EXPECT_EQ(std::tuple(img.width, img.data.size()), std::tuple(0, size_t(0)));
        EXPECT_EQ(gfx_image_decode(f->data(), f->size(), &img, &err, 16), 1);
    }
    // Under the ceiling decoded (134 MB), but 512 MB once rounded up to powers of
    // two: the loader refuses that size, while its own size or a smaller image pass.
    int w = 0, h = 0;
    EXPECT_EQ(gfx_tex_load_size(8193, 4097, 0, 0, GFX_FMT_A8R8G8B8, &w, &h), 0);
    EXPECT_EQ(gfx_tex_load_size(8193, 4097, GFX_SIZE_DEFAULT_NONPOW2, GFX_SIZE_DEFAULT_NONPOW2,
                                GFX_FMT_A8R8G8B8, &w, &h),
              1);
    EXPECT_EQ((std::tuple{gfx_tex_load_size(5000, 3, 0, 0, GFX_FMT_A8R8G8B8, &w, &h), w, h}),
              std::tuple(1, 8192, 4));
}

TEST_F(GfxTest, LoadersSizeTexturesAndMakeTheirLevelsAsTheLibraryDefaultDoes)
{
    std::vector<uint8_t> rgba(3 * 5 * 4, 0xFF);
    auto png = encode_png(3, 5, PNG_FORMAT_BGRA, rgba);
    GfxImageInfo info{};
    GfxTexture* t = nullptr;
    ASSERT_EQ(load_mem(png, &t, 1, GFX_SIZE_DEFAULT, GFX_SIZE_DEFAULT, GFX_IFILTER_NONE, &info),
              GFX_OK);
    GfxSurfaceDesc d{};
    gfx_tex_get_level_desc(t, 0, &d);
    EXPECT_EQ(std::tuple(d.width, d.height, info.width, info.height, info.file_format),
              std::tuple(4, 8, 3, 5, GFX_FILE_PNG));
    // Filter NONE: the image sits at the top left, the rest transparent black.
    GfxLockedRect lr{};
    ASSERT_EQ(gfx_tex_lock(t, 0, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(std::pair(texel32(lr, 2, 4), texel32(lr, 3, 5)), std::pair(GFX_FIXTURE_WHITE, 0u));
    gfx_tex_unlock(t, 0);
    gfx_tex_release(t);
    // Full chain, own size.
    ASSERT_EQ(load_mem(png, &t, 0, GFX_SIZE_DEFAULT_NONPOW2, GFX_SIZE_DEFAULT_NONPOW2,
                       GFX_IFILTER_LINEAR),
              GFX_OK);
    gfx_tex_get_level_desc(t, 2, &d);
    EXPECT_EQ(std::pair(gfx_tex_level_count(t), d.width), std::pair(3, 1));  // 3x5, 1x2, 1x1
    gfx_tex_release(t);
    // Generated levels are box filtered: a 4 x 4 grey ramp ends in its mean.
    std::vector<uint8_t> ramp(16);
    for (int i = 0; i < 16; ++i) ramp[i] = static_cast<uint8_t>(i * 16);
    auto grey = encode_png(4, 4, PNG_FORMAT_GRAY, ramp);
    ASSERT_EQ(load_mem(grey, &t, 0), GFX_OK);
    ASSERT_EQ(gfx_tex_level_count(t), 3);
    ASSERT_EQ(gfx_tex_lock(t, 2, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_NEAR(static_cast<uint8_t*>(lr.bits)[0], 120, 1);
    gfx_tex_unlock(t, 2);
    gfx_tex_release(t);
    // Bad data and missing files: a clear error and no texture.
    t = reinterpret_cast<GfxTexture*>(1);
    EXPECT_EQ(load_mem(png, &t, 1, 0, 0, GFX_IFILTER_NONE, nullptr, png.size() / 2), GFX_E_BADDATA);
    EXPECT_EQ(t, nullptr);
    EXPECT_EQ(gfx_tex_create_from_file("/nonexistent/x.png", 0, 0, 1, 0, GFX_FMT_UNKNOWN,
                                       GFX_POOL_MANAGED, GFX_IFILTER_NONE, GFX_IFILTER_NONE,
                                       nullptr, &t),
              GFX_E_NOTAVAILABLE);
    // A texture whose levels the device makes gets them from the loaded picture too.
    std::vector<uint8_t> px(8 * 8 * 4);
    for (size_t i = 0; i < px.size(); i += 4)
        px[i] = 0x20, px[i + 1] = 0x40, px[i + 2] = 0x60, px[i + 3] = 0xFF;
    const auto tinted = encode_png(8, 8, PNG_FORMAT_BGRA, px);
    ASSERT_EQ(load_mem(tinted, &t, 1, 0, 0, GFX_IFILTER_NONE, nullptr, SIZE_MAX,
                       GFX_USAGE_AUTOGENMIPMAP, GFX_FMT_A8R8G8B8),
              GFX_OK);
    ASSERT_EQ(gfx_tex_level_count(t), 4);
    ASSERT_EQ(gfx_tex_lock(t, 3, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(texel32(lr, 0, 0), 0xFF604020u);
    gfx_tex_unlock(t, 3);
    gfx_tex_release(t);
}

namespace {

// This process's resident size now and at its peak since the last reset, in bytes.
int64_t status_bytes(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atoll(line.c_str() + std::strlen(field)) * 1024;
    return -1;
}
bool reset_peak() { return bool(std::ofstream("/proc/self/clear_refs") << "5" << std::flush); }

}  // namespace

TEST_F(GfxTest, TheLoadersAnswerTheBytesTheirTexturesHoldFromTheHeader)
{
    std::vector<uint8_t> px(3 * 5 * 4, 0x7F);
    const auto png = encode_png(3, 5, PNG_FORMAT_BGRA, px);
    const auto jpg = encode_jpeg(16, 8, 1, 2, 3);
    const auto dds = make_dds(8, 8, true);
    const struct {
        const char* what;
        const std::vector<uint8_t>& file;
        int w, h, levels;
        uint64_t bytes;
    } rows[] = {
        {"PNG with its chain", png, GFX_SIZE_DEFAULT, GFX_SIZE_DEFAULT, 0, (32 + 8 + 2 + 1) * 4},
        {"PNG at its own size", png, GFX_SIZE_DEFAULT_NONPOW2, GFX_SIZE_DEFAULT_NONPOW2, 1, 60},
        {"JPEG", jpg, GFX_SIZE_DEFAULT, GFX_SIZE_DEFAULT, 1, 16 * 8 * 4},
        {"DXT1 levels of the file", dds, GFX_SIZE_DEFAULT, GFX_SIZE_DEFAULT, 0, 56},
    };
    for (const auto& r : rows) {
        uint64_t bytes = 1;
        ASSERT_EQ(gfx_tex_file_mem_bytes(r.file.data(), r.file.size(), r.w, r.h, r.levels,
                                         GFX_FMT_UNKNOWN, &bytes),
                  GFX_OK)
            << r.what;
        EXPECT_EQ(bytes, r.bytes) << r.what;
        GfxTexture* t = nullptr;
        ASSERT_EQ(load_mem(r.file, &t, r.levels, r.w, r.h), GFX_OK) << r.what;
        uint64_t made = 0;
        GfxSurfaceDesc d{};
        for (int l = 0; l < gfx_tex_level_count(t); ++l) {
            gfx_tex_get_level_desc(t, l, &d);
            made += gfx_format_level_size(d.format, d.width, d.height);
        }
        EXPECT_EQ(made, r.bytes) << r.what;
        gfx_tex_release(t);
    }
    // A header the loader refuses is refused here too, with nothing counted.
    const auto huge = huge_png(16384, 16384);
    uint64_t bytes = 1;
    EXPECT_EQ(gfx_tex_file_mem_bytes(huge.data(), huge.size(), 0, 0, 1, GFX_FMT_UNKNOWN, &bytes),
              GFX_E_BADDATA);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(gfx_tex_file_mem_bytes(png.data(), png.size(), 0, 0, 1, GFX_FMT_DXT1, &bytes),
              GFX_E_INVALIDCALL);
}

TEST_F(GfxTest, LoadedTexturesLockTheirRowsFromTheDevice)
{
    // An 8 x 8 picture whose every texel differs, and a DXT1 file.
    std::vector<uint8_t> px(8 * 8 * 4);
    for (size_t i = 0; i < px.size(); ++i) px[i] = static_cast<uint8_t>(i * 5 + 1);
    const auto png = encode_png(8, 8, PNG_FORMAT_BGRA, px);
    GfxTexture* t = nullptr;
    ASSERT_EQ(load_mem(png, &t), GFX_OK);
    GfxLockedRect lr{};
    const GfxRect r{2, 3, 5, 6};
    ASSERT_EQ(gfx_tex_lock(t, 0, &r, &lr, 0), GFX_OK);
    EXPECT_EQ(lr.pitch, 32);
    auto texel = [&](int x, int y) {
        uint32_t v;
        std::memcpy(&v, &px[size_t(y * 8 + x) * 4], 4);
        return v;
    };
    EXPECT_EQ(texel32(lr, 0, 0), texel(2, 3));
    EXPECT_EQ(texel32(lr, 2, 2), texel(4, 5));
    const uint32_t red = GFX_FIXTURE_RED;
    std::memcpy(static_cast<uint8_t*>(lr.bits) + lr.pitch, &red, 4);  // (2, 4)
    ASSERT_EQ(gfx_tex_unlock(t, 0), GFX_OK);
    // The write reached the device and nothing beside it changed.
    ASSERT_EQ(gfx_tex_lock(t, 0, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(texel32(lr, x, y), x == 2 && y == 4 ? red : texel(x, y)) << x << "," << y;
    gfx_tex_unlock(t, 0);
    uint8_t bgra[9 + 8] = {};
    GfxSurface* s = gfx_tex_get_surface(t, 0);
    const GfxRect cell{1, 4, 3, 6};
    ASSERT_EQ(gfx_surface_read_bgra(s, &cell, bgra, 9), GFX_OK);  // rows 9 bytes apart
    EXPECT_EQ(std::memcmp(&bgra[0], &px[size_t(4 * 8 + 1) * 4], 4), 0);
    EXPECT_EQ(std::memcmp(&bgra[4], &red, 4), 0);
    EXPECT_EQ(std::memcmp(&bgra[9], &px[size_t(5 * 8 + 1) * 4], 8), 0);
    gfx_surface_release(s);
    gfx_tex_release(t);
    // DXT1: a row of blocks comes back as the file holds it.
    const auto dds = make_dds(8, 8, true);
    ASSERT_EQ(load_mem(dds, &t, 0), GFX_OK);
    const GfxRect blocks{4, 4, 8, 8};
    ASSERT_EQ(gfx_tex_lock(t, 0, &blocks, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(std::memcmp(lr.bits, dds.data() + 128 + 16 + 8, 8), 0);
    gfx_tex_unlock(t, 0);
    ASSERT_EQ(gfx_tex_lock(t, 2, nullptr, &lr, GFX_LOCK_READONLY), GFX_OK);
    EXPECT_EQ(std::memcmp(lr.bits, dds.data() + 128 + 40, 8), 0);
    gfx_tex_unlock(t, 2);
    gfx_tex_release(t);
}

// Resident memory is the measure here, not time: a sanitizer's quarantine
// keeps freed blocks resident, so only the plain build measures.
TEST_F(GfxTest, ALoadPeaksAtAboutTwiceItsTextureAndHoldsItOnce)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "freed memory stays resident under the address sanitizer";
#endif
    if (!reset_peak()) GTEST_SKIP() << "no resettable peak of resident memory";
    // Rounded up to 4096 x 4096 (a resampled copy), and one taken as it is.
    for (auto [w, h, bytes] :
         {std::tuple{4000, 4000, 4096 * 4096 * 4}, std::tuple{4096, 2048, 4096 * 2048 * 4}}) {
        const auto png = flat_large_png(w, h);
        ASSERT_TRUE(reset_peak());
        const int64_t before = status_bytes("VmRSS:");
        GfxTexture* t = nullptr;
        ASSERT_EQ(load_mem(png, &t, 1, 0, 0, GFX_IFILTER_LINEAR), GFX_OK);
        const int64_t peak = status_bytes("VmHWM:") - before;
        const int64_t held = status_bytes("VmRSS:") - before;
        EXPECT_LE(peak, int64_t(bytes) * 9 / 4) << w << " x " << h << ": " << bytes << " bytes";
        EXPECT_LE(held, int64_t(bytes) * 5 / 4) << w << " x " << h << ": " << bytes << " bytes";
        gfx_tex_release(t);
    }
}
