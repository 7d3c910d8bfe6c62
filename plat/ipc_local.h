// ipc_local: what the tests of the named objects take beyond ipc.h: the
// switch that moves the system's folders the lock folders are looked for in.
#pragma once

// Tests put folders of their own where the system keeps the users' runtime
// folders (/run/user) and its shared temporary folder (/tmp), so that what a
// test plants there is looked at without touching the system's; null puts
// the system's back. The lock folders are looked up again at the next use,
// also when the folders named are the same (a forked child looks as a new
// start would).
void plat_ipc_use_system_folders(const char* user_runtimes, const char* temporary);
