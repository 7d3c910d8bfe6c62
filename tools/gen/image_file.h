// Encoders for the images the data generators make: PNG through libpng and
// the A8L8 DDS layout the bitmap font loader reads. Output is byte-for-byte
// the same on every run (no time stamps, fixed compression settings).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

// 8-bit PNG from rows top-down; channels 1 (grey), 2 (grey+alpha), 3 (RGB) or
// 4 (RGBA). Empty on failure.
std::vector<unsigned char> image_encode_png(int width, int height, int channels,
                                            std::span<const unsigned char> pixels);

// DDS with a 16-bit luminance+alpha pixel format (low byte luminance, high
// byte alpha), one level, rows top-down. The luminance is white throughout.
std::vector<unsigned char> image_encode_dds_a8l8(int width, int height,
                                                 std::span<const unsigned char> alpha);

// Writes the bytes to the path; 1 on success, 0 on failure.
int image_write_file(const std::string& path, std::span<const unsigned char> bytes);
