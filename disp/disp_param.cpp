// disp/disp_param: display head fields and window-to-render conversion.
#include "disp/disp_param.h"

#include <climits>
#include <cmath>

#include "disp/disp_dev_seam.h"
#include "disp/disp_work.h"

namespace {

DispHead& head() { return disp_work().head; }

struct Orientation {
    bool swapped;
    int32_t x_mul, y_mul;
};

// Multipliers of the window offsets from the centre; 3 and 5 swap the axes.
constexpr Orientation DISP_ORIENTATION_TABLE[DISP_ORIENTATIONS] = {
    {false, 1, 1}, {false, -1, 1}, {false, 1, -1}, {true, -1, 1}, {false, -1, -1}, {true, 1, -1},
};

int32_t size_or(int32_t value, int32_t fallback) { return value != 0 ? value : fallback; }

// Truncation toward zero, held inside the int range.
int32_t trunc_to_int(float v)
{
    if (std::isnan(v)) return 0;
    if (v >= float(INT_MAX)) return INT_MAX;
    if (v <= float(INT_MIN)) return INT_MIN;
    return int32_t(v);
}

}  // namespace

void disp_param_init(void* window, int32_t start_arg, int32_t screen_w, int32_t screen_h,
                     int32_t color_depth, const RenderSizes* sizes)
{
    DispHead& h = head();
    h = DispHead{};
    h.window = window;
    h.start_arg = start_arg;
    h.screen_w = screen_w;
    h.screen_h = screen_h;
    h.color_depth = color_depth;
    if (sizes) {
        h.render3d_w = size_or(sizes->render3d_w, screen_w);
        h.render3d_h = size_or(sizes->render3d_h, screen_h);
        h.render_w = size_or(sizes->render_w, screen_w);
        h.render_h = size_or(sizes->render_h, screen_h);
        // The flag comes unchecked from the settings text and indexes the
        // orientation table.
        const bool known = sizes->flag >= 0 && sizes->flag < DISP_ORIENTATIONS;
        h.orientation = known ? sizes->flag : 0;
    } else {
        h.render3d_w = h.render_w = screen_w;
        h.render3d_h = h.render_h = screen_h;
        h.orientation = 0;
    }
}

int32_t disp_get_render_w() { return head().render_w; }
int32_t disp_get_render_h() { return head().render_h; }
int32_t disp_get_render3d_w() { return head().render3d_w; }
int32_t disp_get_render3d_h() { return head().render3d_h; }
int32_t disp_get_screen_w() { return head().screen_w; }
int32_t disp_get_screen_h() { return head().screen_h; }
int32_t disp_get_text_drawlist() { return head().text_list; }
int32_t disp_get_d3dx_text_drawlist() { return head().d3dx_text_list; }
void disp_set_clear_color(uint32_t rgb) { head().clear_color = rgb; }
uint32_t disp_get_clear_color() { return head().clear_color; }
void disp_set_user_word(int32_t value) { head().user_word = value; }
int32_t disp_get_user_word() { return head().user_word; }

void disp_request_mode(int width, int height, int mode)
{
    disp_dev_seam().request_mode_change(width, height, mode);
}

int disp_query_mode() { return disp_dev_seam().get_mode(); }

void disp_window_to_render(int32_t* out_x, int32_t* out_y, int32_t window_x, int32_t window_y)
{
    const DispHead& h = head();
    const int32_t flag =
        h.orientation >= 0 && h.orientation < DISP_ORIENTATIONS ? h.orientation : 0;
    const Orientation& o = DISP_ORIENTATION_TABLE[flag];
    const int32_t W = o.swapped ? h.screen_h : h.screen_w;
    const int32_t H = o.swapped ? h.screen_w : h.screen_h;
    const int32_t a = o.swapped ? window_y : window_x;
    const int32_t b = o.swapped ? window_x : window_y;
    const int64_t ox = (int64_t(a) - (W >> 1)) * o.x_mul;
    const int64_t oy = (int64_t(b) - (H >> 1)) * o.y_mul;

    // A render area larger than the window is scaled by the ratio of the axis
    // that overflows most; a smaller one keeps its pixels about the centre.
    // An empty window has no ratio and keeps the scale 1.
    float s = 1.0f;
    const int32_t dx = W - h.render_w;
    const int32_t dy = H - h.render_h;
    if ((dx < 0 || dy < 0) && W > 0 && H > 0)
        s = dx > dy ? float(h.render_h) / float(H) : float(h.render_w) / float(W);

    if (out_x) *out_x = trunc_to_int(float(ox) * s) + (h.render_w >> 1);
    if (out_y) *out_y = trunc_to_int(float(oy) * s) + (h.render_h >> 1);
}

void disp_window_to_normalized(float* out_x, float* out_y, int32_t window_x, int32_t window_y)
{
    int32_t x = 0, y = 0;
    disp_window_to_render(&x, &y, window_x, window_y);
    const DispHead& h = head();
    // An empty render area has no coordinates; its centre is answered.
    if (out_x) *out_x = h.render_w != 0 ? float((2.0 * x - h.render_w) / h.render_w) : 0.0f;
    if (out_y) *out_y = h.render_h != 0 ? float((double(h.render_h) - 2.0 * y) / h.render_h) : 0.0f;
}

// ---- flags -----------------------------------------------------------------------------

void disp_set_render_enable(int on) { head().render_enable = on; }
int disp_get_render_enable() { return head().render_enable; }
void disp_set_scene_pass_enable(int on) { head().scene_pass_enable = on; }
int disp_get_scene_pass_enable() { return head().scene_pass_enable; }
void disp_set_keep_prev_matrices(int on) { head().keep_prev_matrices = on; }
int disp_get_keep_prev_matrices() { return head().keep_prev_matrices; }
void disp_request_prev_matrices() { head().init_prev_once = 1; }
