// files_local: what the file module's two halves (files.cpp, write_file.cpp)
// and their tests share beyond files.h: the case-insensitive path match, the
// listing order, and the switches tests use to take the writer's other routes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The existing file or folder a path names: the exact path when it exists,
// else the case-insensitive match of each missing component. 1 and the
// native path in out, or 0 (out holds the native path unchanged).
int plat_path_resolve(std::string_view path, std::string* out);

// Pattern match with '*' and '?', case-insensitive (ASCII).
int plat_name_matches(std::string_view name, std::string_view pattern);
// Name order of listings: case-insensitive (ASCII), then byte order.
bool plat_name_less(std::string_view a, std::string_view b);

// Folder listings made so far for case-insensitive look-ups; a folder that
// does not change is listed once however many names are looked up in it.
uint64_t plat_folder_listings(void);

// Tests switch unnamed new files off (0) to take the named route of a file
// system that has none; on (1) by default.
void plat_write_file_unnamed(int allowed);

// Tests replace the sync of the folder after a new file took its place (null:
// fsync again), to see that a failed one fails the save.
void plat_write_file_folder_sync(int (*sync)(int fd));
