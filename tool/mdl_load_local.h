// tool/mdl_load_local: model-group loading, the patch tool's own (tool.cpp
// starts it; white-box tests and benchmarks reach in): queueing a group with
// its "_NRM" companion, and the group list of the model directory, fed into
// the loader's 64-request ring as it drains so that no group is dropped
// however many there are. The two loads keep the names the engine's interface
// fixes; the queue's names take the prefix grp. Main thread.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

constexpr const char* GRP_MODEL_DIR = "./data/grp";
constexpr const char* GRP_FILE_PATTERN = "*.bin";
constexpr const char* GRP_NRM_SUFFIX = "_NRM";

// Queues "<name>_NRM" when a file of that group exists, then the name.
// 1 when every request was taken.
int mdl_load_with_nrm(const char* name, uint32_t flags);
// mdl_load_with_nrm(name, 0) for every non-null name; false for a null array
// or a count below 1.
bool mdl_load_list(const char* const* names, int count);

// Lists the folder's group files and keeps their groups for grp_queue_feed.
// Answers the number of groups kept.
int grp_queue_begin(const char* folder);
// Queues as many kept groups as the loader's ring has room for (a group with
// its companion needs two slots); answers the number still waiting. Groups
// the loader refuses outright (names of 64 characters or more) are dropped.
int grp_queue_feed(void);
int grp_queue_waiting(void);
void grp_queue_clear(void);

// The group a listed file name stands for: its characters before the first
// '.', provided that stem + ".bin" is exactly the listed name ("a.b.bin" and
// "X.BIN" name no group, since the loader would open "a.bin" or "X.bin").
// 1 with the stem, or 0.
int grp_of_file(std::string_view file_name, std::string* stem);
