// Words in a fixed byte order: the bytes each order gives and takes, high bytes
// included, and writes that stay within their word.
#include "plat/byte_order.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// A file-format code is a constant made at compile time.
constexpr std::array<uint8_t, 4> BYTE_ORDER_RIFF = {'R', 'I', 'F', 'F'};
static_assert(plat_le_get32(BYTE_ORDER_RIFF.data()) == 0x46464952u);

TEST(ByteOrder, ReadsAndWritesTakeAndPutTheBytesInTheirOrderAndTouchNothingBeside)
{
    const uint8_t b[6] = {0x80, 0xFF, 0x01, 0xFE, 0x7F, 0x00};
    EXPECT_EQ(std::tuple(plat_le_get16(b), plat_le_get16(b + 2)), std::tuple(0xFF80u, 0xFE01u));
    EXPECT_EQ((std::array{plat_le_get32(b), plat_le_get32(b + 2), plat_be_get32(b),
                          plat_be_get32(b + 2)}),
              (std::array{0xFE01FF80u, 0x007FFE01u, 0x80FF01FEu, 0x01FE7F00u}));
    std::array<uint8_t, 12> w;
    w.fill(0xAA);
    plat_le_put32(w.data() + 1, 0xF2345680u);
    plat_le_put16(w.data() + 6, 0xBE81u);
    plat_be_put32(w.data() + 8, 0x8123456Fu);
    EXPECT_EQ(w, (std::array<uint8_t, 12>{0xAA, 0x80, 0x56, 0x34, 0xF2, 0xAA, 0x81, 0xBE, 0x81,
                                          0x23, 0x45, 0x6F}));
}

}  // namespace
