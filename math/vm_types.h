// Plain value records of the maths library and the identity matrices. Every
// record is a bag of floats with no alignment demand beyond a float's, so
// records embedded in packed data or read from files can be passed straight
// to the functions.
#pragma once

struct Vec2 {
    float x, y;
};

struct Vec3 {
    float x, y, z;
};

struct Vec4 {
    float x, y, z, w;
};

// a*x + b*y + c*z + d = 0
struct Plane {
    float a, b, c, d;
};

// (x, y, z, w); the identity is (0, 0, 0, 1). A rotation by angle t about the
// unit axis u is (u * sin(t/2), cos(t/2)).
struct Quat {
    float x, y, z, w;
};

// Row by row, row-vector convention: p maps to p.x*row0 + p.y*row1 +
// p.z*row2 + row3. Rows 0-2 are the transformed axes, row 3 the translation.
// The 16 floats are laid out as a Direct3D matrix.
struct Mat44 {
    float m[16];
};
inline constexpr Mat44 VM_MAT_IDENTITY = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

// 2D affine: row 0 (m0, m1), row 1 (m2, m3), translation (m4, m5).
struct Mat3x2 {
    float m[6];
};
inline constexpr Mat3x2 VM_MAT3X2_IDENTITY = {{1, 0, 0, 1, 0, 0}};

// 2x2 rotation record (m0, m1, m2, m3).
struct Mat2 {
    float m[4];
};

// Placement kept apart: scale first, then rotate, then translate.
struct XformRecord {
    Vec3 pos;
    Vec3 scale;
    Quat rot;
};

// Off-centre perspective view: window edges on the near plane (view units)
// and the clip plane distances.
struct ProjParams {
    float left, right, bottom, top, znear, zfar;
};

enum FrustumSide {
    VM_FRUSTUM_NEAR,
    VM_FRUSTUM_FAR,
    VM_FRUSTUM_RIGHT,
    VM_FRUSTUM_LEFT,
    VM_FRUSTUM_BOTTOM,
    VM_FRUSTUM_TOP,
    VM_FRUSTUM_COUNT
};

// Six unit-normal planes, inner side where a*x + b*y + c*z + d >= 0, in the
// order of FrustumSide.
struct FrustumPlanes {
    Plane p[VM_FRUSTUM_COUNT];
};

static_assert(sizeof(Vec3) == 12 && sizeof(Vec4) == 16 && sizeof(Plane) == 16);
static_assert(sizeof(Quat) == 16 && sizeof(Mat44) == 64 && sizeof(Mat3x2) == 24);
static_assert(sizeof(XformRecord) == 40 && sizeof(ProjParams) == 24);
static_assert(sizeof(FrustumPlanes) == 96);
