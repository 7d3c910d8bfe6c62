// The patch tool's icon atlas: the buttons, the palette's page arrows and the
// handles around a selected patch, drawn light on transparent so that the
// sprite colours the tool multiplies in (orange, grey, green, red) show.
#pragma once

#include "tools/gen_models/gm_paint.h"

#include <string>
#include <vector>

namespace gm {

constexpr int ICON_ATLAS_W = 256;
constexpr int ICON_ATLAS_H = 128;

struct IconCrop {
    std::string name;
    int x, y, w, h;  // texels of the atlas
};

// Every crop of the "icon" group, at the size the tool's hit box for it has:
// 32 x 32 for the buttons, arrows and rotation handles, 32 x 64 for "scaley"
// and 64 x 32 for "aspect".
const std::vector<IconCrop>& icon_crops();

Canvas icon_atlas();

}  // namespace gm
