// objx/qspr_local: what the sprite objects' two files share, and nobody else
// includes but their tests and benchmarks: qspr.cpp (the records and their
// accessors) hands the draw (qspr_draw.cpp) the placement and beam geometry,
// the camera and the frame's counters; the draw's own pieces (the key
// packer, a batch's state set-up, the stage release) are here for the tests.
#pragma once

#include "disp/rstate.h"
#include "math/vm_types.h"
#include "objx/qspr.h"

// --- helpers shared with the draw ------------------------------------------------------
// The placement matrix of a corner quad: position and angles, scaled unless
// all three scale values are exactly 1.
Mat44* qspr_quad_matrix(Mat44* out, const QsprCorners* q);
// The four corners of a beam from its screen direction (dx, dy), taken as
// (1, 0) unless its squared length exceeds min_len_sq; the offsets turn into
// world space through rows 0 and 1 of the camera-to-world matrix.
void qspr_beam_corners(Vec3 out[4], const QsprBeam* b, const Mat44* view, float dx, float dy,
                       float min_len_sq);
// Raises the frame's drawn-object and draw-call counters.
void qspr_count_drawn(int objects, int calls);
// The camera matrices the draw and the projections use: view x projection
// and camera-to-world, the derived set's while pass B is on.
void qspr_camera(int screen, const Mat44** viewproj, const Mat44** view);

// --- pieces of the batched draw ----------------------------------------------------------
// The key packer (argument order lighting, z write, fog, blend, cull, alpha
// reference, z function, fill, filter), the state set-up of a batch and the
// stage release from stage n on.
RenderStateKey rs_key_pack(int lighting, int zwrite, int fog, int blend, int cull, int alpha_ref,
                           int zfunc, int fill, int filter);
void qspr_apply_state(RenderStateKey key, int pass_id, int shader_set, const void* params);
void qspr_unbind_stages(int first);
