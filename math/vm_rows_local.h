// vm_rows_local: private to the maths library: the rotation part of a possibly scaled
// matrix, shared by the quaternion and Euler extractions.
#pragma once

#include <cmath>

#include "math/vm_types.h"

// m with rows 0-2 divided by their lengths. Rows that already have unit
// length and zero rows are left exactly as they are, so rigid matrices give
// bit-identical results. "Unit" allows for the sine table: a sine and a
// cosine taken one index step apart (negative angles truncate toward zero)
// leave rotation rows off unit length by up to about 1e-4.
inline Mat44 vm_rows_unscaled(const Mat44* m)
{
    Mat44 r = *m;
    for (int i = 0; i < 3; ++i) {
        float* row = r.m + 4 * i;
        const float sq = row[0] * row[0] + row[1] * row[1] + row[2] * row[2];
        if (sq == 0.0f || std::fabs(sq - 1.0f) <= 1e-3f || !std::isfinite(sq)) continue;
        const float k = 1.0f / std::sqrt(sq);
        row[0] *= k;
        row[1] *= k;
        row[2] *= k;
    }
    return r;
}
