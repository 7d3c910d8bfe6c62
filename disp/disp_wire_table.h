// disp/disp_wire_table: the device textures, depth surfaces and mesh buffers
// the resource manager holds, in one table of records addressed by the id the
// resource manager keeps. The resource manager reaches it through the device
// services of its ResEnv (installed by app/disp_wire); the draws look
// records up here directly. Main thread only.
#pragma once

#include <cstdint>
#include <span>

struct ResEnv;
struct TexRecord;
struct GfxVertexBuffer;
struct GfxIndexBuffer;

// Sets the texture, depth-surface and buffer services of e to this table's.
void disp_wire_table_env(ResEnv& e);
// Forgets every record (the resource manager has released them all).
void disp_wire_table_clear();
// The texture record of a 1-based resource handle, with the address modes the
// resource manager keeps for it; null when the handle names no texture.
TexRecord* disp_wire_tex_lookup(uint32_t handle);

// The texture record behind a resource manager's texture id; null for an id
// that names no texture.
TexRecord* disp_wire_texture(uint32_t id);
// A mesh buffer's bytes as the resource manager handed them over (empty for
// an unknown id), and device buffers made from them on first use (null
// without a device or for an unknown id). index_bytes is 2 or 4.
std::span<const uint8_t> disp_wire_buffer_bytes(uint32_t id);
GfxVertexBuffer* disp_wire_vertex_buffer(uint32_t id);
GfxIndexBuffer* disp_wire_index_buffer(uint32_t id, int index_bytes);
// Live textures, surfaces and buffers of the table (leak checks in tests).
int disp_wire_live_objects();
