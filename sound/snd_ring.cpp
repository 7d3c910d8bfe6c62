// The sound command ring and the sound thread that hands each command to the sound manager's
// handler (see snd_ring.h).
#include "sound/snd_ring.h"
#include "sound/snd_ring_local.h"

#include "svc/msem.h"
#include "plat/time.h"
#include "sound/snd_mgr.h"

#include <atomic>
#include <thread>

namespace {

SoundCmdRing g_ring{};
std::thread g_thread;
std::atomic<uint32_t> g_stop{0};
// Set while a consumer runs: without one a post would wait forever for room.
std::atomic<uint32_t> g_running{0};
std::atomic<SoundCmdHandler> g_handler{nullptr};

void ring_lock(void) { msem_wait(g_ring.sem, MSEM_INFINITE); }
void ring_unlock(void) { msem_release(g_ring.sem, 1, nullptr); }

uint32_t pending_locked(void)
{
    ring_lock();
    const uint32_t n = g_ring.pending;
    ring_unlock();
    return n;
}

// Fills the slot at the write index through fill; a full ring drops it.
template <typename Fill>
void post(uint32_t command, Fill fill)
{
    if (!g_running) return;
    snd_queue_wait_room();
    ring_lock();
    if (g_ring.pending < SND_RING_SLOTS) {
        SoundCmd& slot = g_ring.slots[g_ring.write];
        slot.command = command;
        fill(slot);
        g_ring.write = (g_ring.write + 1) % SND_RING_SLOTS;
        g_ring.pending += 1;
    }
    ring_unlock();
}

void set_pos(SoundCmd& slot, const Vec3* pos)
{
    slot.has_pos = pos ? 1 : 0;
    if (!pos) return;
    slot.x = pos->x;
    slot.y = pos->y;
    slot.z = pos->z;
}

}  // namespace

void snd_post(uint32_t command, SoundId id)
{
    post(command, [&](SoundCmd& s) { s.id = id; });
}

void snd_post_arg2(uint32_t command, SoundId id, int32_t arg2)
{
    post(command, [&](SoundCmd& s) {
        s.id = id;
        s.arg2 = arg2;
    });
}

void snd_post_int(uint32_t command, SoundId id, int32_t arg)
{
    post(command, [&](SoundCmd& s) {
        s.id = id;
        s.arg = arg;
    });
}

void snd_post_pos(uint32_t command, SoundId id, const Vec3* pos)
{
    post(command, [&](SoundCmd& s) {
        s.id = id;
        set_pos(s, pos);
    });
}

void snd_post_value(uint32_t command, float value)
{
    post(command, [&](SoundCmd& s) { s.value = value; });
}

void snd_post_id_value(uint32_t command, SoundId id, float value)
{
    post(command, [&](SoundCmd& s) {
        s.id = id;
        s.value = value;
    });
}

void snd_post_pos_value(uint32_t command, SoundId id, const Vec3* pos, float value)
{
    post(command, [&](SoundCmd& s) {
        s.id = id;
        set_pos(s, pos);
        s.value = value;
    });
}

void snd_post_simple(uint32_t command) { snd_post(command, 0); }

void snd_queue_wait_room(void)
{
    while (g_running && pending_locked() >= SND_RING_ROOM) plat_time_sleep_ms(0);
}

int snd_thread_main(SoundCmdRing* ring)
{
    while (!g_stop) {
        uint32_t n = pending_locked();
        while (n > 0) {
            // Producers never write a pending slot: read it outside the lock.
            const SoundCmd& cmd = ring->slots[ring->read];
            if (cmd.command < SND_COMMANDS) {
                const SoundCmdHandler handler = g_handler.load();
                (handler ? handler : snd_run_command)(cmd);
            }
            ring_lock();
            ring->read = (ring->read + 1) % SND_RING_SLOTS;
            ring->pending -= 1;
            n = ring->pending;
            ring_unlock();
            plat_time_sleep_ms(1);
        }
        plat_time_sleep_ms(10);
    }
    return 1;
}

int snd_thread_start(void)
{
    if (g_running) return 1;
    g_ring = SoundCmdRing{};
    g_stop = 0;
    g_ring.sem = msem_create(1, 1, "sound");
    if (!g_ring.sem) return 0;
    // The default stack: file reads and the audio library need more than a page.
    g_running = 1;
    g_thread = std::thread([] { snd_thread_main(&g_ring); });
    return 1;
}

void snd_thread_request_stop(void)
{
    if (!g_ring.sem) return;
    ring_lock();
    g_stop = 1;
    ring_unlock();
}

void snd_thread_stop(void)
{
    if (g_thread.joinable()) {
        snd_thread_request_stop();
        g_thread.join();
    }
    g_running = 0;
    if (g_ring.sem) msem_close(g_ring.sem);
    g_ring.sem = nullptr;
}

int snd_thread_running(void) { return g_running ? 1 : 0; }
void snd_thread_set_handler(SoundCmdHandler handler) { g_handler = handler; }
uint32_t snd_ring_pending(void) { return g_ring.sem ? pending_locked() : 0; }
