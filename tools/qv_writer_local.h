// qv_writer_local: the chunk byte builder's helpers shared by the qv_writer_*.cpp
// files only; the writer's callers use tools/qv_writer.h.
#pragma once

#include "tools/qv_writer.h"

namespace qvw {

inline void put_mat(ChunkBuf& b, const Mat16& m)
{
    for (float f : m) b.put_f32(f);
}
inline void put_vec3(ChunkBuf& b, const std::array<float, 3>& v)
{
    for (float f : v) b.put_f32(f);
}

}  // namespace qvw
