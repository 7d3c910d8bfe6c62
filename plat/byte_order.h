// plat/byte_order: 16- and 32-bit words read from and written to bytes in a
// fixed order, whatever the machine's: little-endian for the engine's own
// files and the RIFF, DDS and BMP formats, big-endian for PNG. The caller
// checks that the bytes are there.
#pragma once

#include <cstdint>

constexpr uint16_t plat_le_get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

constexpr uint32_t plat_le_get32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

constexpr void plat_le_put16(uint8_t* p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

constexpr void plat_le_put32(uint8_t* p, uint32_t v)
{
    plat_le_put16(p, uint16_t(v));
    plat_le_put16(p + 2, uint16_t(v >> 16));
}

constexpr uint32_t plat_be_get32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

constexpr void plat_be_put32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
