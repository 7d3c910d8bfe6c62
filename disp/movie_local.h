// movie_local: the movie module's block (its two records, their lists, the
// resource mark and the data folder), as the module and its tests read it.
#pragma once

#include <cstdint>

#include "disp/movie.h"

constexpr int MOVIE_RECORD_COUNT = 2;
constexpr int MOVIE_PATH_MAX = 256;

struct MovieBlock {
    MovieRec rec[MOVIE_RECORD_COUNT];
    MovieRec* active;  // newest first
    MovieRec* free_list;
    int32_t count;
    ResMark mark;
    char data_path[MOVIE_PATH_MAX];
};

const MovieBlock& movie_block();
