// tool/mdl_load_local: what mdl_load.cpp shares with its white-box tests
// only: which group a file of the model directory's listing stands for.
#pragma once

#include <string>
#include <string_view>

// The group a listed file name stands for: its characters before the first
// '.', provided that stem + ".bin" is exactly the listed name ("a.b.bin" and
// "X.BIN" name no group, since the loader would open "a.bin" or "X.bin").
// 1 with the stem, or 0.
int grp_of_file(std::string_view file_name, std::string* stem);
