// Images built into the program. The build makes them with quorvel_gen and
// compiles their bytes into the q_embedded library, which the platform layer
// links for every layer above it; the spans stay valid for the whole run.
#pragma once

#include <span>

// 128 x 128 A8L8 DDS, 32,896 bytes: bitmap font, 16 columns of 8 x 16 cells from code 32.
std::span<const unsigned char> embedded_font1_dds();

// 128 x 128 RGBA PNG: bitmap font, 16 columns of 6 x 11 cells from code 32.
std::span<const unsigned char> embedded_font6x11_png();

// 1024 x 1024 RGB PNG: the background picture.
std::span<const unsigned char> embedded_background_png();
