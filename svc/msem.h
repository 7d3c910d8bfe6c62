// Named counting semaphore: a count and a maximum in a small shared section,
// a spin lock inside it, and an auto-reset event on which waiters sleep.
// Naming both objects lets several processes of the user share one semaphore
// (where the user has no private folder for names, a named one is this
// process's own, which its threads still share); the sound command ring
// ("sound", 1, 1) and the display ("disp", 1, 1) use one each.
// Any thread; a semaphore may be shared by threads and processes.
#pragma once
#include <cstdint>

struct PlatEvent;
struct PlatSection;

constexpr uint32_t MSEM_NAME_MAX = 16;  // characters of a name
constexpr uint32_t MSEM_INFINITE = 0xFFFFFFFFu;
constexpr uint32_t MSEM_WAIT_TAKEN = 0;
constexpr uint32_t MSEM_WAIT_TIMEOUT = 258;
constexpr uint32_t MSEM_WAIT_FAILED = 0xFFFFFFFFu;

// The shared section: five 32-bit words in this order.
struct MSemShared {
    uint32_t ready;    // set last, once the others hold their first values
    uint32_t lock;     // spin lock: 0 free, 1 held
    uint32_t waiters;  // threads between deciding to sleep and waking up
    int32_t count;
    int32_t maximum;
};
static_assert(sizeof(MSemShared) == 20, "the shared section is five 32-bit words");

struct MSem {
    PlatEvent* event;
    PlatSection* section;
    MSemShared* view;
};

// Creates the semaphore, or joins the live one of that name (keeping its
// counters). Null with error 87 unless 1 <= maximum, 0 <= initial <= maximum
// and the name has at most 16 characters; a null name makes it unnamed.
MSem* msem_create(int32_t initial, int32_t maximum, const char* name);
// Joins a live named semaphore; null for a null, over-long or unknown name.
MSem* msem_open(const char* name);
// Takes one unit: MSEM_WAIT_TAKEN, MSEM_WAIT_TIMEOUT once timeout_ms
// (MSEM_INFINITE for none) has passed in total, or MSEM_WAIT_FAILED with
// error 87 for a null semaphore.
uint32_t msem_wait(MSem* sem, uint32_t timeout_ms);
// Gives n units back: 1, or 0 with error 87 when n < 0 or the count would
// pass the maximum (nothing changes). The count before is stored in
// previous when given.
int msem_release(MSem* sem, int32_t n, int32_t* previous);
void msem_close(MSem* sem);
void msem_lock(MSem* sem);
void msem_unlock(MSem* sem);
