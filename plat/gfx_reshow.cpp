// gfx_reshow: the copy of the frame last presented, kept in a texture of its own and put back
// into the window while a dialog holds the main loop (see gfx_reshow_local.h).
#include "plat/gfx_reshow_local.h"

#include "plat/gfx_local.h"

#include <SDL2/SDL.h>

namespace {

struct KeptFrame {
    uint32_t gen;       // the device the GL names belong to
    uint64_t presents;  // the present it copies
    int valid;
    GLuint tex, fbo;
    int width, height;
};

KeptFrame g_kept;

// Storage of the back buffer's size on this device. Names of an earlier
// device went away with its context; only this device's are deleted.
bool kept_storage(int width, int height)
{
    const uint32_t gen = gfx_dev.generation;
    if (g_kept.gen == gen && g_kept.fbo && g_kept.width == width && g_kept.height == height)
        return true;
    if (g_kept.gen == gen) {
        glDeleteFramebuffers(1, &g_kept.fbo);
        glDeleteTextures(1, &g_kept.tex);
    }
    g_kept = KeptFrame{gen, 0, 0, 0, 0, width, height};
    glCreateTextures(GL_TEXTURE_2D, 1, &g_kept.tex);
    glTextureStorage2D(g_kept.tex, 1, GL_RGBA8, width, height);
    glCreateFramebuffers(1, &g_kept.fbo);
    glNamedFramebufferTexture(g_kept.fbo, GL_COLOR_ATTACHMENT0, g_kept.tex, 0);
    return glCheckNamedFramebufferStatus(g_kept.fbo, GL_READ_FRAMEBUFFER) ==
           GL_FRAMEBUFFER_COMPLETE;
}

bool device_shows_frames(void)
{
    const GfxDevice& d = gfx_dev;
    return d.ok && !d.lost && d.backbuffer && d.window;
}

}  // namespace

int gfx_frame_keep(void)
{
    GfxDevice& d = gfx_dev;
    if (!device_shows_frames() || d.counters.presents == 0) return 0;
    if (g_kept.valid && g_kept.gen == d.generation && g_kept.presents == d.counters.presents)
        return 1;
    const int w = d.backbuffer->desc.width, h = d.backbuffer->desc.height;
    if (!kept_storage(w, h)) return 0;
    const GLuint src = gfx_surface_read_fbo(d.backbuffer);
    gfx_gl_scissor(0, d.gl.scissor);  // blits are scissored
    glBlitNamedFramebuffer(src, g_kept.fbo, 0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT,
                           GL_NEAREST);
    g_kept.presents = d.counters.presents;
    g_kept.valid = 1;
    return 1;
}

int gfx_frame_show_kept(void)
{
    GfxDevice& d = gfx_dev;
    if (!device_shows_frames() || !g_kept.valid || g_kept.gen != d.generation) return 0;
    SDL_Window* window = static_cast<SDL_Window*>(d.window);
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(window, &ww, &wh);
    const int w = g_kept.width, h = g_kept.height;
    gfx_gl_scissor(0, d.gl.scissor);
    if (ww != w || wh != h) {
        gfx_gl_masks_for_clear();
        const float black[4] = {0, 0, 0, 1};
        glClearNamedFramebufferfv(0, GL_COLOR, 0, black);
    }
    // Stored top row first, as the back buffer; the window's row 0 is its bottom.
    glBlitNamedFramebuffer(g_kept.fbo, 0, 0, 0, w, h, 0, wh, w, wh - h, GL_COLOR_BUFFER_BIT,
                           GL_NEAREST);
    SDL_GL_SwapWindow(window);
    return 1;
}
