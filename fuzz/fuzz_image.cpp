// Fuzzes the image decoders (PNG, JPEG, DDS; a BMP is no texture kind and is
// refused): an accepted image is no larger than the side and the ceiling
// allow, and its levels lie inside its pixels; a refused one leaves nothing;
// the header probe accepts every image the decoder accepts, with its sizes.
#include "store/settings.h"
#include "plat/byte_order.h"
#include "plat/files.h"
#include "plat/gfx_image.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// A changed PNG chunk almost never keeps its CRC right, and libpng refuses a
// header whose CRC is wrong: the CRCs are mended first, so that changed
// sizes and fields reach the decoder's own checks.
std::vector<uint8_t> with_png_crcs(const uint8_t* data, size_t size)
{
    static const uint8_t FUZZ_IMAGE_SIGNATURE[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<uint8_t> v(data, data + size);
    if (size < 8 || std::memcmp(data, FUZZ_IMAGE_SIGNATURE, 8) != 0) return v;
    for (size_t at = 8; at + 12 <= v.size();) {
        const uint32_t length = plat_be_get32(&v[at]);
        if (length > v.size() - at - 12) break;
        const uint32_t crc = crc32_table(&v[at + 4], length + 4);
        plat_be_put32(&v[at + 8 + length], crc);
        at += 12 + length;
    }
    return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> file = with_png_crcs(data, size);
    // The largest side the decoders take, and a small one: the device's
    // largest texture differs between machines.
    for (int max_side : {GFX_IMAGE_MAX_SIZE, 64}) {
        GfxImage img, head;
        GfxImageError err = GFX_IMG_OK, head_err = GFX_IMG_OK;
        const int probed = gfx_image_probe(file.data(), file.size(), &head, &head_err, max_side);
        if (!head.data.empty() || (!probed && head_err == GFX_IMG_OK)) __builtin_trap();
        if (!gfx_image_decode(file.data(), file.size(), &img, &err, max_side)) {
            if (err == GFX_IMG_OK || !img.data.empty()) __builtin_trap();
            continue;
        }
        if (!probed || head.width != img.width || head.height != img.height ||
            head.format != img.format || head.levels != img.levels ||
            head.level_size[0] != img.level_size[0])
            __builtin_trap();
        if (size >= 2 && data[0] == 'B' && data[1] == 'M') __builtin_trap();
        if (img.width < 1 || img.height < 1 || img.width > max_side || img.height > max_side)
            __builtin_trap();
        if (img.levels < 1 || img.levels > GFX_IMAGE_MAX_LEVELS) __builtin_trap();
        if (img.data.size() > PLAT_DATA_FILE_MAX) __builtin_trap();
        for (int l = 0; l < img.levels; ++l)
            if (img.level_size[l] == 0 || img.level_offset[l] + img.level_size[l] > img.data.size())
                __builtin_trap();
    }
    return 0;
}
