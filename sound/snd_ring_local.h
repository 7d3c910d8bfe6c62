// sound/snd_ring_local: the sound thread's command handler, which tests and
// benchmarks replace to watch the ring without the sound manager.
#pragma once

#include "sound/snd_ring.h"

// What the thread runs for each command; the sound manager's dispatcher by
// default. Put in place before the thread starts.
using SoundCmdHandler = void (*)(const SoundCmd& cmd);
void snd_thread_set_handler(SoundCmdHandler handler);  // null: the manager's
