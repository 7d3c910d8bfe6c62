// Model-group loading for the patch tool: a group with its "_NRM" companion, and the queue of
// the model directory's groups fed into the loader's ring (see mdl_load_local.h).
#include "tool/mdl_load_local.h"

#include "res/resload.h"
#include "tool/dir_list_local.h"

#include <vector>

namespace {

struct GroupQueue {
    std::vector<std::string> groups;  // in listing order
    size_t next;                      // first group not yet queued
};

GroupQueue g_queue;

std::string nrm_name(const char* name) { return std::string(name) + GRP_NRM_SUFFIX; }

}  // namespace

int mdl_load_with_nrm(const char* name, uint32_t flags)
{
    if (!name) return 0;
    int ok = 1;
    const std::string nrm = nrm_name(name);
    if (resload_file_exists(nrm.c_str())) ok = resload_request(nrm.c_str(), flags) ? ok : 0;
    return resload_request(name, flags) ? ok : 0;
}

bool mdl_load_list(const char* const* names, int count)
{
    if (!names || count < 1) return false;
    for (int i = 0; i < count; ++i)
        if (names[i]) mdl_load_with_nrm(names[i], 0);
    return true;
}

int grp_of_file(std::string_view file_name, std::string* stem)
{
    const size_t dot = file_name.find('.');
    if (dot == std::string_view::npos || dot == 0) return 0;
    const std::string_view s = file_name.substr(0, dot);
    if (file_name.substr(dot) != ".bin") return 0;
    *stem = std::string(s);
    return 1;
}

int grp_queue_begin(const char* folder)
{
    grp_queue_clear();
    DirList* list = dir_list_create(folder);
    const int count = dir_list_scan(list, GRP_FILE_PATTERN);
    for (int i = 0; i < count; ++i) {
        std::string stem;
        if (grp_of_file(dir_list_name(list, i), &stem)) g_queue.groups.push_back(stem);
    }
    dir_list_free(list);
    return static_cast<int>(g_queue.groups.size());
}

int grp_queue_feed(void)
{
    while (g_queue.next < g_queue.groups.size()) {
        const std::string& name = g_queue.groups[g_queue.next];
        const uint32_t need = resload_file_exists(nrm_name(name.c_str()).c_str()) ? 2u : 1u;
        if (RESLOAD_RING - resload_pending() < need) break;  // wait for the ring to drain
        mdl_load_with_nrm(name.c_str(), 0);
        ++g_queue.next;
    }
    return grp_queue_waiting();
}

int grp_queue_waiting(void) { return static_cast<int>(g_queue.groups.size() - g_queue.next); }

void grp_queue_clear(void) { g_queue = GroupQueue{}; }
