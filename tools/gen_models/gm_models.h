// The patch models of the default data set: one model group per theme, each
// with its meshes and the textures they use.
//
// The frame the models are stored in: the patch tool draws a model turned by
// pi about z and scaled by 30, in a view with x to the right, y downwards and
// the camera looking along +z. A model point (x, y, z) thus lands on screen at
// (-x, -y) * 30 around the patch centre, and its depth grows with z; the side
// that faces the viewer is the -z side, +y is up on screen and +x is to the
// left. Models are designed upright and facing the viewer and then turned by
// pi about y (gm::mesh_to_model_space), which is a rotation, so windings keep
// their sense.
//
// Winding: the tool draws patches and previews with cull mode 1, which culls
// triangles that appear clockwise on screen. Its projection flips y (top =
// -H/2), so a triangle whose (b - a) x (c - a) points towards the camera
// appears counter-clockwise and is kept: the models wind every triangle with
// that cross product pointing out of the solid, the usual Direct3D authoring
// convention seen through the tool's flipped projection.
#pragma once

#include "tools/gen_models/gm_mesh.h"
#include "tools/gen_models/gm_paint.h"

#include <string>
#include <vector>

namespace gm {

// Models are fitted so the larger of their x and y half extents is this (in
// model units; the tool draws 30 pixels per unit, palette cells are 62 wide).
constexpr float MODEL_HALF_EXTENT = 0.9f;

struct ModelOut {
    std::string name;      // the mesh name, tags included
    Mesh mesh;             // in the model frame
    bool colored = false;  // vertex colours (drawn unlit, light baked in)
    std::string texture;   // "" = untextured
    float fit_scale = 1;   // how much the fit enlarged the design
};

struct TextureOut {
    std::string name;  // file name in the group, "x.png"
    Canvas image;
};

struct GroupOut {
    std::string name;  // the model group: "<name>.bin"
    std::vector<ModelOut> models;
    std::vector<TextureOut> textures;
};

// Every group of the data set, in a fixed order, including the "_NRM"
// companion that holds only textures.
std::vector<GroupOut> models_build();

}  // namespace gm
