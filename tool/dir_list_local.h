// tool/dir_list_local: a module of the patch tool's own (other folders see tool/tool.h).
// A listing of one folder's plain files matching a pattern, sorted by name
// (plat/files.h). The patch tool lists the model directory with it. Main
// thread.
#pragma once
#include <string>
#include <vector>

struct DirList {
    int count;  // names held; always names.size()
    std::vector<std::string> names;
    std::string folder;  // "." when none was given
};

// A new, empty listing of that folder (null: ".").
DirList* dir_list_create(const char* folder);
// Lists the folder's plain files matching the pattern, dropping the names of
// an earlier scan; answers the count (0 for a null listing, a folder that
// cannot be read or no match). The count is always the number of names held.
int dir_list_scan(DirList* list, const char* pattern);
// Null for a null listing or an index outside 0..count-1.
const char* dir_list_name(const DirList* list, int index);
void dir_list_free(DirList* list);  // null is ignored
