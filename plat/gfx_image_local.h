// gfx_image_local: what the image decoder (gfx_image.cpp) shares with the
// texture loader (gfx_tex_load.cpp), which uploads a DDS file's levels
// straight from the file.
#pragma once

#include <cstddef>

constexpr size_t GFX_IMAGE_DDS_DATA = 128;  // a DDS file's levels start here
