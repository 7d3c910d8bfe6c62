// The PNG and A8L8 DDS encoders and the file writer of the data generators (see image_file.h).
#include "tools/gen/image_file.h"

#include <png.h>

#include <cstdio>
#include <cstring>

namespace {

void png_append(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<unsigned char>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void png_no_flush(png_structp) {}

int png_color_type_for(int channels)
{
    switch (channels) {
    case 1: return PNG_COLOR_TYPE_GRAY;
    case 2: return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3: return PNG_COLOR_TYPE_RGB;
    case 4: return PNG_COLOR_TYPE_RGB_ALPHA;
    default: return -1;
    }
}

// libpng reports errors by longjmp back here; nothing in this frame changes
// between setjmp and the jump, and the output lives in the caller.
int encode_png_rows(std::vector<unsigned char>& out, int width, int height, int color_type,
                    int channels, std::span<const unsigned char> pixels)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return 0;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 0;
    }
    png_set_write_fn(png, &out, png_append, png_no_flush);
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, color_type,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = size_t(width) * size_t(channels);
    for (int y = 0; y < height; ++y) png_write_row(png, pixels.data() + size_t(y) * stride);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return 1;
}

void put_u32(std::vector<unsigned char>& out, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::vector<unsigned char> image_encode_png(int width, int height, int channels,
                                            std::span<const unsigned char> pixels)
{
    std::vector<unsigned char> out;
    const int color_type = png_color_type_for(channels);
    if (width <= 0 || height <= 0 || color_type < 0 ||
        pixels.size() != size_t(width) * size_t(height) * size_t(channels))
        return out;
    if (!encode_png_rows(out, width, height, color_type, channels, pixels)) out.clear();
    return out;
}

std::vector<unsigned char> image_encode_dds_a8l8(int width, int height,
                                                 std::span<const unsigned char> alpha)
{
    constexpr size_t header_size = 128;
    std::vector<unsigned char> out;
    if (width <= 0 || height <= 0 || alpha.size() != size_t(width) * size_t(height)) return out;
    out.assign(header_size + alpha.size() * 2, 0);

    std::memcpy(out.data(), "DDS ", 4);
    put_u32(out, 4, 124);                             // header size
    put_u32(out, 8, 0x1 | 0x2 | 0x4 | 0x8 | 0x1000);  // caps, height, width, pitch, pixel format
    put_u32(out, 12, uint32_t(height));
    put_u32(out, 16, uint32_t(width));
    put_u32(out, 20, uint32_t(width) * 2);  // row pitch in bytes
    put_u32(out, 76, 32);                   // pixel format size
    put_u32(out, 80, 0x20000 | 0x1);        // luminance + alpha pixels
    put_u32(out, 88, 16);                   // bits per pixel
    put_u32(out, 92, 0x00FF);               // luminance mask
    put_u32(out, 104, 0xFF00);              // alpha mask
    put_u32(out, 108, 0x1000);              // caps: texture

    for (size_t i = 0; i < alpha.size(); ++i) {
        out[header_size + 2 * i] = 0xFF;
        out[header_size + 2 * i + 1] = alpha[i];
    }
    return out;
}

int image_write_file(const std::string& path, std::span<const unsigned char> bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
    const int closed = std::fclose(f) == 0;
    return written == bytes.size() && closed ? 1 : 0;
}
