// The built-in background picture: a procedural landscape (evening sky with
// sun and clouds, snowy ranges fading into haze, a forested shore, a lake
// that mirrors it all and a flowered meadow). Only + - * / and sqrt are used,
// so the bytes are the same on every build and optimisation level.
#pragma once

#include <vector>

constexpr int background_image_size = 1024;

// RGB rows top-down, background_image_size squared pixels.
std::vector<unsigned char> background_image_rgb();

// The picture as an RGB PNG (no alpha).
std::vector<unsigned char> background_image_png();
