// Named kernel objects: the single-instance lock, shared memory sections and
// auto-reset events, on files in a folder of the user's own, flock and
// futexes.
//
// Provides:
// - plat_instance_lock: an exclusive lock named after the engine's mutex
//   name, on a lock file in each of the user's lock folders. Each is taken in
//   one atomic step, all in the same order by every start, and the system
//   drops them when the process dies, so two starts never both pass and a
//   crashed run never blocks the next;
// - named shared sections that several processes map (a file in the lock
//   folder, mapped shared), and named auto-reset events (a futex word in a
//   section) that threads of any process wait on;
// - crash safety: every holder of a section keeps a shared flock on its
//   file; a creator that finds no live holder makes it anew, so a section or
//   event left behind by a crashed run (a count taken, a lock word held)
//   never reaches the next start. The last close removes the file, as Windows
//   does with its last handle, and a released instance lock removes its file;
// - objects of one user alone, which no other user can reach or deny: every
//   file lives in a folder where nobody else may make a name, a lock folder
//   of the user's alone (a real folder, not a link, owned by the user, that
//   no other user may enter, read or write, and where files can be made):
//   $XDG_RUNTIME_DIR, else /run/user/<uid>; else both /tmp/quorvel-<uid> and
//   quorvel-<host> in the user's cache folder ($XDG_CACHE_HOME or ~/.cache,
//   which must be the user's and closed to others' writes; a link of the
//   user's own in a folder nobody else may change leads to it), each that
//   passes: the sections live in the first, the instance lock is taken in
//   both. Another user may take the name in /tmp first and give it up later,
//   but cannot touch the cache folder, so where a user's lock lies never
//   hangs on another user. The last two are made with mode 0700. $TMPDIR
//   plays no part, so a start without the session's environment (cron, su)
//   or with another $TMPDIR meets the session's, and the rule is the
//   folder's, whichever name led to it. Each folder not used gives a line on
//   stderr (a missing /run/user/<uid> none, the cache folder only when
//   /tmp's is not used either); when none passes, there is no instance lock
//   and a named section or event is made as an unnamed one, this process's
//   own. Files are made with mode 0600 relative to the folder that passed the
//   check, and a link in it is never followed;
// - isolation of parallel runs: every name is prefixed with the value of
//   QUORVEL_IPC_PREFIX ("%p" in it stands for the process id, so that a test
//   process and the children it forks share objects that no other test
//   process sees).
// Callers rely on: names of 1 to PLAT_IPC_NAME_MAX characters without '/'
// (others are refused with error 87), a null name making an unnamed object,
// and waits that time out against a deadline (PLAT_WAIT_TIMEOUT) or fail
// (PLAT_WAIT_FAILED) instead of spinning. Any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t PLAT_IPC_NAME_MAX = 200;
constexpr size_t PLAT_IPC_INSTANCE_LOCKS = 8;  // single-instance locks held at once
constexpr uint32_t PLAT_INFINITE = 0xFFFFFFFFu;

// The prefix in use ("%p" expanded once per process).
const std::string& plat_ipc_prefix(void);
// The lock folder of the effective user, where the sections live (the first
// of its lock folders); empty when none passed the check.
std::string plat_ipc_lock_dir(void);

// Single instance: a handle (>= 1) when the lock was taken (in every lock
// folder where its file can be made), 0 when another live process holds it
// in one of them, -1 when the lock file can be made in none (or
// PLAT_IPC_INSTANCE_LOCKS are held already).
int plat_instance_lock(const char* name);
void plat_instance_unlock(int handle);

struct PlatSection;
// Creates or joins a named section of at least size bytes; *existed := 1
// when a live holder had made it (its contents are kept), else it is new
// and zeroed. Null on failure (error 87 for a bad name or size).
PlatSection* plat_section_create(const char* name, size_t size, int* existed);
// Joins a section that a live holder made; null when there is none.
PlatSection* plat_section_open(const char* name, size_t size);
void* plat_section_view(PlatSection* section);
void plat_section_close(PlatSection* section);

struct PlatEvent;
// Auto-reset event, not signalled when new.
PlatEvent* plat_event_create(const char* name);
PlatEvent* plat_event_open(const char* name);
void plat_event_set(PlatEvent* event);
void plat_event_reset(PlatEvent* event);
// PLAT_WAIT_OBJECT_0 (the signal was taken), PLAT_WAIT_TIMEOUT, or
// PLAT_WAIT_FAILED for a null event.
uint32_t plat_event_wait(PlatEvent* event, uint32_t timeout_ms);
void plat_event_close(PlatEvent* event);
