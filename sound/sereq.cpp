// The sound request queue: requests collected through a frame, the nearest per id carried out at
// its end, the per-id counters, the throttle and the generator (see sereq.h).
#include "sound/sereq.h"
#include "sound/sereq_local.h"

#include "disp/cam.h"
#include "disp/obj.h"
#include "sound/snd_mgr.h"

#include <algorithm>
#include <array>

namespace {

struct SeReqQueue {
    uint32_t serial, frame, throttle, seed;
    std::array<SeRequest, SEREQ_MAX> requests;
    std::array<SeRequest*, SEREQ_MAX> order;
    std::array<uint8_t, SND_TABLE_SIZE> states;
    int32_t count;
    std::array<int32_t, SND_TABLE_SIZE> id_counters;
};

SeReqQueue g_q{};

// Ids index the one-entry tables: anything else is ignored.
bool id_ok(SoundId id) { return (id & SND_ID_INDEX_MASK) < SND_TABLE_SIZE; }
uint32_t id_index(SoundId id) { return id & SND_ID_INDEX_MASK; }

void add(SoundId id, const Vec3* pos, uint32_t kind)
{
    if (!id_ok(id) || g_q.count >= SEREQ_MAX) return;
    uint8_t& state = g_q.states[id_index(id)];
    if (state != 0 && state != SEREQ_REQUESTED) return;
    const Mat44* view = cam_get_view_mtx(0);
    const Vec3 cam{view->m[12], view->m[13], view->m[14]};
    const Vec3 at = pos ? *pos : cam;
    const float dx = at.x - cam.x, dy = at.y - cam.y, dz = at.z - cam.z;
    SeRequest& r = g_q.requests[size_t(g_q.count)];
    r = {id, kind, dx * dx + dy * dy + dz * dz, at.x, at.y, at.z};
    // A farther request stays in place for the next one to overwrite.
    if (r.dist_sq > SEREQ_FAR_SQ) return;
    g_q.count += 1;
    state = SEREQ_REQUESTED;
}

void carry_out(const SeRequest& r)
{
    const Vec3 pos{r.x, r.y, r.z};
    switch (r.kind) {
    case SEREQ_PLAY: sound_play_at(r.id, 0, &pos, 0.0f, SND_FX_USE_DEFAULT); break;
    case SEREQ_RESTART:
        sound_stop(r.id);
        sound_play_at(r.id, 0, &pos, 0.001f, SND_FX_USE_DEFAULT);
        break;
    default:
        if (r.dist_sq <= SEREQ_LOOP_SQ)
            sound_play_at(r.id, 1, &pos, 0.0f, SND_FX_USE_DEFAULT);
        else
            sound_stop(r.id);
        break;
    }
}

}  // namespace

void sereq_init(void)
{
    g_q = SeReqQueue{};
    g_q.seed = 1;
}

void sereq_term(void) {}

void sereq_frame(void)
{
    sereq_flush();
    g_q.frame += 1;
}

uint32_t sereq_next_serial(void) { return g_q.serial++; }
uint32_t sereq_frame_count(void) { return g_q.frame; }

uint32_t sereq_rand(void)
{
    g_q.seed = g_q.seed * 214013u + 2531011u;
    return (g_q.seed >> 16) & 0x7FFFu;
}

void sereq_seed(uint32_t seed) { g_q.seed = seed; }

void sereq_play(SoundId id, const Vec3* pos) { add(id, pos, SEREQ_PLAY); }
void sereq_restart(SoundId id, const Vec3* pos) { add(id, pos, SEREQ_RESTART); }
void sereq_play_near(SoundId id, const Vec3* pos) { add(id, pos, SEREQ_LOOP_NEAR); }

int sereq_allow(void)
{
    const uint32_t c = ++g_q.throttle;
    const int n = obj_live_count();
    if (n < 7192) return 1;
    if (n < 7492) return c & 1;
    if (n < 7792) return c % 4 != 0;
    if (n < 7992) return c % 8 != 0;
    return 0;
}

int32_t sereq_id_count(SoundId id) { return id_ok(id) ? g_q.id_counters[id_index(id)] : 0; }
void sereq_id_inc(SoundId id)
{
    if (id_ok(id)) g_q.id_counters[id_index(id)] += 1;
}
void sereq_id_dec(SoundId id)
{
    if (id_ok(id)) g_q.id_counters[id_index(id)] -= 1;
}

void sereq_flush(void)
{
    const auto n = size_t(g_q.count);
    for (size_t i = 0; i < n; ++i) g_q.order[i] = &g_q.requests[i];
    // Stable: on equal distances the earlier request wins.
    std::stable_sort(g_q.order.begin(), g_q.order.begin() + ptrdiff_t(n),
                     [](const SeRequest* a, const SeRequest* b) { return a->id < b->id; });
    for (size_t i = 0; i < n;) {
        const SeRequest* best = g_q.order[i];
        size_t j = i + 1;
        for (; j < n && g_q.order[j]->id == best->id; ++j)
            if (g_q.order[j]->dist_sq < best->dist_sq) best = g_q.order[j];
        carry_out(*best);
        i = j;
    }
    for (uint8_t& s : g_q.states)
        if (s != 0) s -= 1;
    g_q.count = 0;
}

int sereq_count(void) { return g_q.count; }
uint8_t sereq_id_state(SoundId id) { return id_ok(id) ? g_q.states[id_index(id)] : 0; }
