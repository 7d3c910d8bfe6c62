// Small known samples of every chunk kind and of tex.lst, for the tests and the
// fuzz seed corpora.
#pragma once

#include "tools/qv_desc.h"
#include "tools/qv_writer.h"

#include <string>
#include <vector>

namespace qvw {

// A textured quad "quad" (positions, normals, uvs): 4 distinct corners, 2 triangles.
ModelDesc sample_quad();
// A cube of 12 triangles with one normal per face: 24 welded vertices.
ModelDesc sample_cube();
// A flat grid of n x n quads over the unit square with normals and uvs:
// (n + 1)^2 welded vertices, one subset on the texture (none when empty).
ModelDesc sample_grid(const std::string& name, uint32_t n, const std::string& texture = "");
// Two triangles with two bones and blend weights, name "skin_NRM".
ModelDesc sample_skinned();
// root -> (arm -> hand), leg
std::vector<BoneNode> sample_bones();
AnimDesc sample_anime();
// A skinned, animated character "chr": a skeleton with a root, a left and a
// right arm of three bones each ("arm_L_up", "arm_L_low", "hand_L" and the
// "_R_" side; each child lies along its parent's local +x) and a four-bone
// tail below the root; a skinned box along the left arm (x 0.5 to 2.8,
// half-thickness 0.15) weighted to the three left-arm bones; the motion
// "wave" (10 frames: arm_L_up turned about z by 10 degrees per frame,
// arm_R_up about y by 10 degrees per frame) and "walk" (20 frames: the
// root moved 0.25 along x per frame).
ModelDesc sample_character_mesh();
std::vector<BoneNode> sample_character_bones();
AnimDesc sample_character_wave();
AnimDesc sample_character_walk();
CollDesc sample_coll(uint32_t div);  // a 2x2 floor of 8 triangles
// Collision test models (every normal faces the open side, face values
// count from 1 in writing order):
// a 20 x 20 flat ground at y = 0 (x, z in -10..10) of 4 x 4 quads on a 2 x 1 x 2 grid;
CollDesc sample_coll_ground();
// a ramp y = x / 2 over x in 0..20, z in -10..10, 8 x 4 quads, 4 x 1 x 2 grid;
CollDesc sample_coll_ramp();
// a closed room x, z in -5..5, y in 0..4, its six walls facing inward, each
// of 3 x 3 quads, on a 2 x 2 x 2 grid (many triangles cross boxes);
CollDesc sample_coll_room();
// a bumpy height field of quads x quads unit quads (2 quads^2 triangles)
// over x, z in 0..quads, on a grid of cells of 4 x 4 quads.
CollDesc sample_coll_terrain(uint32_t quads);
float sample_terrain_height(float x, float z);
FlaDesc sample_fla();
// "anim": a 64 x 64 stage at 30 frames per second with images 1 "red" and
// 2 "blue", shape 1 of two 16 x 16 parts (red at x 0, blue at x 16),
// shape 2 of one 8 x 8 part on asset 3 "slot", and sprite 10 (table index
// 0) placing shape 2 at (4, 4). Frame 0 places shape 1 at depth 1 and
// sprite 10 at depth 2 moved by (40, 30) and starts it; frame 1 moves depth
// 1 down by 24 and tints it 0xFF808080; frame 2 removes depth 1.
FlaDesc sample_movie();
// A texture-list category "qspr": "corners.png" of 64 x 64 texels with crops
// "all" (the whole texture) and "tl" (its top-left 32 x 32).
TexLstCatDesc sample_sprite_category();
// The hit effects' category "cmnv": "cmnv.png" of 256 x 256 texels cut into
// 32 x 32 crops, row by row, in the order the effects number their variants:
// exp00..03, flash, mflash, smoke00..07, maru00..03, hit00, blood00,
// blood01, ujidead.
TexLstCatDesc sample_effect_category();
// The opaque colour of crop cell n (row by row) of that texture.
uint32_t sample_effect_cell_colour(int cell);
// A data set of that category alone: texture/tex.lst and texture/cmnv.png.
DataSet sample_effect_data();
CamrDesc sample_camr();
std::vector<SphereDesc> sample_spheres();

// One group file holding every chunk kind, in this order: TEX "quad.png",
// CROP (2 crops), ZQT quad, ZQT cube, ZQT skin_NRM, BONE, ANIM, COLL, SHIT,
// CAMR, FLA.
Bytes sample_group_file();

// A tex.lst with two categories, textures of different sizes and a comment.
std::string sample_texlst();

struct SampleFile {
    std::string name;
    Bytes bytes;
};
// Seed files for the chunk fuzzer: one file per kind and the whole group.
std::vector<SampleFile> sample_chunk_seeds();

// The game-scene test characters, as model group files: "gs_hero.bin" and
// "gs_knight.bin" each hold the sample character's mesh as "<who>_body", its
// bone tree "root" and the motions "wave" and "walk"; "gs_weapon.bin" holds
// the unskinned cube as "sword".
std::vector<SampleFile> sample_game_characters();

}  // namespace qvw

namespace qvw {

// The stage test group "s1" (every mesh modelled in world space):
//   bone set "s1_s" (merged, collision "s1_s"): rockA, rockB, lamp_nodisp;
//   "s1_sn" (merged): rockC;  "s1_a" (translucent, per node): glass at z 2;
//   "s1_d" (per node): postA at x 2 with its child postB one up, lamp_nodisp,
//   glow_aadd;  "s1_fix" (translucent billboards): flare;
//   "s1_zs" and "s1_z" (anchor rules): anchor "door" at z 5 over door01 at
//   x 1 (collision "door01"), then "gate" with gate01 below it;
//   "s1_dummy": spot at (3, 4, 5);
//   animation "door": door01 raised by 0, 1, 2 over three frames;
//   meshes door_a_01, door_switch_nodisp (centre (0, 1, 8)), door_tgt_nodisp
//   (centre (0, 2, 8)), door_lookat_nodisp (centre (0, 0, 10)); animation
//   "door_path" of two frames;
//   collision "s1_wall": a wall at z = 10 facing -z over x -5..5, y 0..5.
Bytes sample_stage_group();
// Settings text that opens the pools the stage group needs.
std::string sample_stage_settings();
// A test data folder: "s1.bin" and the settings text "QUORVEL.TXT".
bool sample_stage_write(const std::string& dir);

}  // namespace qvw
