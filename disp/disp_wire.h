// disp/disp_wire: joins the display to the modules it works with at start:
// the device's links (resource manager, fonts, window, dialogs, clock, the
// cameras' screen rectangles), the view modules' device seam (transforms,
// fog states, the directional light, display mode) and the resource
// manager's services (settings text, frame time, files, the fatal error
// screen, and device textures, depth surfaces and mesh buffers held here in
// one table of records addressed by the id the resource manager keeps).
//
// disp_boot installs everything before the device starts; disp_shutdown
// puts back what was there before. Main thread only.
#pragma once

#include <cstdint>
#include <span>

struct TexRecord;
struct GfxVertexBuffer;
struct GfxIndexBuffer;

void disp_wire_install();
void disp_wire_remove();

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
