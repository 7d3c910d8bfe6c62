// disp/shader: the shader library. Thirteen records compiled from the
// shader files at start (five shader sets over them), the engine's named
// constants, and the per-draw set-up that binds a record's stages and
// uploads every register its file declared.
//
// Sets: 0 "normal", 1 "color", 2 "decal", 3 phong (record 3, or 3 + n with
// n point lights), 4 normal map (record 8, or 8 + n). A stage whose file
// section is missing or did not compile is empty, and draws through it use
// the fixed-function path for that stage.
//
// Main thread. disp_boot calls shader_init after the resource loader and
// shader_term at stop; the lost and reset steps call them too (DispLinks
// shader_lost / shader_reset); shader_frame_constants once per frame before
// drawing; shader_begin_view at the start of each 3D pass; shader_setup_mesh
// per draw, reached from disp_set_rstate_block through DispLinks mesh_setup.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "disp/rstate.h"
#include "disp/shader_file.h"
#include "math/vm_types.h"
#include "plat/gfx_shader.h"
#include "res/name.h"

struct MeshBuffers;
struct PointLight;

// ---- capacities ------------------------------------------------------------------

inline constexpr int SHADER_RECORD_COUNT = 13;
inline constexpr int SHADER_SET_COUNT = 5;
inline constexpr int SHADER_STAGE_COUNT = 3;    // vertex, skinned vertex, pixel
inline constexpr int SHADER_PALETTE_MAX = 128;  // bone matrices of one draw
inline constexpr int SHADER_LIGHTS_MAX = 4;     // point lights of one draw
inline constexpr int SHADER_MODES = 5;          // draw modes 0..4 accepted

// Shader key of set-0 draws with pre-transformed vertices: no shader stage.
inline constexpr int SHADER_KEY_FIXED = -2;

enum ShaderStageIndex : int {
    SHADER_STAGE_VERTEX = 0,
    SHADER_STAGE_SKIN_VERTEX,
    SHADER_STAGE_PIXEL
};

// ---- value types -----------------------------------------------------------------

// A declared register of a compiled stage that the stage uses.
struct ShaderReg {
    std::string name;
    int type = SHADER_REG_NONE;
    int count = 1;
    int const_id = SHADER_CONST_NONE;  // 0: read from the caller's parameter block
    int offset = -1;                   // caller registers: bytes into the block
    GfxConstHandle handle = 0;
    int sampler_stage = -1;  // samplers
};

struct ShaderStage {
    int loaded = 0;
    GfxShader* shader = nullptr;
    std::vector<ShaderReg> regs;
};

struct ShaderRecord {
    ShaderStage stage[SHADER_STAGE_COUNT];
    std::vector<ShaderParam> params;
};

// The material words a draw passes (the 3D objects' six-word material):
// ARGB colours, the specular power, and a scale for the lit colours.
struct ShaderMaterial {
    uint32_t ambient, diffuse, emissive, specular;
    float power;
    float scale;
};
static_assert(sizeof(ShaderMaterial) == 24);

// The skeleton of a skinned draw. Bones are found by index when the list
// belongs to the drawn mesh itself (own_mesh), else by id and name of the
// mesh's bone references.
struct ShaderBone {
    const char* name;
    NameHash id;
    const Mat44* matrix;
};
struct ShaderSkeleton {
    const MeshBuffers* own_mesh;
    const ShaderBone* bones;
    int bone_count;
};

// ---- start, stop, per frame ------------------------------------------------------

// Clears the library, reads the three output settings, loads and compiles
// the 13 records, and begins a view.
void shader_init();
void shader_term();
int shader_booted();
// Per frame before drawing: the first draw binds again; fog and far
// parameters of both screens.
void shader_frame_constants();
// Per 3D pass: the selected transform set and the two shadow matrices.
void shader_begin_view();

// ---- loading (run by shader_init) ------------------------------------------------

// Loads every row from the folder of "SHADER_PATH" (default ".\data\sh\"); a
// missing folder loads nothing.
void shader_load_all();
// Loads one row of the file list from a folder into a record.
void shader_load_file(int row, const std::string& folder, ShaderRecord* rec);
void shader_release_record(ShaderRecord* rec);
// Compile one stage of an assembled source into `stage` and list the
// registers of the common and stage sections that the compiled stage uses.
// A null or empty entry is "VsMain" / "PsMain", a null or empty profile
// "vs_1_1" / "ps_2_0"; a skinned vertex stage takes the bone palette. 1, or 0
// with the stage left empty.
int shader_compile_vertex_stage(ShaderStage* stage, const char* entry, const char* profile,
                                const std::string& source,
                                const std::vector<ShaderDecl>& section_regs,
                                const std::vector<ShaderDecl>& common_regs, bool skinned = false);
int shader_compile_pixel_stage(ShaderStage* stage, const char* entry, const char* profile,
                               const std::string& source,
                               const std::vector<ShaderDecl>& section_regs,
                               const std::vector<ShaderDecl>& common_regs);

// ---- per draw --------------------------------------------------------------------

// Picks, binds and fills the record of the draw (see shader.cpp); set-0
// draws of pre-transformed vertices (2D) use no shader stage at all. `material`
// is a ShaderMaterial or null, `mesh` the MeshBuffers, `skin` a
// ShaderSkeleton or null, `lights` an array of PointLight pointers. 1 when
// the shader key changed; 0 when not, or for a mode outside 0..4 or a set
// outside 0..4.
int shader_setup_mesh(const RstateMeshArgs& args);
// Copies a named parameter of the set's base record into a 92-byte block:
// at most `bytes` and at most the declared size. 1, or 0 for a bad set or an
// unknown name.
int shader_set_param(void* block, int set, const char* name, const void* src, int bytes);

// ---- queries ---------------------------------------------------------------------

int shader_get_max_sampler_stage();
int shader_get_point_light_count();
int shader_has_point_lights();
int shader_sel_phong(int light_count);                // 3..7
int shader_sel_normalmap(int light_count);            // 8..12
int shader_record_for_set(int set, int light_count);  // -1 for a bad set
const ShaderRecord* shader_get_record(int index);     // null outside 0..12
// File name and front line of a row of the file list (null outside 0..12;
// the front line null when the row has none).
const char* shader_row_file(int row);
const char* shader_row_front_line(int row);
// The fog parameters of a screen as the last shader_frame_constants made
// them, and its far parameters.
const float* shader_get_fog_param(int screen);
const float* shader_get_far_param(int screen);
// Shader binds made by shader_setup_mesh since start (vertex plus pixel).
uint64_t shader_bind_count();
// What the last set-up made: the record key (-1 none; + 65536 skinned), the
// bone palette's length, and the four floats of a vector constant (eye,
// light, colour and sub-light rows; null for the other rows).
int shader_get_key();
int shader_get_palette_count();
const float* shader_get_draw_vector(int const_id);
