// The patch tool's folder listing over plat/files.h's sorted listing (see dir_list_local.h).
#include "tool/dir_list_local.h"

#include "plat/files.h"

DirList* dir_list_create(const char* folder)
{
    DirList* list = new DirList{};
    list->folder = folder && *folder ? folder : ".";
    return list;
}

int dir_list_scan(DirList* list, const char* pattern)
{
    if (!list) return 0;
    list->names.clear();
    list->count = 0;
    if (!plat_list_files(list->folder, pattern ? pattern : "*", &list->names)) list->names.clear();
    list->count = static_cast<int>(list->names.size());
    return list->count;
}

const char* dir_list_name(const DirList* list, int index)
{
    if (!list || index < 0 || index >= list->count) return nullptr;
    return list->names[static_cast<size_t>(index)].c_str();
}

void dir_list_free(DirList* list) { delete list; }
