// disp/movie: the display's place for movie playback. It keeps the movie
// data folder, a resource mark and two group-tagged movie records; playing a
// movie keeps only the records and their flags (nothing is decoded or drawn).
// The debug camera lives in disp/dbgcam. Main thread only.
#pragma once

#include <cstdint>

#include "disp/obj.h"
#include "res/res.h"

constexpr uint32_t MOVIE_IN_USE = 1u << 0;
constexpr uint32_t MOVIE_PLAYING = 1u << 1;

struct MovieRec {
    uint32_t flags;
    ResGroupId group;
    DrawObj* obj;  // the object that would show the movie, or null
    uint32_t spare;
    MovieRec *prev, *next;
};

// ---- start, stop, reset (display orders) -------------------------------------------
void movie_init();   // clears the block, copies "MOVIE_DATA_PATH", takes a resource mark
void movie_term();   // frees every record, releases resources back to the mark
void movie_reset();  // frees every record, resets the lists
// Both records onto the free list in order, no active record, count 0.
void movie_list_reset();
void movie_free_all();
void movie_release_group(ResGroupId group);  // group 0: nothing

// ---- records -------------------------------------------------------------------------
// Stops the record, frees its draw object and moves it to the free list;
// null or a record that is not in use: nothing.
void movie_free(MovieRec* rec);
int movie_open(MovieRec* rec, const char* file_name);  // 0 for a null record or name
void movie_stop(MovieRec* rec);
int movie_query(const MovieRec* rec);  // nothing to report: 0
int movie_get_count();
const char* movie_get_data_path();

// ---- per frame (walks the active list, changes nothing) ---------------------------
void movie_frame_early();
void movie_frame_late();
