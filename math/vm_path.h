// Point paths: a smooth curve through 3D points, kept in one caller-supplied
// block (the layout below is the format). Each segment is a cubic Hermite
// curve with its end tangents scaled by the segment's length. No state.
//
// Block layout (little-endian, 4-byte aligned):
//   0  u32  size of the whole block in bytes
//   4  i16  number of points
//   6  i16  capacity, (size - 12) / 28 whole points, at most 32767
//   8  f32  total length, the sum of the segment lengths
//   12 PathPoint[capacity]
// A path of capacity 0 refuses everything and evaluates to (0, 0, 0).
#pragma once

#include <cstdint>

#include "math/vm_types.h"

struct PathBlock {
    uint32_t size;
    int16_t count;
    int16_t capacity;
    float total_length;
};

struct PathPoint {
    Vec3 pos;
    Vec3 tangent;
    float seg_length;  // to the next point; unused on the last point
};

static_assert(sizeof(PathBlock) == 12 && sizeof(PathPoint) == 28);

inline constexpr int VM_PATH_MAX_CAPACITY = 32767;

// Clears the block and answers its capacity. A block smaller than the header
// is left untouched and answers 0.
int vm_path_init(PathBlock* path, uint32_t size);
int vm_path_init_block(PathBlock* path, uint32_t size);
uint32_t vm_path_capacity_for(uint32_t size);  // (size - 12) / 28, 0 below 12
PathPoint* vm_path_points(PathBlock* path);
const PathPoint* vm_path_points(const PathBlock* path);
float vm_path_length(const PathBlock* path);

// Append a point; the previous point's segment length is the measured
// distance, or the given length. A full path refuses the point (answer 0).
int vm_path_add_point(PathBlock* path, const Vec3* pos);
int vm_path_add_point_len(PathBlock* path, const Vec3* pos, float length);

// Tangent passes; paths of fewer than two points are left alone.
void vm_path_init_tangents(PathBlock* path);
Vec3* vm_path_start_tangent(Vec3* out, const PathPoint* points, int i);
Vec3* vm_path_end_tangent(Vec3* out, const PathPoint* points, int i);
void vm_path_smooth_pass(PathBlock* path);
void vm_path_halve_tangents(PathBlock* path);
void vm_path_balance_tangents(PathBlock* path);

// Build combinations.
void vm_path_build(PathBlock* path);            // init, 3 x smooth
void vm_path_build_balanced(PathBlock* path);   // init, smooth, balance
void vm_path_build_balanced3(PathBlock* path);  // init, 3 x (smooth, balance)
void vm_path_smooth(PathBlock* path);
void vm_path_smooth_balance(PathBlock* path);
void vm_path_halve_balance(PathBlock* path);
void vm_path_halve(PathBlock* path);

// Point at a fraction of the total length or at a distance along the path;
// beyond the ends the first or last segment is extrapolated.
Vec3* vm_path_eval_fraction(Vec3* out, const PathBlock* path, float fraction);
Vec3* vm_path_eval_distance(Vec3* out, const PathBlock* path, float distance);
Vec3* vm_hermite_point(Vec3* out, const Vec3* p0, const Vec3* t0, const Vec3* p1, const Vec3* t1,
                       float u);
