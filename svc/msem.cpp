// The named counting semaphore over plat/ipc.h's shared sections and events (see msem.h).
#include "svc/msem.h"

#include "plat/error.h"
#include "plat/ipc.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <new>
#include <thread>

namespace {

constexpr const char* MSEM_SECTION_FORMAT = "QVX_MSECT_MMF_%s";
constexpr const char* MSEM_EVENT_FORMAT = "QVX_MSECT_EVT_%s";
constexpr size_t MSEM_OBJECT_NAME_SIZE = 14 + MSEM_NAME_MAX + 1;

bool name_fits(const char* name) { return std::strlen(name) <= MSEM_NAME_MAX; }

std::atomic_ref<uint32_t> word(uint32_t& w) { return std::atomic_ref<uint32_t>(w); }

void wait_until_ready(MSemShared* s)
{
    while (word(s->ready).load(std::memory_order_acquire) == 0) std::this_thread::yield();
}

// Opens (join_only) or creates the two objects; the names are checked by
// the callers, so both fit their buffers.
MSem* make(const char* name, bool join_only, int32_t initial, int32_t maximum)
{
    char section_name[MSEM_OBJECT_NAME_SIZE];
    char event_name[MSEM_OBJECT_NAME_SIZE];
    if (name) {
        std::snprintf(section_name, sizeof section_name, MSEM_SECTION_FORMAT, name);
        std::snprintf(event_name, sizeof event_name, MSEM_EVENT_FORMAT, name);
    }
    auto* m = new (std::nothrow) MSem{};
    if (!m) return nullptr;
    m->event =
        join_only ? plat_event_open(event_name) : plat_event_create(name ? event_name : nullptr);
    int existed = 0;
    if (m->event) {
        m->section = join_only ? plat_section_open(section_name, sizeof(MSemShared))
                               : plat_section_create(name ? section_name : nullptr,
                                                     sizeof(MSemShared), &existed);
    }
    if (!m->event || !m->section) {
        plat_section_close(m->section);
        plat_event_close(m->event);
        delete m;
        return nullptr;
    }
    m->view = static_cast<MSemShared*>(plat_section_view(m->section));
    if (join_only || existed) {
        wait_until_ready(m->view);
    } else {
        m->view->lock = 0;
        m->view->waiters = 0;
        m->view->count = initial;
        m->view->maximum = maximum;
        word(m->view->ready).exchange(1, std::memory_order_acq_rel);
    }
    return m;
}

}  // namespace

MSem* msem_create(int32_t initial, int32_t maximum, const char* name)
{
    if (maximum < 1 || initial < 0 || initial > maximum || (name && !name_fits(name))) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return make(name, false, initial, maximum);
}

MSem* msem_open(const char* name)
{
    if (!name || !name_fits(name)) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return make(name, true, 0, 0);
}

void msem_lock(MSem* sem)
{
    if (!sem) return;
    while (word(sem->view->lock).exchange(1, std::memory_order_acquire) != 0)
        std::this_thread::yield();
}

void msem_unlock(MSem* sem)
{
    if (sem) word(sem->view->lock).exchange(0, std::memory_order_release);
}

// Waiters count themselves in and out, and whoever takes a unit while more
// remain passes the signal on, so units released together reach every
// sleeper even when their signals merge in the auto-reset event.
uint32_t msem_wait(MSem* sem, uint32_t timeout_ms)
{
    if (!sem) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return MSEM_WAIT_FAILED;
    }
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    MSemShared* s = sem->view;
    for (;;) {
        msem_lock(sem);
        if (s->count >= 1) {
            s->count -= 1;
            if (s->count > 0 && s->waiters > 0) plat_event_set(sem->event);
            msem_unlock(sem);
            return MSEM_WAIT_TAKEN;
        }
        s->waiters += 1;
        plat_event_reset(sem->event);
        msem_unlock(sem);

        uint32_t left = MSEM_INFINITE;
        if (timeout_ms != MSEM_INFINITE) {
            const auto rest =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            left = rest.count() > 0 ? static_cast<uint32_t>(rest.count()) : 0;
        }
        const uint32_t r = plat_event_wait(sem->event, left);

        msem_lock(sem);
        s->waiters -= 1;
        msem_unlock(sem);
        if (r == PLAT_WAIT_TIMEOUT) return MSEM_WAIT_TIMEOUT;
        if (r != PLAT_WAIT_OBJECT_0) return MSEM_WAIT_FAILED;
    }
}

int msem_release(MSem* sem, int32_t n, int32_t* previous)
{
    if (!sem) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return 0;
    }
    MSemShared* s = sem->view;
    msem_lock(sem);
    if (previous) *previous = s->count;
    // Compared without forming count + n, which could overflow.
    if (n >= 0 && n <= s->maximum - s->count) {
        s->count += n;
        if (n > 0 && s->waiters > 0) plat_event_set(sem->event);
        msem_unlock(sem);
        return 1;
    }
    msem_unlock(sem);
    plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
    return 0;
}

void msem_close(MSem* sem)
{
    if (!sem) return;
    plat_section_close(sem->section);
    plat_event_close(sem->event);
    delete sem;
}
