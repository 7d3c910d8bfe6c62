// PNG images for the data set: an encoder of RGBA texels in stored deflate
// blocks, a checker pattern made with it, and a size reader that answers only
// once the whole file is known to be a sound PNG.
#include "tools/qv_writer.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "plat/byte_order.h"

namespace qvw {

static uint32_t crc32_of(const uint8_t* p, size_t n, uint32_t crc = 0)
{
    crc = ~crc;
    for (size_t i = 0; i < n; i++) {
        crc ^= p[i];
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static void put_be32(Bytes& b, uint32_t v)
{
    uint8_t word[4];
    plat_be_put32(word, v);
    b.insert(b.end(), word, word + 4);
}

static const uint8_t QV_WRITER_PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

static void png_chunk(Bytes& out, const char* type, const Bytes& body)
{
    put_be32(out, uint32_t(body.size()));
    size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), body.begin(), body.end());
    put_be32(out, crc32_of(out.data() + start, out.size() - start));
}

Bytes png_encode(int width, int height, const std::vector<uint32_t>& argb)
{
    Bytes raw;
    for (int y = 0; y < height; y++) {
        raw.push_back(0);
        for (int x = 0; x < width; x++) {
            uint32_t c = argb.at(size_t(y) * size_t(width) + size_t(x));
            raw.insert(raw.end(),
                       {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c), uint8_t(c >> 24)});
        }
    }
    Bytes z = {0x78, 0x01};
    size_t pos = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        uint8_t len[4];  // LEN and its complement NLEN
        plat_le_put16(len, uint16_t(n));
        plat_le_put16(len + 2, uint16_t(~n));
        z.insert(z.end(), len, len + 4);
        z.insert(z.end(), raw.begin() + long(pos), raw.begin() + long(pos + n));
        pos += n;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(z, (b << 16) | a);

    Bytes out(std::begin(QV_WRITER_PNG_SIGNATURE), std::end(QV_WRITER_PNG_SIGNATURE));
    Bytes ihdr;
    put_be32(ihdr, uint32_t(width));
    put_be32(ihdr, uint32_t(height));
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    png_chunk(out, "IHDR", ihdr);
    png_chunk(out, "IDAT", z);
    png_chunk(out, "IEND", {});
    return out;
}

Bytes png_checker(int width, int height, uint32_t a, uint32_t b)
{
    std::vector<uint32_t> px(size_t(width) * size_t(height));
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            px[size_t(y) * size_t(width) + size_t(x)] = ((x / 8 + y / 8) & 1) ? b : a;
    return png_encode(width, height, px);
}

bool png_size(const Bytes& png, uint32_t& width, uint32_t& height, std::string* why)
{
    auto fail = [&](const char* e) {
        if (why) *why = e;
        return false;
    };
    if (png.size() < 8 || std::memcmp(png.data(), QV_WRITER_PNG_SIGNATURE, 8) != 0)
        return fail("not a PNG");
    size_t pos = 8;
    for (bool first = true;; first = false) {
        // Length, type, data, CRC; the length is checked before anything it covers is read.
        if (png.size() - pos < 12) return fail("truncated PNG");
        uint32_t len = plat_be_get32(&png[pos]);
        if (len > png.size() - pos - 12) return fail("truncated PNG");
        const uint8_t* type = &png[pos + 4];
        if (plat_be_get32(type + 4 + len) != crc32_of(type, 4 + size_t(len)))
            return fail("PNG chunk with a bad CRC");
        if (first) {
            if (len != 13 || std::memcmp(type, "IHDR", 4) != 0)
                return fail("PNG without IHDR first");
            width = plat_be_get32(type + 4);
            height = plat_be_get32(type + 8);
        }
        pos += 12 + size_t(len);
        if (std::memcmp(type, "IEND", 4) == 0) return true;
    }
}

}  // namespace qvw
