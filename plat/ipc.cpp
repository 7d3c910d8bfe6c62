#include "plat/ipc.h"

#include "plat/error.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

// Sections: names and folders | guard | single instance | sections | events

struct PlatSection {
    void* view;
    size_t size;
    int users_fd;          // shared flock while this handle lives; -1 unnamed
    std::string shm_name;  // "/prefix+name"
    std::string users_path;
};

struct PlatEvent {
    PlatSection* section;  // holds the futex word
};

namespace {

// ---- names and folders -----------------------------------------------------

bool name_ok(const char* name)
{
    if (!name) return false;
    const size_t n = std::strlen(name);
    return n >= 1 && n <= PLAT_IPC_NAME_MAX && std::strchr(name, '/') == nullptr;
}

std::string expand_prefix(const char* raw)
{
    std::string out;
    for (const char* p = raw; *p; ++p) {
        if (p[0] == '%' && p[1] == 'p') {
            out += std::to_string(::getpid());
            ++p;
        } else if (*p != '/') {
            out += *p;
        }
    }
    return out;
}

std::string lock_path(const std::string& full_name, const char* suffix)
{
    return plat_ipc_lock_dir() + "/quorvel-" + full_name + suffix;
}

int open_lock_file(const std::string& path)
{
    return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

int flock_retry(int fd, int op)
{
    int r;
    do r = ::flock(fd, op);
    while (r != 0 && errno == EINTR);
    return r;
}

// ---- guard: serialises making, joining and removing named objects ----------

struct Guard {
    int fd = -1;
    Guard()
    {
        fd = open_lock_file(lock_path(plat_ipc_prefix(), "ipc.guard"));
        if (fd >= 0 && flock_retry(fd, LOCK_EX) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    ~Guard()
    {
        if (fd >= 0) ::close(fd);  // closing drops the lock
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;
};

void* map_fd(int fd, size_t size)
{
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : p;
}

// Opens or makes the named section under the guard. join_only refuses to
// make one.
PlatSection* section_named(const char* name, size_t size, int* existed, bool join_only)
{
    const std::string full = plat_ipc_prefix() + name;
    Guard guard;
    if (guard.fd < 0) return nullptr;
    auto* s =
        new (std::nothrow) PlatSection{nullptr, size, -1, "/" + full, lock_path(full, ".users")};
    if (!s) return nullptr;
    s->users_fd = open_lock_file(s->users_path);
    if (s->users_fd < 0) {
        delete s;
        return nullptr;
    }
    // An exclusive lock is free only when no live process holds the object.
    const bool no_holder = flock_retry(s->users_fd, LOCK_EX | LOCK_NB) == 0;
    int fd = -1;
    if (no_holder) {
        if (!join_only) {
            ::shm_unlink(s->shm_name.c_str());  // left by a crashed run
            fd = ::shm_open(s->shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            if (fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
                ::close(fd);
                fd = -1;
            }
        }
    } else {
        fd = ::shm_open(s->shm_name.c_str(), O_RDWR | O_CLOEXEC, 0600);
        struct stat st;
        if (fd >= 0 && (::fstat(fd, &st) != 0 || static_cast<size_t>(st.st_size) < size)) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd >= 0) {
        s->view = map_fd(fd, size);
        ::close(fd);
    }
    if (!s->view) {
        if (no_holder) {
            // Nothing of this name lives on: leave no object and no file.
            if (!join_only) ::shm_unlink(s->shm_name.c_str());
            ::unlink(s->users_path.c_str());
        }
        ::close(s->users_fd);
        delete s;
        return nullptr;
    }
    flock_retry(s->users_fd, LOCK_SH);
    if (existed) *existed = no_holder ? 0 : 1;
    return s;
}

// ---- events ----------------------------------------------------------------

constexpr uint32_t k_event_size = 4;

std::atomic_ref<uint32_t> event_word(PlatEvent* e)
{
    return std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(e->section->view));
}

long futex(uint32_t* addr, int op, uint32_t val, const timespec* timeout)
{
    // Not FUTEX_PRIVATE: the word lives in memory other processes map.
    return ::syscall(SYS_futex, addr, op, val, timeout, nullptr, 0);
}

int64_t monotonic_ms(void)
{
    timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

PlatEvent* event_from_section(PlatSection* s)
{
    if (!s) return nullptr;
    auto* e = new (std::nothrow) PlatEvent{s};
    if (!e) plat_section_close(s);
    return e;
}

}  // namespace

const std::string& plat_ipc_prefix(void)
{
    static const std::string prefix = [] {
        const char* raw = std::getenv("QUORVEL_IPC_PREFIX");
        return raw ? expand_prefix(raw) : std::string();
    }();
    return prefix;
}

std::string plat_ipc_lock_dir(void)
{
    for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(var);
        struct stat st;
        if (dir && *dir && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode) && ::access(dir, W_OK) == 0)
            return dir;
    }
    return "/tmp";
}

// ---- single instance -------------------------------------------------------

int plat_instance_lock(const char* name)
{
    if (!name_ok(name)) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return -1;
    }
    const int fd = open_lock_file(lock_path(plat_ipc_prefix() + name, ".lock"));
    if (fd < 0) return -1;
    if (flock_retry(fd, LOCK_EX | LOCK_NB) != 0) {
        const bool held = errno == EWOULDBLOCK;
        ::close(fd);
        return held ? 0 : -1;
    }
    return fd + 1;
}

void plat_instance_unlock(int handle)
{
    if (handle >= 1) ::close(handle - 1);
}

// ---- sections --------------------------------------------------------------

PlatSection* plat_section_create(const char* name, size_t size, int* existed)
{
    if (existed) *existed = 0;
    if (size == 0 || (name && !name_ok(name))) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (name) return section_named(name, size, existed, false);
    void* view = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED) return nullptr;
    auto* s = new (std::nothrow) PlatSection{view, size, -1, {}, {}};
    if (!s) ::munmap(view, size);
    return s;
}

PlatSection* plat_section_open(const char* name, size_t size)
{
    if (size == 0 || !name_ok(name)) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return section_named(name, size, nullptr, true);
}

void* plat_section_view(PlatSection* section) { return section ? section->view : nullptr; }

void plat_section_close(PlatSection* section)
{
    if (!section) return;
    if (section->users_fd < 0) {
        ::munmap(section->view, section->size);
        delete section;
        return;
    }
    Guard guard;
    ::munmap(section->view, section->size);
    // The last holder removes the object (this drops our shared lock when it
    // fails, which closing does anyway).
    if (guard.fd >= 0 && flock_retry(section->users_fd, LOCK_EX | LOCK_NB) == 0) {
        ::shm_unlink(section->shm_name.c_str());
        ::unlink(section->users_path.c_str());
    }
    ::close(section->users_fd);
    delete section;
}

// ---- events ----------------------------------------------------------------

PlatEvent* plat_event_create(const char* name)
{
    return event_from_section(plat_section_create(name, k_event_size, nullptr));
}

PlatEvent* plat_event_open(const char* name)
{
    return event_from_section(plat_section_open(name, k_event_size));
}

void plat_event_set(PlatEvent* event)
{
    if (!event) return;
    event_word(event).store(1, std::memory_order_release);
    futex(static_cast<uint32_t*>(event->section->view), FUTEX_WAKE, 1, nullptr);
}

void plat_event_reset(PlatEvent* event)
{
    if (event) event_word(event).store(0, std::memory_order_release);
}

uint32_t plat_event_wait(PlatEvent* event, uint32_t timeout_ms)
{
    if (!event) {
        plat_set_last_error(PLAT_ERROR_INVALID_PARAMETER);
        return PLAT_WAIT_FAILED;
    }
    const bool infinite = timeout_ms == PLAT_INFINITE;
    const int64_t deadline = monotonic_ms() + timeout_ms;
    auto word = event_word(event);
    for (;;) {
        uint32_t expected = 1;
        if (word.compare_exchange_strong(expected, 0, std::memory_order_acq_rel))
            return PLAT_WAIT_OBJECT_0;
        timespec ts{};
        const timespec* tp = nullptr;
        if (!infinite) {
            const int64_t left = deadline - monotonic_ms();
            if (left <= 0) return PLAT_WAIT_TIMEOUT;
            ts.tv_sec = static_cast<time_t>(left / 1000);
            ts.tv_nsec = static_cast<long>(left % 1000) * 1000000;
            tp = &ts;
        }
        const long r = futex(static_cast<uint32_t*>(event->section->view), FUTEX_WAIT, 0, tp);
        if (r != 0 && errno != EAGAIN && errno != EINTR && errno != ETIMEDOUT)
            return PLAT_WAIT_FAILED;
    }
}

void plat_event_close(PlatEvent* event)
{
    if (!event) return;
    plat_section_close(event->section);
    delete event;
}
